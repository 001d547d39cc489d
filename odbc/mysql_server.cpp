#include "odbc/mysql_server.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

std::string trimmed(const std::string& text) {
  auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  auto first = std::find_if_not(text.begin(), text.end(), blank);
  auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

// Characters no host name or address holds, and that an ini file or a
// connect string would read as structure.
bool usableHost(const std::string& host) {
  if (host.empty()) return false;
  return std::none_of(host.begin(), host.end(), [](unsigned char c) {
    return c < 0x20 || c == 0x7f || c == ' ' ||
           std::string_view(";{}=[]\"").find(static_cast<char>(c)) != std::string_view::npos;
  });
}

std::optional<int> portNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
    return std::nullopt;
  int port = std::stoi(text);
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

std::optional<MySqlServer> parseServerName(const std::string& text) {
  MySqlServer server;
  const std::string name = trimmed(text);
  if (name.empty()) return server;

  std::string host = name;
  std::string port;
  bool hasPort = false;
  if (name.front() == '[') {
    size_t close = name.find(']');
    if (close == std::string::npos) return std::nullopt;
    host = name.substr(1, close - 1);
    std::string rest = name.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
      hasPort = true;
    }
  } else if (size_t colon = name.find(':'); colon != std::string::npos && name.find(':', colon + 1) == std::string::npos) {
    host = name.substr(0, colon);
    port = name.substr(colon + 1);
    hasPort = true;
  }
  host = trimmed(host);
  if (!usableHost(host)) return std::nullopt;
  server.host = host;
  if (hasPort) {
    std::optional<int> number = portNumber(trimmed(port));
    if (!number) return std::nullopt;
    server.port = *number;
  }
  return server;
}
