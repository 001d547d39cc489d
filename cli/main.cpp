// tabulex-convert: the wizard's conversion run from the command line.
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <stdexcept>

#include "cli/interrupt.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/report.h"
#include "cli/terminal_progress.h"
#include "engine/column_catalogue.h"
#include "engine/conversion_run.h"
#include "engine/source_schema.h"
#include "odbc/data_source_registration.h"
#include "odbc/database.h"
#include "odbc/source_catalogue.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitTableFailed = 1;
constexpr int kExitUsage = 2;

std::string firstLine(std::istream& in) {
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string promptPassword() {
  std::FILE* tty = std::fopen("/dev/tty", "r+");
  if (!tty) throw std::runtime_error("no password: use --password-file, TABULEX_PASSWORD or a terminal");
  int fd = fileno(tty);
  std::fputs("Password: ", tty);
  std::fflush(tty);
  termios saved{};
  bool restore = tcgetattr(fd, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::string password;
  for (int c; (c = std::fgetc(tty)) != EOF && c != '\n';) password += static_cast<char>(c);
  if (restore) tcsetattr(fd, TCSAFLUSH, &saved);
  std::fputs("\n", tty);
  std::fclose(tty);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return password;
}

std::string readPassword(const cli::Options& options) {
  if (options.passwordFile) {
    const std::string& path = *options.passwordFile;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      throw std::runtime_error("the password file " + path + " is a folder");
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read the password file " + path + ": " + std::strerror(errno));
    std::string password = firstLine(in);
    if (in.bad()) throw std::runtime_error("cannot read the password file " + path);
    return password;
  }
  if (const char* env = std::getenv("TABULEX_PASSWORD")) return env;
  return promptPassword();
}

int run(const cli::Options& options, cli::InterruptWatch& interrupts) {
  ConversionSettings& settings = conversionSettings();
  settings.databaseName = options.database;
  settings.loginName = options.user;
  settings.password = readPassword(options);
  settings.server = options.server;
  if (!settings.server.dataSource.empty() && !dataSourceExists(settings.server.dataSource))
    throw std::runtime_error("no ODBC data source is named " + settings.server.dataSource);
  const std::string file = cli::destinationWithoutSuffix(options.output) + ".mdb";
  cli::OutputFile output(file, options.overwrite);

  // Every connection names its driver: nothing is registered, so runs side
  // by side (and the wizard's data sources) never meet.
  const std::string sourceConnect = engine::sourceConnectString(settings, true);
  {
    // The listing fails quietly; a connection tells why.
    CDatabase check;
    check.OpenEx(sourceConnect, 0);
    check.Close();
  }
  std::vector<std::string> available;
  ListTablesThrough(sourceConnect, settings.databaseName,
                    [&](const std::string& name) { available.push_back(name); });

  std::vector<std::string> views;
  if (options.views) {
    views = engine::listViews(sourceConnect, options.database);
    available.insert(available.end(), views.begin(), views.end());
  }

  std::vector<std::string> tables = options.tables;
  if (tables.empty()) {
    tables.assign(available.begin(), available.end() - static_cast<std::ptrdiff_t>(views.size()));
    cli::sortAsTablePage(tables);
    // Views after the tables: they read from them.
    cli::sortAsTablePage(views);
    tables.insert(tables.end(), views.begin(), views.end());
  } else {
    std::set<std::string> known(available.begin(), available.end());
    for (const std::string& table : tables)
      if (!known.count(table))
        throw std::runtime_error("the database " + options.database + " has no table " + table);
  }
  if (tables.empty()) throw std::runtime_error("the database " + options.database + " has no tables");

  // From here a signal stops the run after its current row instead of
  // ending the process.
  interrupts.arm();
  const bool created = output.create();
  settings.destinationPath = created ? output.temporaryBase() : cli::destinationWithoutSuffix(options.output);

  cli::TerminalProgress observer(isatty(STDERR_FILENO) && !options.quiet, stderr);
  engine::RunOptions runOptions;
  runOptions.bulk = !options.connectPerRow;
  runOptions.chunkRows = options.chunkRows;
  runOptions.ownConnections = true;
  runOptions.createFile = false;
  runOptions.stop = &interrupts.stopFlag();
  runOptions.fullSchema = options.fullSchema;
  std::vector<engine::TableOutcome> outcomes =
      engine::ConversionRun(tables, settings, observer, runOptions);
  const int signal = interrupts.signal();

  std::cout << (options.json ? cli::jsonReport(options.database, file, outcomes, signal != 0)
                             : cli::textReport(options.database, file, outcomes, signal != 0));
  std::cout.flush();
  if (!created) {
    // Nothing could be written at all: a destination that cannot be reached
    // is a connection error, not a table's failure.
    std::cerr << "tabulex-convert: the Access file " << file
              << " could not be created (is the Access driver registered?)\n";
    return kExitUsage;
  }
  // Failed tables or not, the file is complete as far as it goes: it takes
  // its name, and the report says what it holds.
  output.publish();
  if (signal != 0) return cli::interruptedExitStatus(signal);
  for (const auto& outcome : outcomes)
    if (!outcome.ok) return kExitTableFailed;
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  cli::Options options;
  try {
    options = cli::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "tabulex-convert: " << e.what() << "\n\n" << cli::kUsage;
    return kExitUsage;
  }
  if (options.help) {
    std::cout << cli::kUsage;
    return kExitOk;
  }
  // Before any thread starts, so that every thread leaves the signals to it.
  static cli::InterruptWatch interrupts;
  try {
    return run(options, interrupts);
  } catch (const CDBException& e) {
    std::cerr << "tabulex-convert: cannot connect to the database " << options.database << ": "
              << e.m_strError << "\n";
  } catch (const std::exception& e) {
    std::cerr << "tabulex-convert: " << e.what() << "\n";
  }
  // A signal while nothing was being converted still says how the run ended.
  if (interrupts.signal() != 0) return cli::interruptedExitStatus(interrupts.signal());
  return kExitUsage;
}
