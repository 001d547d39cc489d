// Where the MySQL server is and how a connection to it is secured: what the
// connection page's Server Name and the command line's server options say.
#pragma once

#include <optional>
#include <string>

struct MySqlServer {
  std::string host = "localhost";
  // 0 leaves the port to the driver: 3306, or MYSQL_TCP_PORT when that is set,
  // as for every MariaDB client.
  int port = 0;
  // An ODBC data source the user already has for the server; when set, its
  // options (server, TLS, ...) are used and host and port are not.
  std::string dataSource;
  bool requireTls = false;          // encrypted, with the server's certificate verified
  std::string certificateAuthority;  // CA file that verifies the server's certificate
};

inline constexpr int kDefaultMySqlPort = 3306;

// "host" or "host:port", an IPv6 address in brackets ("[::1]:3307"); blanks
// around it are ignored and an empty text means localhost. An IPv6 address
// without brackets is taken whole as the host. Nothing when the port is not
// a number from 1 to 65535, a bracket is not closed, or the host is empty or holds a blank, a control
// character or one of ;{}=[]" (no host name has them).
std::optional<MySqlServer> parseServerName(const std::string& text);
