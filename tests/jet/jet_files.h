// Helpers for the Jet library tests: scratch folders, typed JSON for the
// read-back comparison, and raw file access.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "jet/database.h"
#include "support/readback.h"

namespace jettest {

// A folder removed at the end of the test.
class ScratchDir {
 public:
  // `parent` is where the folder goes: the temporary folder unless a test
  // needs another file system.
  explicit ScratchDir(std::filesystem::path parent = std::filesystem::temp_directory_path()) {
    std::string pattern = (parent / "tabulex-jet-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::string sample(const std::string& name) {
  return std::string(TABULEX_SOURCE_DIR) + "/tests/data/jet4/" + name;
}

inline std::string hex(const std::vector<uint8_t>& b) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (uint8_t c : b) {
    s.push_back(digits[c >> 4]);
    s.push_back(digits[c & 15]);
  }
  return s;
}

inline std::string decimal(bool negative, unsigned __int128 magnitude, unsigned scale) {
  std::string digits;
  do {
    digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude > 0);
  while (digits.size() <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  return (negative ? "-" : "") + digits;
}

// The typed form the read-back helpers compare against.
inline nlohmann::json typed(const jet::Value& v) {
  using nlohmann::json;
  return std::visit(
      [](const auto& x) -> json {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, jet::Null>) return nullptr;
        else if constexpr (std::is_same_v<T, bool>) return x;
        else if constexpr (std::is_same_v<T, int64_t>) return x;
        else if constexpr (std::is_same_v<T, double>) return x;
        else if constexpr (std::is_same_v<T, std::string>) return x;
        else if constexpr (std::is_same_v<T, jet::Bytes>) return hex(x);
        else if constexpr (std::is_same_v<T, jet::Currency>) {
          bool neg = x.scaled < 0;
          unsigned __int128 m = neg ? (unsigned __int128)(-(x.scaled + 1)) + 1 : (unsigned __int128)x.scaled;
          return decimal(neg, m, 4);
        } else if constexpr (std::is_same_v<T, jet::Numeric>) {
          return decimal(x.negative, x.magnitude, x.scale);
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          auto t = jet::fromOleDate(x);
          char buf[40];
          std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                        t.minute, t.second);
          return std::string(buf);
        } else {
          char buf[40];
          const auto& b = x.bytes;
          std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                        b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                        b[14], b[15]);
          return std::string(buf);
        }
      },
      v);
}

inline tabulex::readback::ExpectedTable expected(const jet::TableSpec& spec,
                                                 const std::vector<std::vector<jet::Value>>& rows) {
  tabulex::readback::ExpectedTable t;
  t.name = spec.name;
  for (const auto& c : spec.columns) t.columns.push_back(c.name);
  for (const auto& r : rows) {
    nlohmann::json row = nlohmann::json::array();
    for (const auto& v : r) row.push_back(typed(v));
    t.rows.push_back(row);
  }
  return t;
}

inline std::vector<std::vector<jet::Value>> allRows(jet::Database& db, const std::string& table) {
  std::vector<std::vector<jet::Value>> out;
  db.scanRows(table, [&](const std::vector<jet::Value>& r) {
    out.push_back(r);
    return true;
  });
  return out;
}

}  // namespace jettest
