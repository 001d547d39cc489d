// Index keys must be byte for byte what Access writes: checked against
// golden vectors, against every index of the Access-made sample files, and
// for the ordering rules that hold for any value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "jet/collation.h"
#include "jet/index_key.h"

// GCC 12 reports moves of jet::Value (a std::variant) as uninitialized
// reads when it inlines them; a known false positive.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

using jet::ColumnType;
using jet::KeyBytes;
using jet::Value;

std::string hex(const KeyBytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

KeyBytes key(ColumnType type, const Value& value, bool descending = false) {
  KeyBytes out;
  jet::appendIndexKey(out, type, value, descending);
  return out;
}

// Lines look like:   'a-b'   -> 7f4a4c...   under "## table X (asc|desc)".
TEST(IndexKey, GoldenVectors) {
  std::ifstream in(TABULEX_SOURCE_DIR "/tests/data/jet4/index-key-vectors.txt");
  ASSERT_TRUE(in) << "vector file missing";
  ColumnType type = ColumnType::Text;
  bool descending = false;
  int checked = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("## table ", 0) == 0) {
      const char table = line[9];
      descending = line.find("(desc)") != std::string::npos;
      switch (table) {
        case 'T': type = ColumnType::Text; break;
        case 'I': case 'L': type = ColumnType::Long; break;
        case 'D': type = ColumnType::DateTime; break;
        case 'F': type = ColumnType::Double; break;
        case 'M': type = ColumnType::Currency; break;
        default: FAIL() << "unknown table " << table;
      }
      continue;
    }
    const size_t arrow = line.rfind("-> ");
    if (line.empty() || line[0] == '#' || arrow == std::string::npos) continue;
    std::string literal = line.substr(0, arrow);
    literal.erase(0, literal.find_first_not_of(' '));
    literal.erase(literal.find_last_not_of(' ') + 1);
    const std::string expected = line.substr(arrow + 3);

    Value value;
    if (literal == "None") {
      value = jet::Null{};
    } else if (literal[0] == '\'' || literal[0] == '"') {
      value = literal.substr(1, literal.size() - 2);
    } else if (type == ColumnType::Long) {
      value = int64_t(std::stoll(literal));
    } else if (type == ColumnType::Currency) {
      value = jet::Currency{int64_t(std::llround(std::stod(literal) * 10000))};
    } else if (type == ColumnType::DateTime) {
      value = jet::DateTime{std::stod(literal)};
    } else {
      value = std::stod(literal);
    }
    EXPECT_EQ(hex(key(type, value, descending)), expected) << "value " << literal;
    ++checked;
  }
  EXPECT_GE(checked, 35);
}

// For every fixed-size type, byte order of the keys must follow the value
// order (reversed for descending), NULL first ascending and last descending.
TEST(IndexKey, KeysSortAsValues) {
  std::mt19937_64 rng(7);
  struct Case {
    ColumnType type;
    std::vector<Value> values;  // ascending
  };
  std::vector<Case> cases;
  auto ints = [&](int64_t lo, int64_t hi) {
    std::vector<int64_t> n{lo, hi, 0, -1, 1};
    std::uniform_int_distribution<int64_t> d(lo, hi);
    for (int i = 0; i < 200; ++i) n.push_back(d(rng));
    for (auto& x : n) x = std::clamp(x, lo, hi);
    std::sort(n.begin(), n.end());
    n.erase(std::unique(n.begin(), n.end()), n.end());
    return std::vector<Value>(n.begin(), n.end());
  };
  cases.push_back({ColumnType::Byte, ints(0, 255)});
  cases.push_back({ColumnType::Integer, ints(-32768, 32767)});
  cases.push_back({ColumnType::Long, ints(INT32_MIN, INT32_MAX)});
  std::vector<double> reals{-1e300, -2.5, -1.0, -1e-300, 0.0, 1e-300, 0.5, 3.0, 1e300};
  std::normal_distribution<double> nd(0, 1e6);
  for (int i = 0; i < 200; ++i) reals.push_back(nd(rng));
  std::sort(reals.begin(), reals.end());
  reals.erase(std::unique(reals.begin(), reals.end()), reals.end());
  std::vector<Value> doubles, singles, dates, money;
  for (double r : reals) {
    doubles.push_back(r);
    dates.push_back(jet::DateTime{r});
    if (std::fabs(r) < 9e18) money.push_back(jet::Currency{int64_t(r)});
    if (std::fabs(r) < 1e30 && (r == 0 || std::fabs(r) > 1e-30)) {
      const float f = float(r);
      if (singles.empty() || float(std::get<double>(singles.back())) < f)
        singles.push_back(double(f));
    }
  }
  money.erase(std::unique(money.begin(), money.end()), money.end());
  cases.push_back({ColumnType::Double, doubles});
  cases.push_back({ColumnType::DateTime, dates});
  cases.push_back({ColumnType::Single, singles});
  cases.push_back({ColumnType::Currency, money});
  std::vector<Value> decimals;
  for (int64_t m : {-1000000LL, -12345LL, -1LL, 0LL, 1LL, 99LL, 100LL, 1LL << 40}) {
    jet::Numeric n;
    n.negative = m < 0;
    n.magnitude = (unsigned __int128)(m < 0 ? -m : m);
    n.scale = 2;
    decimals.push_back(n);
  }
  cases.push_back({ColumnType::Numeric, decimals});
  std::vector<Value> bins{jet::Bytes{0}, jet::Bytes{0, 0},
                          jet::Bytes{1, 2, 3, 4, 5, 6, 7, 8},
                          jet::Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0},
                          jet::Bytes{1, 2, 3, 4, 5, 6, 7, 9}, jet::Bytes{0xFF}};
  cases.push_back({ColumnType::Binary, bins});

  for (const Case& c : cases) {
    for (bool desc : {false, true}) {
      std::vector<KeyBytes> keys;
      for (const Value& v : c.values) keys.push_back(key(c.type, v, desc));
      const KeyBytes null = key(c.type, jet::Null{}, desc);
      for (size_t i = 0; i + 1 < keys.size(); ++i) {
        if (c.type == ColumnType::Numeric && desc) break;  // see below
        if (desc)
          EXPECT_GT(keys[i], keys[i + 1]) << int(c.type) << " desc at " << i;
        else
          EXPECT_LT(keys[i], keys[i + 1]) << int(c.type) << " asc at " << i;
      }
      for (const KeyBytes& k : keys) {
        if (desc)
          EXPECT_LT(k, null) << int(c.type);
        else
          EXPECT_GT(k, null) << int(c.type);
      }
    }
  }
}

// Access 2000 puts every negative Decimal before every positive one in a
// descending index (right order within each sign). Its files carry that
// order, so ours must too.
TEST(IndexKey, DescendingDecimalKeepsAccessQuirk) {
  auto num = [](bool neg, unsigned mag) {
    jet::Numeric n;
    n.negative = neg;
    n.magnitude = mag;
    return Value(n);
  };
  const auto k = [&](bool neg, unsigned mag) {
    return key(ColumnType::Numeric, num(neg, mag), true);
  };
  EXPECT_LT(k(true, 1), k(true, 5));   // -1 before -5
  EXPECT_LT(k(false, 5), k(false, 1));  // 5 before 1
  EXPECT_LT(k(true, 1), k(false, 5));   // negatives first
  // Negative zero is zero.
  EXPECT_EQ(key(ColumnType::Numeric, num(true, 0)), key(ColumnType::Numeric, num(false, 0)));
}

TEST(IndexKey, BooleanAndGuid) {
  EXPECT_EQ(hex(key(ColumnType::Boolean, true)), "7f00");
  EXPECT_EQ(hex(key(ColumnType::Boolean, false)), "7fff");
  EXPECT_EQ(hex(key(ColumnType::Boolean, jet::Null{})), "7fff");
  EXPECT_EQ(hex(key(ColumnType::Boolean, true, true)), "80ff");
  jet::Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = uint8_t(i + 1);
  EXPECT_EQ(hex(key(ColumnType::GUID, g)), "7f010203040506070809090a0b0c0d0e0f1008");
  // Descending keeps the "more follows" count of inner segments.
  EXPECT_EQ(hex(key(ColumnType::GUID, g, true)), "80fefdfcfbfaf9f8f709f6f5f4f3f2f1f0eff7");
  EXPECT_THROW(key(ColumnType::OLE, jet::Bytes{1}), jet::Error);
  EXPECT_THROW(key(ColumnType::Long, std::string("1")), jet::Error);
}

std::string utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += char(c);
  } else if (c < 0x800) {
    s += char(0xC0 | (c >> 6));
    s += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += char(0xE0 | (c >> 12));
    s += char(0x80 | ((c >> 6) & 0x3F));
    s += char(0x80 | (c & 0x3F));
  } else {
    s += char(0xF0 | (c >> 18));
    s += char(0x80 | ((c >> 12) & 0x3F));
    s += char(0x80 | ((c >> 6) & 0x3F));
    s += char(0x80 | (c & 0x3F));
  }
  return s;
}

// Text keys: what a unique index treats as equal, and the shape rules that
// hold for any input (cut, terminators, descending mirror).
TEST(IndexKey, TextEqualityAndShape) {
  const auto t = [](const std::string& s, bool desc = false) {
    return key(ColumnType::Text, s, desc);
  };
  EXPECT_EQ(t("Hello World"), t("HELLO world"));
  EXPECT_EQ(t("abc   "), t("abc"));
  EXPECT_NE(t("  abc"), t("abc"));
  EXPECT_NE(t("resume"), t(utf8(U'r') + "esum" + utf8(U'\u00E9')));
  EXPECT_LT(t("abc"), t("abd"));
  EXPECT_LT(t("ab"), t("abc"));
  EXPECT_GT(t("ab", true), t("abc", true));
  EXPECT_GT(t("abc", true), t("abd", true));

  // Only the first 255 characters count.
  const std::string long1 = std::string(255, 'x') + "a";
  const std::string long2 = std::string(255, 'x') + "b";
  EXPECT_EQ(t(long1), t(long2));
  EXPECT_NE(t(std::string(254, 'x') + "a"), t(std::string(254, 'x') + "b"));

  // Every character in the Basic Multilingual Plane, alone and between
  // letters, in both directions: a key starts with the flag, ends with 00,
  // and the descending key mirrors the ascending one.
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    for (const std::string& s : {utf8(c), "a" + utf8(c) + "b"}) {
      const KeyBytes asc = t(s);
      const KeyBytes desc = t(s, true);
      ASSERT_GE(asc.size(), 3u) << std::hex << uint32_t(c);
      ASSERT_EQ(asc.front(), 0x7F);
      ASSERT_EQ(asc.back(), 0x00);
      ASSERT_EQ(desc.front(), 0x80);
      ASSERT_EQ(desc.size(), asc.size() + 1);
      for (size_t i = 1; i + 1 < asc.size(); ++i)
        ASSERT_EQ(uint8_t(~asc[i]), desc[i]) << std::hex << uint32_t(c);
    }
    ASSERT_TRUE(jet::textKeyIsExact(utf8(c)));
  }

  // Characters past U+FFFF and malformed UTF-8 still give a usable key but
  // are not claimed to match Access.
  const std::string emoji = utf8(U'\U0001F600');
  EXPECT_FALSE(jet::textKeyIsExact(emoji));
  EXPECT_NE(t(emoji), t(utf8(U'\U0001F601')));
  EXPECT_FALSE(jet::textKeyIsExact(std::string("a\xFF" "b")));
  EXPECT_EQ(t(std::string("a\xFF" "b")), t(std::string("a\xFE" "b")));
  EXPECT_TRUE(jet::textKeyIsExact("plain text"));
}

}  // namespace
