// Rows per second of single-row INSERT statements through the driver
// manager into the Access driver, done the way the converter does them (a
// connection object opened with "DSN=dsna" for every row) and on one
// connection. Prints its figures; targets: 30,000 rows/s per row and
// 300,000 rows/s on one connection. The per-row sequence also runs against a
// driver that does nothing at all: what the driver manager alone allows on
// this machine, the ceiling of any driver's per-row figure. The same rows
// also go in as one prepared INSERT with parameter arrays of --set-size
// rows (bound values instead of statement text).
//
//   driver_bench [--per-row N] [--one-connection N] [--params N] [--set-size N] [--keep]
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
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
#include "parameter_arrays.h"

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

// Wall-clock and CPU time summed over the stretches it timed.
struct Stopwatch {
  double wall = 0, cpu = 0;
  template <typename Work>
  void time(Work work) {
    auto start = std::chrono::steady_clock::now();
    double cpuStart = cpuSeconds();
    work();
    wall += seconds(start);
    cpu += cpuSeconds() - cpuStart;
  }
  std::string rate(long count, const char* unit) const {
    char line[160];
    std::snprintf(line, sizeof line, "%ld %s in %.2f s = %.0f %s/s; CPU %.2f s = %.0f /s", count,
                  unit, wall, count / wall, unit, cpu, count / cpu);
    return line;
  }
};

}  // namespace

int main(int argc, char** argv) {
  long perRow = 50000, oneConnection = 500000, params = 500000, setSize = 1000;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--per-row") && i + 1 < argc) perRow = std::atol(argv[++i]);
    else if (!std::strcmp(argv[i], "--one-connection") && i + 1 < argc)
      oneConnection = std::atol(argv[++i]);
    else if (!std::strcmp(argv[i], "--params") && i + 1 < argc) params = std::atol(argv[++i]);
    else if (!std::strcmp(argv[i], "--set-size") && i + 1 < argc)
      setSize = std::max(1L, std::atol(argv[++i]));
    else if (!std::strcmp(argv[i], "--keep")) keep = true;
    else {
      std::fprintf(stderr, "usage: %s [--per-row N] [--one-connection N] [--params N] [--set-size N] [--keep]\n", argv[0]);
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
      std::snprintf(sql, sizeof sql, kCreate, "params");
      db.ExecuteSQL(sql);
      db.Close();
    }

    // The per-row loops against our driver and against the do-nothing one
    // take turns in blocks of rows, so that the machine's speed drifting
    // during the run weighs on both alike.
    std::string statement;
    Stopwatch perRowOurs, perRowNull, openOurs, openNull;
    auto perRowBlock = [&](const char* connect, long from, long to) {
      for (long i = from; i < to; ++i) {
        CDatabase db;
        db.OpenEx(connect);
        rowStatement(statement, "perrow", i);
        db.ExecuteSQL(statement);
        db.Close();
      }
    };
    auto openBlock = [&](const char* connect, long count) {
      for (long i = 0; i < count; ++i) {
        CDatabase db;
        db.OpenEx(connect);
        db.Close();
      }
    };
    constexpr long kBlock = 1000;
    for (long from = 0; from < perRow; from += kBlock) {
      long to = std::min(perRow, from + kBlock);
      perRowOurs.time([&] { perRowBlock("DSN=dsna", from, to); });
      perRowNull.time([&] { perRowBlock("DSN=dsnnull", from, to); });
      openOurs.time([&] { openBlock("DSN=dsna", to - from); });
      openNull.time([&] { openBlock("DSN=dsnnull", to - from); });
    }

    Stopwatch one;
    one.time([&] {
      CDatabase db;
      db.OpenEx("DSN=dsna");
      for (long i = 0; i < oneConnection; ++i) {
        rowStatement(statement, "onecon", i);
        db.ExecuteSQL(statement);
      }
      db.Close();
    });

    Stopwatch arrays;
    arrays.time([&] { insertWithParameterArrays("DSN=dsna", "params", params, setSize); });

    // What the loops above spend on making their statement text, which the
    // converter pays as well but which is no part of the driver's cost.
    Stopwatch text;
    size_t textBytes = 0;
    text.time([&] {
      for (long i = 0; i < oneConnection; ++i) {
        rowStatement(statement, "onecon", i);
        textBytes += statement.size();
      }
    });

    std::printf("load average       : %s\n", loadAverage().c_str());
    std::printf("per-row connection : %s (target 30000)\n", perRowOurs.rate(perRow, "rows").c_str());
    std::printf("one connection     : %s (target 300000)\n", one.rate(oneConnection, "rows").c_str());
    std::printf("parameter arrays   : %s (prepared INSERT, %ld rows a set)\n",
                arrays.rate(params, "rows").c_str(), setSize);
    std::printf("open+close only    : %s\n", openOurs.rate(perRow, "times").c_str());
    std::printf("do-nothing driver  : per row %s; open+close only %s: the driver manager's own cost\n",
                perRowNull.rate(perRow, "rows").c_str(), openNull.rate(perRow, "times").c_str());
    std::printf("per row vs floor   : %.0f %% of what the driver manager alone allows (CPU)\n",
                100.0 * perRowNull.cpu / perRowOurs.cpu);
    std::printf("statement text only: %s (%zu bytes)\n", text.rate(oneConnection, "texts").c_str(),
                textBytes);
    std::printf("file size          : %.1f MB\n",
                static_cast<double>(fs::file_size(base + ".mdb")) / 1e6);
    std::printf("peak memory        : %.1f MB\n", peakRssKb() / 1024.0);
  } catch (const CDBException& e) {
    std::fprintf(stderr, "failed: %s\n", e.m_strError.c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
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
