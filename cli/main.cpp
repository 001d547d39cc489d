// tabulex-convert: the wizard's conversion run from the command line.
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <stdexcept>

#include "cli/options.h"
#include "cli/report.h"
#include "cli/terminal_progress.h"
#include "engine/column_catalogue.h"
#include "engine/conversion_run.h"
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
    std::ifstream in(*options.passwordFile);
    if (!in) throw std::runtime_error("cannot read the password file " + *options.passwordFile);
    return firstLine(in);
  }
  if (const char* env = std::getenv("TABULEX_PASSWORD")) return env;
  return promptPassword();
}

int run(const cli::Options& options) {
  ConversionSettings& settings = conversionSettings();
  settings.databaseName = options.database;
  settings.loginName = options.user;
  settings.password = readPassword(options);
  settings.destinationPath = cli::destinationWithoutSuffix(options.output);
  settings.server = options.server;
  if (!settings.server.dataSource.empty() && !dataSourceExists(settings.server.dataSource))
    throw std::runtime_error("no ODBC data source is named " + settings.server.dataSource);
  const std::string file = settings.destinationPath + ".mdb";

  std::error_code error;
  std::filesystem::path folder = std::filesystem::path(file).parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, error))
    throw std::runtime_error("the folder " + folder.string() + " does not exist");
  if (std::filesystem::exists(file, error)) {
    if (!options.overwrite)
      throw std::runtime_error(file + " already exists (use --overwrite to replace it)");
    if (!std::filesystem::remove(file, error))
      throw std::runtime_error("cannot remove " + file + ": " + error.message());
  }

  // Registers "dsnms" for the database, so it comes before any connection.
  std::vector<std::string> available;
  ListTables(settings, [&](const std::string& name) { available.push_back(name); });
  {
    // The listing fails quietly; a connection tells why.
    CDatabase check;
    check.OpenEx(engine::sourceConnectString(settings), 0);
    check.Close();
  }

  std::vector<std::string> tables = options.tables;
  if (tables.empty()) {
    tables = available;
    cli::sortAsTablePage(tables);
  } else {
    std::set<std::string> known(available.begin(), available.end());
    for (const std::string& table : tables)
      if (!known.count(table))
        throw std::runtime_error("the database " + options.database + " has no table " + table);
  }
  if (tables.empty()) throw std::runtime_error("the database " + options.database + " has no tables");

  cli::TerminalProgress observer(isatty(STDERR_FILENO) && !options.quiet, stderr);
  engine::RunOptions runOptions;
  runOptions.bulk = !options.connectPerRow;
  runOptions.chunkRows = options.chunkRows;
  std::vector<engine::TableOutcome> outcomes =
      engine::ConversionRun(tables, settings, observer, runOptions);

  std::cout << (options.json ? cli::jsonReport(options.database, file, outcomes)
                             : cli::textReport(options.database, file, outcomes));
  if (!std::filesystem::exists(file, error)) {
    // Nothing could be written at all: a destination that cannot be reached
    // is a connection error, not a table's failure.
    std::cerr << "tabulex-convert: the Access file " << file
              << " could not be created (is the Access driver registered?)\n";
    return kExitUsage;
  }
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
  try {
    return run(options);
  } catch (const CDBException& e) {
    std::cerr << "tabulex-convert: cannot connect to the database " << options.database << ": "
              << e.m_strError << "\n";
  } catch (const std::exception& e) {
    std::cerr << "tabulex-convert: " << e.what() << "\n";
  }
  return kExitUsage;
}
