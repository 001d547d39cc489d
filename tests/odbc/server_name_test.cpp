// The connection page's Server Name and the command line's --host: which
// texts name which server, and which are refused before anything connects.
#include <gtest/gtest.h>

#include "odbc/mysql_server.h"

namespace {

std::string described(const std::optional<MySqlServer>& server) {
  if (!server) return "refused";
  return server->host + " " + std::to_string(server->port);
}

TEST(ServerName, HostPortIPv6AndBlanks) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "localhost 0"},
      {"   \t", "localhost 0"},
      {"localhost", "localhost 0"},
      {"  db.example.org  ", "db.example.org 0"},
      {"db.example.org:3307", "db.example.org 3307"},
      {" 10.0.0.7 : 33060 ", "10.0.0.7 33060"},
      {"[::1]:3307", "::1 3307"},
      {"[fe80::1%eth0]", "fe80::1%eth0 0"},
      {"fe80::1", "fe80::1 0"},  // unbracketed IPv6: no port can be told apart
      {"127.0.0.1:65535", "127.0.0.1 65535"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(described(parseServerName(text)), expected) << text;
}

TEST(ServerName, RefusesWhatNamesNoServer) {
  for (const char* text : {"db:", "db:0", "db:65536", "db:33o6", "db:-1", ":3306", "[::1", "[::1]3307", "[]:3306",
                           "db.example.org;INITSTMT=drop", "two words", "db\nSERVER=evil", "{db}"}) {
    EXPECT_EQ(described(parseServerName(text)), "refused") << text;
  }
}

}  // namespace
