// Rows per second of single-row INSERT statements through the driver
// manager into the Access driver, done the way the converter does them (a
// connection object opened with "DSN=dsna" for every row) and on one
// connection. Prints its figures; targets: 30,000 rows/s per row and
// 300,000 rows/s on one connection. The per-row sequence also runs against a
// driver that does nothing at all: what the driver manager alone allows on
// this machine, the ceiling of any driver's per-row figure.
//
//   driver_bench [--per-row N] [--one-connection N] [--keep]
#include <sys/resource.h>
#include <time.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "odbc/data_source_registration.h"
#include "odbc/database.h"

namespace {

namespace fs = std::filesystem;

// Appends decimal digits; snprintf with fourteen arguments would cost the
// loops below more than the driver spends on a row.
void appendNumber(std::string& out, long value, int minDigits = 1) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (long width = end - digits; width < minDigits; ++width) out += '0';
  out.append(digits, end);
}

// Ten columns of the kinds a conversion writes, literals as the converter
// renders them. Fills `out` (reused from row to row).
void rowStatement(std::string& out, const std::string& table, long i) {
  out.assign("INSERT INTO ").append(table).append(" values(");
  appendNumber(out, i);
  out += ", 'customer ";
  appendNumber(out, i);
  out += " with a name', ";
  appendNumber(out, i % 1000);
  out += ", ";
  appendNumber(out, i);
  out += ".25, '";
  appendNumber(out, i % 28 + 1);
  out += '/';
  appendNumber(out, i % 12 + 1);
  out += "/20";
  appendNumber(out, i % 100, 2);
  out += " 12:";
  appendNumber(out, i % 60, 2);
  out += ':';
  appendNumber(out, (i * 7) % 60, 2);
  out += "', ";
  appendNumber(out, i * 3);
  out += ", 'note ''";
  appendNumber(out, i);
  out += "''', 1, ";
  appendNumber(out, i % 200);
  out += ".5, 'x";
  appendNumber(out, i % 97);
  out += "' )";
}

const char* kCreate =
    "Create Table %s(\"id\" INTEGER PRIMARY KEY , \"name\" varchar(50) NULL, "
    "\"qty\" INTEGER  NULL, \"price\" DOUBLE  NULL, \"placed\" DATETIME  NULL, "
    "\"ref\" DECIMAL(19,0)  NULL, \"note\" memo  NULL, \"flag\" bit  NOT NULL, "
    "\"ratio\" REAL  NULL, \"code\" VARCHAR(10) NULL)";

long peakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// CPU time of the process: on a busy machine the wall clock also counts
// the time other programs had the processor.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Other programs' demand for the processors while the figures were taken.
std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  if (!(in >> one >> five >> fifteen)) return "unknown";
  return one + " " + five + " " + fifteen;
}

double seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  long perRow = 50000, oneConnection = 500000;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--per-row") && i + 1 < argc) perRow = std::atol(argv[++i]);
    else if (!std::strcmp(argv[i], "--one-connection") && i + 1 < argc)
      oneConnection = std::atol(argv[++i]);
    else if (!std::strcmp(argv[i], "--keep")) keep = true;
    else {
      std::fprintf(stderr, "usage: %s [--per-row N] [--one-connection N] [--keep]\n", argv[0]);
      return 2;
    }
  }

  // A private ODBC configuration registering the driver from the build.
  std::string pattern = (fs::temp_directory_path() / "tabulex-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  fs::path folder = pattern;
  std::ofstream(folder / "odbcinst.ini")
      << "[Microsoft Access Driver (*.mdb)]\nDriver=" << TABULEX_ACCESS_DRIVER
      << "\nSetup=" << TABULEX_ACCESS_DRIVER << "\nDontDLClose=1\n"
      << "[Tabulex Null Driver]\nDriver=" << TABULEX_NULL_DRIVER << "\nDontDLClose=1\n";
  std::ofstream(folder / "odbc.ini") << "";
  std::ofstream(folder / "user-odbc.ini") << "[dsnnull]\nDriver=Tabulex Null Driver\n";
  setenv("ODBCSYSINI", folder.c_str(), 1);
  setenv("ODBCINI", (folder / "user-odbc.ini").c_str(), 1);

  std::string base = (folder / "bench").string();
  CreateAccessDatabaseFile(base);
  if (!AddAccessDataSource(base, "dsna", "")) {
    std::fprintf(stderr, "cannot register the data source\n");
    return 1;
  }

  try {
    {
      CDatabase db;
      db.OpenEx("DSN=dsna");
      char sql[1024];
      std::snprintf(sql, sizeof sql, kCreate, "perrow");
      db.ExecuteSQL(sql);
      std::snprintf(sql, sizeof sql, kCreate, "onecon");
      db.ExecuteSQL(sql);
      db.Close();
    }

    auto start = std::chrono::steady_clock::now();
    double cpu = cpuSeconds();
    std::string statement;
    for (long i = 0; i < perRow; ++i) {
      CDatabase db;
      db.OpenEx("DSN=dsna");
      rowStatement(statement, "perrow", i);
      db.ExecuteSQL(statement);
      db.Close();
    }
    double perRowSeconds = seconds(start);
    double perRowCpu = cpuSeconds() - cpu;

    start = std::chrono::steady_clock::now();
    cpu = cpuSeconds();
    {
      CDatabase db;
      db.OpenEx("DSN=dsna");
      for (long i = 0; i < oneConnection; ++i) {
        rowStatement(statement, "onecon", i);
        db.ExecuteSQL(statement);
      }
      db.Close();
    }
    double oneSeconds = seconds(start);
    double oneCpu = cpuSeconds() - cpu;

    // The floor of the per-row path: open and close alone, no statement.
    start = std::chrono::steady_clock::now();
    cpu = cpuSeconds();
    for (long i = 0; i < perRow; ++i) {
      CDatabase db;
      db.OpenEx("DSN=dsna");
      db.Close();
    }
    double floorSeconds = seconds(start);
    double floorCpu = cpuSeconds() - cpu;

    // The same per-row sequence, and open and close alone, against the
    // driver that does nothing.
    start = std::chrono::steady_clock::now();
    cpu = cpuSeconds();
    for (long i = 0; i < perRow; ++i) {
      CDatabase db;
      db.OpenEx("DSN=dsnnull");
      rowStatement(statement, "perrow", i);
      db.ExecuteSQL(statement);
      db.Close();
    }
    double nullSeconds = seconds(start);
    double nullCpu = cpuSeconds() - cpu;
    start = std::chrono::steady_clock::now();
    cpu = cpuSeconds();
    for (long i = 0; i < perRow; ++i) {
      CDatabase db;
      db.OpenEx("DSN=dsnnull");
      db.Close();
    }
    double nullFloorSeconds = seconds(start);
    double nullFloorCpu = cpuSeconds() - cpu;

    // What the loops above spend on making their statement text, which the
    // converter pays as well but which is no part of the driver's cost.
    start = std::chrono::steady_clock::now();
    cpu = cpuSeconds();
    size_t textBytes = 0;
    for (long i = 0; i < oneConnection; ++i) {
      rowStatement(statement, "onecon", i);
      textBytes += statement.size();
    }
    double textSeconds = seconds(start);
    double textCpu = cpuSeconds() - cpu;

    std::printf("load average       : %s\n", loadAverage().c_str());
    std::printf("per-row connection : %ld rows in %.2f s = %.0f rows/s (target 30000); "
                "CPU %.2f s = %.0f rows/s\n",
                perRow, perRowSeconds, perRow / perRowSeconds, perRowCpu, perRow / perRowCpu);
    std::printf("one connection     : %ld rows in %.2f s = %.0f rows/s (target 300000); "
                "CPU %.2f s = %.0f rows/s\n",
                oneConnection, oneSeconds, oneConnection / oneSeconds, oneCpu,
                oneConnection / oneCpu);
    std::printf("open+close only    : %ld times in %.2f s = %.0f /s; CPU %.2f s = %.0f /s\n",
                perRow, floorSeconds, perRow / floorSeconds, floorCpu, perRow / floorCpu);
    std::printf("do-nothing driver  : per row %.0f rows/s (CPU %.0f); open+close only %.0f /s "
                "(CPU %.0f): the driver manager's own cost\n",
                perRow / nullSeconds, perRow / nullCpu, perRow / nullFloorSeconds,
                perRow / nullFloorCpu);
    std::printf("per row vs floor   : %.0f %% of what the driver manager alone allows (CPU)\n",
                100.0 * (perRow / perRowCpu) / (perRow / nullCpu));
    std::printf("statement text only: %ld texts (%zu bytes) in %.2f s = %.0f /s; CPU %.2f s = "
                "%.0f /s\n",
                oneConnection, textBytes, textSeconds, oneConnection / textSeconds, textCpu,
                oneConnection / textCpu);
    std::printf("file size          : %.1f MB\n",
                static_cast<double>(fs::file_size(base + ".mdb")) / 1e6);
    std::printf("peak memory        : %.1f MB\n", peakRssKb() / 1024.0);
  } catch (const CDBException& e) {
    std::fprintf(stderr, "failed: %s\n", e.m_strError.c_str());
    return 1;
  }
  RemoveAccessDataSource(base, "dsna", "");
  if (keep) std::printf("kept %s.mdb\n", base.c_str());
  else {
    // The driver closes its cached file (and removes the journal) on a
    // timer of its own, which may be at work in this very folder right now.
    std::error_code ignored;
    for (int attempt = 0; attempt < 3 && fs::exists(folder); ++attempt)
      fs::remove_all(folder, ignored);
  }
  return 0;
}
