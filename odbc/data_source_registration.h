// Registers and removes the ODBC data sources the program connects through,
// and asks the Access driver to create the empty database file.
//
// Every request goes to the ODBC installer (SQLConfigDataSource) with no
// parent window and works on user data sources. The attribute lists are
// built here byte for byte, as long as a path may be; a value that would not
// come back exactly (a control character anywhere, a blank at either end, a
// double quote in the create-file path) is refused (the operation returns
// false) and nothing reaches the installer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "odbc/mysql_server.h"

// Driver descriptions as registered in odbcinst.ini.
inline constexpr const char* kMySqlDriverName = "MySQL ODBC 3.51 Driver";
inline constexpr const char* kAccessDriverName = "Microsoft Access Driver (*.mdb)";

// Fixed data-source names.
inline constexpr const char* kCatalogueDataSource = "refDB";  // MySQL, information_schema
inline constexpr const char* kSourceDataSource = "dsnms";     // MySQL, the chosen database
inline constexpr const char* kDestinationDataSource = "dsna";  // Access, the destination file

// How registration talks to the user. The wizard shows a message box; the
// default does nothing, which suits the command line and tests.
class RegistrationUi {
public:
  virtual ~RegistrationUi() = default;
  virtual void showMessage(const std::string& text);
};

// Installs the process-wide RegistrationUi (nullptr restores the silent default).
// The object must outlive every registration call made while it is installed.
void setRegistrationUi(RegistrationUi* ui);

// MySQL data sources: DSN, the server of conversionSettings() (see
// mySqlServerAttributes) and DATABASE. No login or password is ever stored:
// connections pass the user's own in their connect string. The description
// is accepted for symmetry and ignored.
bool AddMySqlDataSource(const std::string& database, const std::string& name, const std::string& description);
// The same for a server other than the process-wide settings' one.
bool AddMySqlDataSource(const std::string& database, const std::string& name, const std::string& description,
                        const MySqlServer& server);
bool RemoveMySqlDataSource(const std::string& database, const std::string& name, const std::string& description);

// Asks the Access driver to create an empty database at destinationPath
// (".mdb" is added by the driver when the path has no suffix).
bool CreateAccessDatabaseFile(const std::string& destinationPath);

// Registers name for the Access file at path. When a system-wide data source
// of that name exists, the user one is removed instead and false is returned.
// A failed registration tells the user through the RegistrationUi.
bool AddAccessDataSource(const std::string& path, const std::string& name, const std::string& description);
bool RemoveAccessDataSource(const std::string& path, const std::string& name, const std::string& description);

// The attribute lists handed to the installer: NUL-terminated entries and
// one more NUL. Nothing when a value cannot be carried exactly.
std::optional<std::string> mySqlAttributeList(const std::string& database, const std::string& name,
                                              const MySqlServer& server = {});

// The "KEY=value" entries that say which server a MySQL data source reaches
// and how: SERVER= and, when one was named, PORT=; FORCETLS=1 and SSLVERIFY=1
// when encryption is required; SSLCA= for a certificate authority. With a
// user's data source named, its own entries instead (all but the driver, the
// database, the description and any login or password), then the TLS entries
// asked for on top. Nothing when that data source does not exist.
std::optional<std::vector<std::string>> mySqlServerAttributes(const MySqlServer& server);

// Whether a data source of this name is registered (user or system odbc.ini).
bool dataSourceExists(const std::string& name);
std::optional<std::string> accessAttributeList(const std::string& path, const std::string& name,
                                               const std::string& description);
std::optional<std::string> createDatabaseAttributeList(const std::string& destinationPath);

// The message shown when the Access data source cannot be registered.
inline constexpr const char* kAddAccessDataSourceFailedText =
    "Failed to add Data Source\nBe sure you are logged on as an Administrator";
