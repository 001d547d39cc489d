// jetcheck FILE.mdb: structural check of a Jet 4 database.
// Prints one problem a line. Exit status: 0 clean, 1 problems found,
// 2 the file cannot be read as a Jet 4 database (or bad usage).
#include <cstdio>
#include <cstring>
#include <string>

#include "jet/check.h"
#include "jet/database.h"

int main(int argc, char** argv) {
  bool verbose = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-v") == 0 || std::strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::printf("usage: jetcheck [-v] FILE.mdb\n"
                  "Checks the structure of a Jet 4 (.mdb) database and prints each problem.\n"
                  "Exit status: 0 clean, 1 problems found, 2 not readable as Jet 4.\n"
                  "  -v  name the kind of each problem, and sum up what was checked\n");
      return 0;
    } else if (!path) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "jetcheck: one file at a time\n");
      return 2;
    }
  }
  if (!path) {
    std::fprintf(stderr, "usage: jetcheck [-v] FILE.mdb\n");
    return 2;
  }
  // A change a killed writer left half done is undone first, as every other
  // program of ours would on opening the file; the check then sees the file
  // those programs see, and says what it repaired.
  if (jet::rollBackInterruptedWrite(path)) std::printf("interrupted write, rolled back\n");
  jet::CheckReport report = jet::checkFile(path);
  for (size_t i = 0; i < report.problems.size(); ++i) {
    if (verbose) std::printf("[%s] ", jet::findingName(report.findings[i]));
    std::printf("%s\n", report.problems[i].c_str());
  }
  if (report.suppressed > 0)
    std::printf("(%zu more problems not shown)\n", report.suppressed);
  if (!report.readable) {
    std::fprintf(stderr, "jetcheck: %s cannot be read as a Jet 4 database\n", path);
    return 2;
  }
  if (verbose) {
    const auto& t = report.totals;
    std::printf("%s: %s (%zu pages, %zu tables, %zu rows, %zu indexes with %zu entries)\n", path,
                report.ok() ? "no problems found" : "problems found", t.pages, t.tables, t.rows,
                t.indexes, t.indexEntries);
  }
  return report.ok() ? 0 : 1;
}
