#include "readback.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

extern char** environ;

namespace tabulex::readback {
namespace {

using nlohmann::json;

std::string sourceDir() { return TABULEX_SOURCE_DIR; }
std::string dumpScript() { return sourceDir() + "/tests/readback/dump.mjs"; }
std::string jetcheckPath() {
  return std::string(TABULEX_BINARY_DIR) + "/tools/jetcheck";
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    if (::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::string describe(const std::vector<std::string>& argv,
                     const CommandResult& r) {
  std::string text = argv.empty() ? std::string("?") : argv[0];
  for (size_t i = 1; i < argv.size(); ++i) text += " '" + argv[i] + "'";
  text += " exited with status " + std::to_string(r.status);
  if (!r.err.empty()) text += ": " + r.err.substr(0, 2000);
  return text;
}

CommandResult runChecked(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>&
                             env = {}) {
  CommandResult r = runCommand(argv, env);
  if (r.status != 0) throw ReadbackError(describe(argv, r));
  return r;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Parses mdb-export's CSV: fields quoted with '"' (doubled inside) are text,
// an unquoted empty field is NULL. Quoted fields may hold line breaks.
std::vector<TextRow> parseCsv(const std::string& text) {
  std::vector<TextRow> rows;
  TextRow row;
  size_t i = 0, n = text.size();
  bool rowOpen = false;
  while (i < n) {
    std::optional<std::string> field;
    if (text[i] == '"') {
      std::string value;
      ++i;
      for (;;) {
        if (i >= n) throw ReadbackError("mdb-export: unterminated quoted field");
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            value += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += text[i++];
      }
      field = std::move(value);
    } else {
      size_t end = text.find_first_of(",\n", i);
      if (end == std::string::npos) end = n;
      if (end > i) field = text.substr(i, end - i);
      i = end;
    }
    row.push_back(std::move(field));
    rowOpen = true;
    if (i < n && text[i] == ',') {
      ++i;
      if (i == n) row.push_back(std::nullopt);
    } else {
      if (i < n && text[i] != '\n')
        throw ReadbackError("mdb-export: unexpected character after a quoted field");
      ++i;
      rows.push_back(std::move(row));
      row.clear();
      rowOpen = false;
    }
  }
  if (rowOpen) rows.push_back(std::move(row));
  return rows;
}

// "-0012.3400" -> "-12.34"; "0.000" -> "0". Empty when not a decimal.
std::string canonicalDecimal(const std::string& s) {
  std::string t = trim(s);
  bool negative = false;
  size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  std::string whole, frac;
  bool point = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      (point ? frac : whole) += c;
    } else {
      return {};
    }
  }
  if (whole.empty() && frac.empty()) return {};
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  if (whole.empty()) whole = "0";
  std::string out = whole;
  if (!frac.empty()) out += "." + frac;
  if (negative && out != "0") out = "-" + out;
  return out;
}

constexpr size_t kExportMemoLimit = 199999;

bool isFloatType(const std::string& type) {
  return type == "double" || type == "float";
}
bool isDecimalType(const std::string& type) {
  return type == "currency" || type == "numeric" || type == "bigint";
}

std::optional<double> asDouble(const json& v) {
  if (v.is_number()) return v.get<double>();
  if (v.is_string()) {
    const std::string s = v.get<std::string>();
    if (s == "NaN") return std::nan("");
    if (s == "Infinity") return HUGE_VAL;
    if (s == "-Infinity") return -HUGE_VAL;
  }
  return std::nullopt;
}

bool sameBits(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string show(const json& v) {
  std::string s = v.dump();
  if (s.size() > 200) s = s.substr(0, 200) + "... (" + std::to_string(s.size()) + " characters)";
  return s;
}
std::string show(const std::optional<std::string>& v) {
  if (!v) return "NULL";
  std::string s = "\"" + *v + "\"";
  if (s.size() > 200) s = s.substr(0, 200) + "... (" + std::to_string(v->size()) + " characters)";
  return s;
}

// Equality of two values in the typed form for a column type.
bool typedEqual(const json& expected, const json& found, const std::string& type) {
  if (expected.is_null() || found.is_null()) return expected.is_null() && found.is_null();
  if (isFloatType(type)) {
    auto a = asDouble(expected), b = asDouble(found);
    if (!a || !b) return false;
    if (type == "float") return sameBits(static_cast<float>(*a), static_cast<float>(*b));
    return sameBits(*a, *b);
  }
  if (isDecimalType(type)) {
    std::string a = expected.is_string() ? expected.get<std::string>() : expected.dump();
    std::string b = found.is_string() ? found.get<std::string>() : found.dump();
    std::string ca = canonicalDecimal(a);
    return !ca.empty() && ca == canonicalDecimal(b);
  }
  if (type == "binary" || type == "ole" || type == "repid") {
    if (!expected.is_string() || !found.is_string()) return false;
    return lower(expected.get<std::string>()) == lower(found.get<std::string>());
  }
  if (type == "boolean" || type == "byte" || type == "integer" || type == "long") {
    if (expected.is_boolean() || found.is_boolean()) {
      auto truth = [](const json& v) -> std::optional<bool> {
        if (v.is_boolean()) return v.get<bool>();
        if (v.is_number_integer()) return v.get<int64_t>() != 0;
        return std::nullopt;
      };
      auto a = truth(expected), b = truth(found);
      return a && b && *a == *b;
    }
    return expected.is_number_integer() && found.is_number_integer() &&
           expected.get<int64_t>() == found.get<int64_t>();
  }
  return expected == found;
}

// mdbtools prints doubles with 15 significant digits and singles with 6
// (DBL_DIG and FLT_DIG), so compare at that precision.
std::string significant(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
  return buf;
}

std::string hexDigitsOnly(const std::string& s) {
  std::string out;
  for (char c : s)
    if (std::isxdigit(static_cast<unsigned char>(c))) out += char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// mdb-export prints a GUID as text, "{01234567-89AB-CDEF-0123456789ABCDEF}",
// and with "-b hex" as the hex of that text.
std::string guidDigits(const std::string& found) {
  std::string text = found;
  if (!found.empty() && found.size() % 2 == 0 && lower(found.substr(0, 2)) == "7b") {
    text.clear();
    for (size_t i = 0; i + 1 < found.size(); i += 2)
      text += char(std::stoi(found.substr(i, 2), nullptr, 16));
  }
  return hexDigitsOnly(text);
}

std::string withoutAstralCharacters(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    if (lead >= 0xF0 && lead < 0xF8) {
      out += "??";
      i += 4;
    } else {
      out += utf8[i++];
    }
  }
  return out;
}

// Text of a typed value as mdb-export prints it (with our options), or the
// canonical form used to compare it (decimals, floating point).
bool exportTextEqual(const json& expected, const std::optional<std::string>& found,
                     const std::string& type) {
  if (type == "binary" && !expected.is_null() && !found)
    return typedToExportText(expected, type).empty();
  // mdbtools 1.0 converts only OLE dates from 0 to 1e6 days (1899-12-30 to
  // 4637-11-26) and prints this placeholder for any other.
  if (type == "datetime" && expected.is_string() && found == "1900-01-00 00:00:00") {
    const std::string text = expected.get<std::string>();
    return text < "1899-12-30 00:00:00" || text > "4637-11-26 00:00:00";
  }
  // mdb-export binds at most 199,999 bytes of a memo's UTF-8 and drops the
  // rest (a cut may fall inside a character, so allow a few bytes short).
  if (type == "memo" && expected.is_string() && found && found->size() >= kExportMemoLimit - 3 &&
      found->size() <= kExportMemoLimit) {
    const std::string& text = expected.get_ref<const std::string&>();
    return text.size() > found->size() && text.compare(0, found->size(), *found) == 0;
  }
  // mdbtools converts text as UCS-2, so each half of a character beyond
  // U+FFFF (emoji, rare CJK) comes out as "?".
  if ((type == "text" || type == "memo") && expected.is_string() && found &&
      withoutAstralCharacters(expected.get<std::string>()) == *found)
    return true;
  // mdb-export prints an empty text or memo exactly as it prints NULL.
  if ((type == "text" || type == "memo") && !found && expected.is_string())
    return expected.get<std::string>().empty();
  if (expected.is_null() || !found) return expected.is_null() && !found;
  if (isFloatType(type)) {
    auto a = asDouble(expected);
    if (!a) return false;
    char* end = nullptr;
    double b = std::strtod(found->c_str(), &end);
    if (end == found->c_str() || *end != '\0') return false;
    int digits = type == "float" ? 6 : 15;
    double wanted = type == "float" ? static_cast<float>(*a) : *a;
    return significant(wanted, digits) == significant(b, digits);
  }
  if (isDecimalType(type)) {
    std::string ca = canonicalDecimal(expected.is_string() ? expected.get<std::string>()
                                                           : expected.dump());
    return !ca.empty() && ca == canonicalDecimal(*found);
  }
  if (type == "binary") return lower(typedToExportText(expected, type)) == lower(*found);
  if (type == "ole") return lower(expected.get<std::string>()) == lower(*found);
  if (type == "repid") return hexDigitsOnly(expected.get<std::string>()) == guidDigits(*found);
  return typedToExportText(expected, type) == *found;
}

// mdb-schema's type words, as mdb-reader names the types.
std::string typeFromSchemaWord(const std::string& word) {
  static const std::map<std::string, std::string> words = {
      {"Boolean", "boolean"},        {"Byte", "byte"},
      {"Integer", "integer"},        {"Long Integer", "long"},
      {"Currency", "currency"},      {"Single", "float"},
      {"Double", "double"},          {"DateTime", "datetime"},
      {"Binary", "binary"},          {"Text", "text"},
      {"OLE", "ole"},                {"Memo/Hyperlink", "memo"},
      {"Replication ID", "repid"},   {"Numeric", "numeric"},
  };
  auto it = words.find(word);
  return it == words.end() ? word : it->second;
}

std::vector<std::string> canonicalRow(const json& row, const std::vector<std::string>& types) {
  std::vector<std::string> key;
  for (size_t i = 0; i < row.size(); ++i) {
    const json& v = row[i];
    const std::string& t = i < types.size() ? types[i] : std::string();
    if (v.is_null()) {
      key.push_back("");
    } else if (isDecimalType(t)) {
      key.push_back("d" + canonicalDecimal(v.is_string() ? v.get<std::string>() : v.dump()));
    } else if (isFloatType(t) && asDouble(v)) {
      double d = *asDouble(v);
      if (t == "float") d = static_cast<float>(d);
      key.push_back("f" + significant(d, 17));
    } else if (v.is_string()) {
      key.push_back("s" + (t == "binary" || t == "ole" || t == "repid" ? lower(v.get<std::string>())
                                                                       : v.get<std::string>()));
    } else if (v.is_boolean()) {
      key.push_back(v.get<bool>() ? "n1" : "n0");
    } else {
      key.push_back("n" + v.dump());
    }
  }
  return key;
}

std::vector<json> sortedRows(std::vector<json> rows, const std::vector<std::string>& types) {
  std::stable_sort(rows.begin(), rows.end(), [&](const json& a, const json& b) {
    return canonicalRow(a, types) < canonicalRow(b, types);
  });
  return rows;
}

std::string joinNames(const std::vector<std::string>& names) {
  std::string s;
  for (const auto& n : names) s += (s.empty() ? "" : ", ") + n;
  return "[" + s + "]";
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& extraEnv) {
  CommandResult result;
  if (argv.empty()) return result;
  int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
    result.err = std::string("pipe: ") + std::strerror(errno);
    closeFd(outPipe[0]); closeFd(outPipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

  std::vector<std::string> envStrings;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const auto& [k, v] : extraEnv)
      if (entry.compare(0, k.size() + 1, k + "=") == 0) replaced = true;
    if (!replaced) envStrings.push_back(std::move(entry));
  }
  for (const auto& [k, v] : extraEnv) envStrings.push_back(k + "=" + v);
  std::vector<char*> envp, args;
  for (auto& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argCopy = argv;
  for (auto& s : argCopy) args.push_back(s.data());
  args.push_back(nullptr);

  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  closeFd(outPipe[1]);
  closeFd(errPipe[1]);
  if (rc != 0) {
    closeFd(outPipe[0]);
    closeFd(errPipe[0]);
    result.err = argv[0] + ": " + std::strerror(rc);
    return result;
  }
  // Read both streams together so neither pipe fills and stalls the child.
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  char buf[65536];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = ::read(fds[k].fd, buf, sizeof buf);
      if (got > 0) {
        sinks[k]->append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(fds[k].fd);
        fds[k].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string mdbtoolsMissing() {
  for (const char* tool : {"mdb-tables", "mdb-schema", "mdb-count", "mdb-export"})
    if (!onPath(tool)) return std::string(tool) + " is not installed (Debian package mdbtools)";
  return {};
}

std::string mdbReaderMissing() {
  if (!onPath("node")) return "node is not installed (Debian package nodejs)";
  std::string module = sourceDir() + "/tests/readback/node_modules/mdb-reader/package.json";
  if (::access(module.c_str(), R_OK) != 0)
    return "mdb-reader is not installed: run npm ci --prefix tests/readback";
  return {};
}

std::string jetcheckMissing() {
  if (::access(jetcheckPath().c_str(), X_OK) != 0)
    return "jetcheck is not built (target jetcheck)";
  return {};
}

std::vector<std::string> mdbTables(const std::string& path) {
  CommandResult r = runChecked({"mdb-tables", "-1", path});
  std::vector<std::string> names;
  std::stringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) names.push_back(line);
  return names;
}

std::string mdbSchema(const std::string& path, const std::string& backend) {
  if (!backend.empty()) return runChecked({"mdb-schema", path, backend}).out;
  return runChecked({"mdb-schema", path}).out;
}

long mdbCount(const std::string& path, const std::string& table) {
  CommandResult r = runChecked({"mdb-count", path, table});
  std::string text = trim(r.out);
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0')
    throw ReadbackError("mdb-count printed '" + text + "' for table " + table);
  return n;
}

static std::vector<std::pair<std::string, std::string>> mdbColumnTypes(const std::string& path,
                                                                      const std::string& table);

ExportedTable mdbExport(const std::string& path, const std::string& table) {
  // mdb-export leaves column names in its header unquoted, so a name with
  // a comma would split; take the names from mdb-schema instead.
  ExportedTable out;
  for (auto& [name, type] : mdbColumnTypes(path, table)) out.columns.push_back(name);
  CommandResult r = runChecked({"mdb-export", "-H", "-D", "%Y-%m-%d %H:%M:%S", "-T",
                                "%Y-%m-%d %H:%M:%S", "-b", "hex", path, table});
  out.rows = parseCsv(r.out);
  for (size_t i = 0; i < out.rows.size(); ++i)
    if (out.rows[i].size() != out.columns.size())
      throw ReadbackError("mdb-export: row " + std::to_string(i) + " of " + table + " has " +
                          std::to_string(out.rows[i].size()) + " fields, the table has " +
                          std::to_string(out.columns.size()) + " columns");
  return out;
}

// Column types as mdb-schema prints them, in mdb-reader's words.
static std::vector<std::pair<std::string, std::string>> mdbColumnTypes(
    const std::string& path, const std::string& table) {
  CommandResult r = runChecked({"mdb-schema", "--no-relations", "-T", table, path});
  std::vector<std::pair<std::string, std::string>> cols;
  std::stringstream lines(r.out);
  std::string line;
  bool inside = false;
  while (std::getline(lines, line)) {
    std::string t = trim(line);
    if (t.rfind("CREATE TABLE", 0) == 0) { inside = true; continue; }
    if (!inside) continue;
    if (t.rfind(");", 0) == 0) break;
    if (t.empty() || t[0] != '[') continue;
    size_t close = t.find("]\t");
    if (close == std::string::npos) close = t.rfind(']');
    std::string name = t.substr(1, close - 1);
    std::string rest = trim(t.substr(close + 1));
    size_t cut = rest.find_first_of("(,");
    std::string word = trim(rest.substr(0, cut));
    if (word.size() > 9 && word.compare(word.size() - 9, 9, " NOT NULL") == 0)
      word = trim(word.substr(0, word.size() - 9));
    cols.emplace_back(name, typeFromSchemaWord(word));
  }
  return cols;
}

json mdbReaderDump(const std::string& path) {
  CommandResult r = runChecked({"node", dumpScript(), path}, {{"TZ", "UTC"}});
  try {
    return json::parse(r.out);
  } catch (const json::exception& e) {
    throw ReadbackError(std::string("mdb-reader dump is not JSON: ") + e.what());
  }
}

json mdbReaderTable(const std::string& path, const std::string& table, size_t offset,
                    size_t limit) {
  std::vector<std::string> argv = {"node", dumpScript()};
  if (offset > 0) argv.insert(argv.end(), {"--offset", std::to_string(offset)});
  if (limit != SIZE_MAX) argv.insert(argv.end(), {"--limit", std::to_string(limit)});
  argv.insert(argv.end(), {path, table});
  CommandResult r = runChecked(argv, {{"TZ", "UTC"}});
  json dump;
  try {
    dump = json::parse(r.out);
  } catch (const json::exception& e) {
    throw ReadbackError(std::string("mdb-reader dump is not JSON: ") + e.what());
  }
  return dumpTable(dump, table);
}

const json& dumpTable(const json& dump, const std::string& table) {
  for (const json& t : dump.at("tables"))
    if (t.at("name").get<std::string>() == table) return t;
  throw ReadbackError("mdb-reader finds no table " + table);
}

std::vector<std::string> jetcheckProblems(const std::string& path) {
  CommandResult r = runCommand({jetcheckPath(), path});
  if (r.status != 0 && r.status != 1)
    throw ReadbackError(describe({jetcheckPath(), path}, r));
  std::vector<std::string> problems;
  std::stringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) problems.push_back(line);
  if (r.status == 1 && problems.empty()) problems.push_back("jetcheck failed: " + r.err);
  return problems;
}

std::string typedToExportText(const json& value, const std::string& type) {
  if (value.is_null()) return {};
  if (type == "boolean") {
    if (value.is_boolean()) return value.get<bool>() ? "1" : "0";
    return value.is_number_integer() && value.get<int64_t>() != 0 ? "1" : "0";
  }
  if (isFloatType(type)) {
    auto d = asDouble(value);
    return d ? significant(*d, type == "float" ? 6 : 15) : value.dump();
  }
  if (isDecimalType(type))
    return canonicalDecimal(value.is_string() ? value.get<std::string>() : value.dump());
  if (type == "binary" && value.is_string()) {
    // mdbtools 1.0 converts a Binary column like text: it stops at the first
    // zero byte, and prints nothing at all when the value starts with one.
    std::string hex = value.get<std::string>();
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      if (hex.compare(i, 2, "00") == 0) return hex.substr(0, i);
    return hex;
  }
  if (value.is_string()) return value.get<std::string>();
  return value.dump();
}

::testing::AssertionResult mdbReaderMatches(const std::string& path,
                                            const ExpectedTable& expected) {
  json table;
  try {
    table = mdbReaderTable(path, expected.name);
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "mdb-reader: " << e.what();
  }
  std::vector<std::string> names, types;
  for (const json& c : table.at("columns")) {
    names.push_back(c.at("name").get<std::string>());
    types.push_back(c.at("type").get<std::string>());
  }
  const std::string where = "mdb-reader, table " + expected.name;
  if (names != expected.columns)
    return ::testing::AssertionFailure() << where << ": columns " << joinNames(names)
                                         << ", expected " << joinNames(expected.columns);
  std::vector<json> found(table.at("rows").begin(), table.at("rows").end());
  if (table.at("rowCount").get<size_t>() != expected.rows.size())
    return ::testing::AssertionFailure() << where << ": row count in the table definition is "
                                         << table.at("rowCount") << ", expected "
                                         << expected.rows.size();
  if (found.size() != expected.rows.size())
    return ::testing::AssertionFailure() << where << ": " << found.size() << " rows, expected "
                                         << expected.rows.size();
  std::vector<json> want = expected.rows;
  if (expected.anyOrder) {
    want = sortedRows(std::move(want), types);
    found = sortedRows(std::move(found), types);
  }
  for (size_t r = 0; r < want.size(); ++r) {
    if (want[r].size() != names.size())
      return ::testing::AssertionFailure() << "expected row " << r << " of " << expected.name
                                           << " has " << want[r].size() << " values for "
                                           << names.size() << " columns";
    for (size_t c = 0; c < names.size(); ++c)
      if (!typedEqual(want[r][c], found[r][c], types[c]))
        return ::testing::AssertionFailure()
               << where << ", row " << r << ", column " << names[c] << " (" << types[c]
               << "): expected " << show(want[r][c]) << ", found " << show(found[r][c]);
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult mdbtoolsMatches(const std::string& path,
                                           const ExpectedTable& expected) {
  ExportedTable exported;
  std::vector<std::pair<std::string, std::string>> columns;
  long count = 0;
  try {
    columns = mdbColumnTypes(path, expected.name);
    exported = mdbExport(path, expected.name);
    count = mdbCount(path, expected.name);
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "mdbtools: " << e.what();
  }
  const std::string where = "mdbtools, table " + expected.name;
  if (exported.columns != expected.columns)
    return ::testing::AssertionFailure() << where << ": mdb-export columns "
                                         << joinNames(exported.columns) << ", expected "
                                         << joinNames(expected.columns);
  std::vector<std::string> types;
  for (size_t c = 0; c < columns.size(); ++c) types.push_back(columns[c].second);
  if (columns.size() != expected.columns.size())
    return ::testing::AssertionFailure() << where << ": mdb-schema lists " << columns.size()
                                         << " columns, expected " << expected.columns.size();
  if (count != static_cast<long>(expected.rows.size()))
    return ::testing::AssertionFailure() << where << ": mdb-count says " << count
                                         << ", expected " << expected.rows.size();
  if (exported.rows.size() != expected.rows.size())
    return ::testing::AssertionFailure() << where << ": mdb-export gives "
                                         << exported.rows.size() << " rows, expected "
                                         << expected.rows.size();
  std::vector<json> want = expected.rows;
  std::vector<TextRow> found = exported.rows;
  if (expected.anyOrder) {
    // Order both sides by the text mdbtools prints, so that precision lost
    // in its output cannot change which rows are paired.
    std::vector<std::pair<std::vector<std::string>, json>> keyed;
    for (const json& row : want) {
      std::vector<std::string> key;
      for (size_t c = 0; c < row.size() && c < types.size(); ++c)
        key.push_back(row[c].is_null() ? "\x01" : "\x02" + typedToExportText(row[c], types[c]));
      keyed.emplace_back(std::move(key), row);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    want.clear();
    for (auto& k : keyed) want.push_back(std::move(k.second));
    auto textKey = [&](const TextRow& row) {
      std::vector<std::string> key;
      for (size_t c = 0; c < row.size(); ++c) {
        if (!row[c]) { key.push_back("\x01"); continue; }
        const std::string& t = types[c];
        std::string v = *row[c];
        if (isFloatType(t)) {
          v = significant(std::strtod(v.c_str(), nullptr), t == "float" ? 6 : 15);
        } else if (isDecimalType(t)) {
          v = canonicalDecimal(v);
        }
        key.push_back("\x02" + v);
      }
      return key;
    };
    std::stable_sort(found.begin(), found.end(),
                     [&](const TextRow& a, const TextRow& b) { return textKey(a) < textKey(b); });
  }
  for (size_t r = 0; r < want.size(); ++r) {
    if (want[r].size() != types.size())
      return ::testing::AssertionFailure() << "expected row " << r << " of " << expected.name
                                           << " has " << want[r].size() << " values for "
                                           << types.size() << " columns";
    for (size_t c = 0; c < types.size(); ++c)
      if (!exportTextEqual(want[r][c], found[r][c], types[c]))
        return ::testing::AssertionFailure()
               << where << ", row " << r << ", column " << expected.columns[c] << " ("
               << types[c] << "): expected " << show(want[r][c]) << ", found "
               << show(found[r][c]);
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult fileMatches(const std::string& path,
                                       const std::vector<ExpectedTable>& tables) {
  try {
    std::vector<std::string> problems = jetcheckProblems(path);
    if (!problems.empty()) {
      auto failure = ::testing::AssertionFailure() << "jetcheck finds " << problems.size()
                                                   << " problem(s) in " << path << ":";
      for (size_t i = 0; i < problems.size() && i < 20; ++i) failure << "\n  " << problems[i];
      return failure;
    }
    std::vector<std::string> want;
    for (const auto& t : tables) want.push_back(t.name);
    std::sort(want.begin(), want.end());
    std::vector<std::string> listed = mdbTables(path);
    std::sort(listed.begin(), listed.end());
    if (listed != want)
      return ::testing::AssertionFailure() << "mdb-tables lists " << joinNames(listed)
                                           << ", expected " << joinNames(want);
    json dump = mdbReaderDump(path);
    std::vector<std::string> readerNames;
    for (const json& t : dump.at("tables")) readerNames.push_back(t.at("name").get<std::string>());
    std::sort(readerNames.begin(), readerNames.end());
    if (readerNames != want)
      return ::testing::AssertionFailure() << "mdb-reader lists " << joinNames(readerNames)
                                           << ", expected " << joinNames(want);
    for (const auto& t : tables) {
      // Both readers must see the same column types.
      auto columns = mdbColumnTypes(path, t.name);
      const json& entry = dumpTable(dump, t.name);
      for (size_t c = 0; c < columns.size() && c < entry.at("columns").size(); ++c) {
        std::string readerType = entry.at("columns")[c].at("type").get<std::string>();
        if (columns[c].second != readerType)
          return ::testing::AssertionFailure()
                 << "table " << t.name << ", column " << columns[c].first << ": mdbtools sees "
                 << columns[c].second << ", mdb-reader sees " << readerType;
      }
      if (auto r = mdbReaderMatches(path, t); !r) return r;
      if (auto r = mdbtoolsMatches(path, t); !r) return r;
    }
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << e.what();
  }
  return ::testing::AssertionSuccess();
}

namespace {

std::string decimalText(bool negative, unsigned __int128 magnitude, unsigned scale) {
  std::string digits;
  do {
    digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  while (digits.size() <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  return (negative ? "-" : "") + digits;
}

std::string oleDateText(jet::DateTime value) {
  const jet::CivilTime t = jet::fromOleDate(value);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

}  // namespace

json typedValue(const jet::Value& value) {
  struct Visitor {
    json operator()(const jet::Null&) const { return nullptr; }
    json operator()(bool b) const { return b; }
    json operator()(int64_t i) const { return i; }
    json operator()(double d) const { return d; }
    json operator()(const std::string& s) const { return s; }
    json operator()(const jet::Bytes& b) const {
      static const char* digits = "0123456789ABCDEF";
      std::string hex;
      for (uint8_t byte : b) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
      }
      return hex;
    }
    json operator()(const jet::Currency& c) const {
      bool negative = c.scaled < 0;
      unsigned __int128 magnitude =
          negative ? (unsigned __int128)(-(c.scaled + 1)) + 1 : (unsigned __int128)c.scaled;
      return decimalText(negative, magnitude, 4);
    }
    json operator()(const jet::DateTime& d) const { return oleDateText(d); }
    json operator()(const jet::Numeric& n) const {
      return decimalText(n.negative && n.magnitude != 0, n.magnitude, n.scale);
    }
    json operator()(const jet::Guid& g) const {
      static const char* digits = "0123456789ABCDEF";
      std::string text = "{";
      for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += digits[g.bytes[i] >> 4];
        text += digits[g.bytes[i] & 15];
      }
      return text + "}";
    }
  };
  return std::visit(Visitor{}, value);
}

json typedRow(const std::vector<jet::Value>& values) {
  json row = json::array();
  for (const auto& v : values) row.push_back(typedValue(v));
  return row;
}

}  // namespace tabulex::readback
