#include "cli/options.h"

#include "odbc/carried_text.h"
#include "odbc/destination_file.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace cli {

const char* const kUsage =
    "Usage: tabulex-convert --database NAME --user NAME --output PATH [options]\n"
    "Converts tables of a MySQL or MariaDB database into a new Access (.mdb) file.\n"
    "\n"
    "  --database NAME        the database to convert\n"
    "  --user NAME            the login name on the server\n"
    "  --host NAME            the server (default localhost); host:port and [IPv6]:port work too\n"
    "  --port N               its TCP port (default 3306, or MYSQL_TCP_PORT when set)\n"
    "  --source-dsn NAME      reach the server through this ODBC data source, with its\n"
    "                         TLS and other options (the login is still --user)\n"
    "  --ssl                  require an encrypted connection and verify the server's certificate\n"
    "  --ssl-ca FILE          the certificate authority that signed it (implies --ssl)\n"
    "  --password-file FILE   read the password from the first line of FILE;\n"
    "                         otherwise from TABULEX_PASSWORD, otherwise a prompt\n"
    "  --tables A,B,...       the tables to convert (default: every table)\n"
    "  --output PATH          the Access file, with or without \".mdb\"\n"
    "  --overwrite            replace an existing file (otherwise an error); the old\n"
    "                         file stays until the new one is complete\n"
    "  --report text|json     the report on standard output (default text)\n"
    "  --connect-per-row      open and close the Access connection for every row,\n"
    "                         as the wizard does (much slower); by default one\n"
    "                         connection serves each table and rows go a block of\n"
    "                         up to 256 at a time through one prepared INSERT, every\n"
    "                         block stored when its execution returns\n"
    "  --bulk                 the default (one connection per table); still accepted\n"
    "  --chunk-rows N         rows read from the server at a time for large tables\n"
    "                         (default 20000; fewer rows, less memory)\n"
    "  --quiet                no progress line on a terminal\n"
    "  --views                also convert the database's views, each into a table\n"
    "                         holding its rows\n"
    "  --schema full|plain    full (default): indexes, AutoNumber, defaults,\n"
    "                         descriptions and relationships too; plain: only the\n"
    "                         columns, Required and the primary key\n"
    "  --help                 this text\n"
    "\n"
    "\n"
    "The file is written under a temporary name beside PATH and takes its name when\n"
    "the run is over. Ctrl-C or SIGTERM stops after the current row: the file then\n"
    "holds what was done, and the report says the run was interrupted.\n"
    "\n"
    "Exit status: 0 every table converted, 1 a table failed, 2 usage or connection error,\n"
    "130 interrupted by Ctrl-C (SIGINT), 143 stopped by SIGTERM.\n";

namespace {

std::vector<std::string> splitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    // "a, b" names a and b: blanks around a name are the list's, not the name's.
    std::string item = list.substr(start, comma - start);
    const std::size_t first = item.find_first_not_of(" \t");
    item = first == std::string::npos ? std::string() : item.substr(first, item.find_last_not_of(" \t") - first + 1);
    // A table named twice is converted once.
    if (!item.empty() && std::find(items.begin(), items.end(), item) == items.end())
      items.push_back(item);
    start = comma + 1;
  }
  return items;
}

// --host may carry a port itself ("db:3307", "[::1]:3307"), like the
// connection page's Server Name.
void applyServer(MySqlServer& server, const std::optional<std::string>& host, const std::optional<std::string>& port) {
  if (!server.dataSource.empty() && (host || port))
    throw std::invalid_argument("--source-dsn names the server: leave out --host and --port");
  if (host) {
    std::optional<MySqlServer> parsed = parseServerName(*host);
    if (!parsed || host->find_first_not_of(" \t") == std::string::npos)
      throw std::invalid_argument("--host takes a host name, host:port or [IPv6 address], not \"" + *host + "\"");
    server.host = parsed->host;
    server.port = parsed->port;
  }
  if (port) {
    std::optional<MySqlServer> parsed = parseServerName("localhost:" + *port);
    if (!parsed) throw std::invalid_argument("--port takes a number from 1 to 65535, not \"" + *port + "\"");
    if (server.port != 0 && server.port != parsed->port)
      throw std::invalid_argument("--host names port " + std::to_string(server.port) + " and --port " + *port);
    server.port = parsed->port;
  }
}

}  // namespace

Options parseOptions(const std::vector<std::string>& arguments) {
  Options options;
  bool sawTables = false;
  std::optional<std::string> host, port;
  bool sawBulk = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string arg = arguments[i];
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        inlineValue = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= arguments.size()) throw std::invalid_argument(arg + " needs a value");
      return arguments[++i];
    };
    auto flag = [&]() {
      if (inlineValue) throw std::invalid_argument(arg + " takes no value");
    };
    if (arg == "--database") {
      options.database = value();
    } else if (arg == "--user") {
      options.user = value();
    } else if (arg == "--password-file") {
      options.passwordFile = value();
    } else if (arg == "--password") {
      throw std::invalid_argument(
          "a password is never taken from an argument: use --password-file, TABULEX_PASSWORD or "
          "the prompt");
    } else if (arg == "--tables") {
      options.tables = splitList(value());
      sawTables = true;
    } else if (arg == "--output") {
      options.output = value();
    } else if (arg == "--overwrite") {
      flag();
      options.overwrite = true;
    } else if (arg == "--report") {
      std::string kind = value();
      if (kind != "text" && kind != "json")
        throw std::invalid_argument("--report takes text or json, not " + kind);
      options.json = kind == "json";
    } else if (arg == "--connect-per-row") {
      flag();
      options.connectPerRow = true;
    } else if (arg == "--bulk") {
      flag();
      sawBulk = true;
    } else if (arg == "--chunk-rows") {
      std::string number = value();
      std::size_t used = 0;
      unsigned long long rows = 0;
      try {
        rows = std::stoull(number, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used == 0 || used != number.size() || rows == 0 || number[0] == '-' || rows > 100000000)
        throw std::invalid_argument("--chunk-rows takes a number of rows from 1 to 100000000, not " + number);
      options.chunkRows = rows;
    } else if (arg == "--quiet") {
      flag();
      options.quiet = true;
    } else if (arg == "--host") {
      host = value();
    } else if (arg == "--port") {
      port = value();
    } else if (arg == "--source-dsn") {
      options.server.dataSource = value();
      if (options.server.dataSource.empty()) throw std::invalid_argument("--source-dsn names no data source");
    } else if (arg == "--ssl") {
      flag();
      options.server.requireTls = true;
    } else if (arg == "--ssl-ca") {
      options.server.certificateAuthority = value();
      if (options.server.certificateAuthority.empty()) throw std::invalid_argument("--ssl-ca names no file");
      options.server.requireTls = true;
    } else if (arg == "--views") {
      flag();
      options.views = true;
    } else if (arg == "--schema") {
      std::string kind = value();
      if (kind != "full" && kind != "plain")
        throw std::invalid_argument("--schema takes full or plain, not " + kind);
      options.fullSchema = kind == "full";
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else {
      throw std::invalid_argument("unknown argument: " + arguments[i]);
    }
  }
  if (options.help) return options;
  if (options.database.empty()) throw std::invalid_argument("--database is required");
  if (options.user.empty()) throw std::invalid_argument("--user is required");
  if (options.output.empty()) throw std::invalid_argument("--output is required");
  if (sawBulk && options.connectPerRow)
    throw std::invalid_argument("--bulk and --connect-per-row contradict each other");
  if (sawTables && options.tables.empty()) throw std::invalid_argument("--tables names no table");
  const std::string base = destinationWithoutSuffix(options.output);
  // "dir/" or "dir/.mdb" would make a hidden ".mdb" inside the folder.
  if (base.empty() || base.back() == '/') throw std::invalid_argument("--output names a folder, not a file");
  if (options.output.find('"') != std::string::npos)
    throw std::invalid_argument("--output cannot hold a double quote (\"): the Access driver could not be given it");
  if (hasControlCharacter(options.output))
    throw std::invalid_argument("--output \"" + escapedText(options.output) + "\" holds a control character");
  applyServer(options.server, host, port);
  return options;
}

std::string destinationWithoutSuffix(const std::string& output) { return ::destinationWithoutSuffix(output); }

void sortAsTablePage(std::vector<std::string>& names) {
  auto folded = [](const std::string& s) {
    std::string out = s;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
  };
  std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    std::string fa = folded(a), fb = folded(b);
    return fa != fb ? fa < fb : a < b;
  });
}

}  // namespace cli
