#include "rig.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace tabulex::test {
namespace {

const char* const kVariables[] = {
    "ODBCSYSINI",         "ODBCINI",  "TABULEX_MYSQL_PORT",       "TABULEX_MYSQL_SOCKET",
    "TABULEX_MYSQL_ROOT_PASSWORD", "TABULEX_MYSQL_USER", "TABULEX_MYSQL_PASSWORD", "TABULEX_BUILD_DIR"};

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

}  // namespace

std::optional<RigEnvironment> rigEnvironment() {
  for (const char* name : kVariables)
    if (!variable(name)) return std::nullopt;
  RigEnvironment rig;
  rig.odbcSysIni = *variable("ODBCSYSINI");
  rig.odbcIni = *variable("ODBCINI");
  rig.buildDir = *variable("TABULEX_BUILD_DIR");
  rig.socket = *variable("TABULEX_MYSQL_SOCKET");
  rig.port = std::atoi(variable("TABULEX_MYSQL_PORT")->c_str());
  rig.rootPassword = *variable("TABULEX_MYSQL_ROOT_PASSWORD");
  rig.user = *variable("TABULEX_MYSQL_USER");
  rig.password = *variable("TABULEX_MYSQL_PASSWORD");
  return rig;
}

bool rigAvailable() { return rigEnvironment().has_value(); }

std::string rigUnavailableReason() {
  for (const char* name : kVariables)
    if (!variable(name)) return std::string(name) + " is not set";
  return "the rig is available";
}

std::string rigSql(const std::string& sql) {
  auto rig = rigEnvironment();
  if (!rig) throw std::runtime_error("rig not running: " + rigUnavailableReason());

  // The statements go through a file so that no quoting of SQL is needed.
  char scriptName[] = "/tmp/tabulex-rig-sql-XXXXXX";
  int fd = mkstemp(scriptName);
  if (fd < 0) throw std::runtime_error("cannot create a temporary file");
  {
    std::ofstream script(scriptName, std::ios::binary);
    script << sql;
  }
  close(fd);
  std::string command = "mariadb --no-defaults --default-character-set=utf8mb4 -N -B -uroot --socket=" +
                        shellQuote(rig->socket.string()) + " -p" + shellQuote(rig->rootPassword) + " < " +
                        shellQuote(scriptName) + " 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    unlink(scriptName);
    throw std::runtime_error("cannot run the mariadb client");
  }
  std::array<char, 4096> chunk{};
  size_t n;
  while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), n);
  int status = pclose(pipe);
  unlink(scriptName);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("mariadb client failed: " + output);
  return output;
}

PrivateOdbcConfig::PrivateOdbcConfig() {
  auto rig = rigEnvironment();
  if (!rig) throw std::runtime_error("rig not running: " + rigUnavailableReason());
  char pattern[] = "/tmp/tabulex-odbc-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot create a temporary folder");
  folder_ = pattern;
  std::filesystem::copy_file(rig->odbcSysIni / "odbcinst.ini", driverIni());
  std::ofstream(systemIni()).flush();
  std::ofstream(userIni()).flush();
  oldSysIni_ = variable("ODBCSYSINI");
  oldIni_ = variable("ODBCINI");
  setenv("ODBCSYSINI", folder_.c_str(), 1);
  setenv("ODBCINI", userIni().c_str(), 1);
}

PrivateOdbcConfig::~PrivateOdbcConfig() {
  if (oldSysIni_)
    setenv("ODBCSYSINI", oldSysIni_->c_str(), 1);
  else
    unsetenv("ODBCSYSINI");
  if (oldIni_)
    setenv("ODBCINI", oldIni_->c_str(), 1);
  else
    unsetenv("ODBCINI");
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string readTextFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace tabulex::test
