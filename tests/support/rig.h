// The MariaDB test rig as a test sees it: the variables that scripts/rig
// writes into env.sh, and a private unixODBC configuration per test program.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tabulex::test {

struct RigEnvironment {
  std::filesystem::path odbcSysIni;  // folder of odbcinst.ini and the system odbc.ini
  std::filesystem::path odbcIni;     // the user odbc.ini
  std::filesystem::path buildDir;
  std::filesystem::path socket;      // the server's Unix socket, for the mariadb client
  int port = 0;                      // TCP port on 127.0.0.1 (also MYSQL_TCP_PORT)
  std::string rootPassword;
  std::string user;                  // a non-root account with every privilege
  std::string password;
};

// The rig's settings, or nothing when a variable is missing (the rig is not running).
std::optional<RigEnvironment> rigEnvironment();
bool rigAvailable();
// Which variable is missing, for a skip message.
std::string rigUnavailableReason();

// Runs SQL on the rig's server as root through the mariadb client, so that
// tests can build fixtures without going through the code they test.
// Returns the client's output (tab-separated, no column names); throws
// std::runtime_error when the client fails.
std::string rigSql(const std::string& sql);

// A private copy of the rig's ODBC configuration in a fresh temporary folder:
// the rig's odbcinst.ini (the driver registrations) and empty system and user
// odbc.ini files. ODBCSYSINI and ODBCINI point at it while the object lives
// and are restored afterwards; the folder is removed.
//
// unixODBC caches what it reads from the ini files inside a process, keyed by
// the file's short name rather than its path, for about 20 seconds. Make the
// copy before the process's first ODBC call and keep it for the whole
// program (one per test executable) rather than one per test.
class PrivateOdbcConfig {
public:
  PrivateOdbcConfig();  // throws std::runtime_error when the rig is not running
  ~PrivateOdbcConfig();
  PrivateOdbcConfig(const PrivateOdbcConfig&) = delete;
  PrivateOdbcConfig& operator=(const PrivateOdbcConfig&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path userIni() const { return folder_ / "user-odbc.ini"; }
  std::filesystem::path systemIni() const { return folder_ / "odbc.ini"; }
  std::filesystem::path driverIni() const { return folder_ / "odbcinst.ini"; }

private:
  std::filesystem::path folder_;
  std::optional<std::string> oldSysIni_;
  std::optional<std::string> oldIni_;
};

// Reads a whole file (empty when it does not exist).
std::string readTextFile(const std::filesystem::path& file);

}  // namespace tabulex::test

// Skips the current test when the rig is not running.
#define TABULEX_REQUIRE_RIG()                                                   \
  do {                                                                          \
    if (!::tabulex::test::rigAvailable())                                       \
      GTEST_SKIP() << "MariaDB test rig not running ("                          \
                   << ::tabulex::test::rigUnavailableReason()                   \
                   << "); start it with scripts/rig start or run scripts/test"; \
  } while (0)
