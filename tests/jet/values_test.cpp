// Values of every column type go in and come back exact, through our own
// reader, mdbtools and mdb-reader; bad values are refused without a trace.
#include <cfloat>
#include <cmath>
#include <climits>

#include "jet_files.h"

namespace {

using namespace jettest;
using jet::ColumnType;
using jet::Value;

jet::TableSpec everyType() {
  jet::TableSpec s;
  s.name = "Every Type";
  s.columns = {{"Flag", ColumnType::Boolean},     {"Small", ColumnType::Byte},
               {"Short", ColumnType::Integer},    {"Whole", ColumnType::Long},
               {"Money", ColumnType::Currency},   {"Float", ColumnType::Single},
               {"Real", ColumnType::Double},      {"When", ColumnType::DateTime},
               {"Raw", ColumnType::Binary, 16},   {"Label", ColumnType::Text, 40},
               {"Blob", ColumnType::OLE},         {"Notes", ColumnType::Memo},
               {"Key", ColumnType::GUID},         {"Amount", ColumnType::Numeric, 0, 28, 4},
               {"Ratio", ColumnType::Numeric, 0, 5, 2}};
  return s;
}

jet::Numeric num(bool negative, unsigned __int128 magnitude, uint8_t scale) { return {negative, magnitude, scale}; }

unsigned __int128 pow10(int n) {
  unsigned __int128 r = 1;
  while (n--) r *= 10;
  return r;
}

jet::Guid guid(uint8_t seed) {
  jet::Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[size_t(i)] = uint8_t(seed * 17 + i);
  return g;
}

TEST(Values, EveryTypeAtItsBoundsAndNullReadsBackExactly) {
  ScratchDir dir;
  std::string path = dir.file("types.mdb");
  auto spec = everyType();
  std::vector<std::vector<Value>> rows = {
      {true, int64_t(0), int64_t(SHRT_MIN), int64_t(INT_MIN), jet::Currency{INT64_MIN}, -double(FLT_MAX),
       -1.79769313486231e308, jet::toOleDate(1900, 1, 1), jet::Bytes{}, std::string(""), jet::Bytes{}, std::string(""),
       guid(0), num(true, pow10(28) - 1, 4), num(true, 99999, 2)},
      {false, int64_t(255), int64_t(SHRT_MAX), int64_t(INT_MAX), jet::Currency{INT64_MAX}, double(FLT_MAX),
       1.79769313486231e308, jet::toOleDate(2100, 12, 31, 23, 59, 59), jet::Bytes(16, 0xFF), std::string(40, 'z'),
       jet::Bytes{0, 1, 2}, std::string("memo"), guid(1), num(false, pow10(28) - 1, 4), num(false, 99999, 2)},
      {false, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{},
       jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}},
      {true, int64_t(1), int64_t(-1), int64_t(0), jet::Currency{-1}, double(FLT_MIN), 5e-324,
       jet::toOleDate(1969, 12, 31, 23, 59, 59), jet::Bytes{0x00}, std::string("x"), jet::Bytes{0xFF},
       std::string("\xC3\x84"), guid(2), num(false, 1, 4), num(true, 1, 2)},
      {true, int64_t(7), int64_t(0), int64_t(-5), jet::Currency{123456789}, -0.0, 0.1,
       jet::toOleDate(2024, 2, 29, 12, 34, 56), jet::Bytes{1, 2, 3}, std::string("O'Brien, \"quoted\""),
       jet::Bytes(300, 0x5A), std::string("line\nbreak\ttab"), guid(3), num(false, 0, 4), num(false, 0, 2)},
  };
  {
    auto db = jet::Database::create(path);
    db->createTable(spec);
    for (const auto& r : rows) db->insertRow(spec.name, r);
    EXPECT_EQ(allRows(*db, spec.name), rows);
  }
  auto db = jet::Database::open(path, false);
  EXPECT_EQ(allRows(*db, spec.name), rows);
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(spec, rows)}));
}

TEST(Values, ConvertibleInputsAreStoredInTheColumnsForm) {
  ScratchDir dir;
  std::string path = dir.file("convert.mdb");
  auto db = jet::Database::create(path);
  auto spec = everyType();
  db->createTable(spec);
  std::vector<Value> in = {int64_t(5), 12.0, int64_t(-3), true, int64_t(42), 0.1, int64_t(3),
                           40000.5, std::string("ab"), std::string("t"), std::string("ole"), std::string("m"),
                           guid(4), num(false, 123456, 5), int64_t(-7)};
  db->insertRow(spec.name, in);
  std::vector<Value> want = {true, int64_t(12), int64_t(-3), int64_t(-1), jet::Currency{420000},
                             double(0.1f), 3.0, jet::DateTime{40000.5}, jet::Bytes{'a', 'b'},
                             std::string("t"), jet::Bytes{'o', 'l', 'e'}, std::string("m"), guid(4),
                             num(false, 12346, 4), num(true, 700, 2)};
  EXPECT_EQ(allRows(*db, spec.name).at(0), want);
}

TEST(Values, TextInSeveralScriptsAndTheByteOrderMarkCase) {
  ScratchDir dir;
  std::string path = dir.file("text.mdb");
  jet::TableSpec spec;
  spec.name = "Texts";
  spec.columns = {{"Packed", ColumnType::Text, 60}, {"Wide", ColumnType::Text, 60}, {"Long", ColumnType::Memo}};
  spec.columns[1].compressedUnicode = false;
  std::vector<std::string> samples = {
      "plain ASCII",
      "Gr\xC3\xBC\xC3\x9F" "e \xC3\xA9t\xC3\xA9 \xC3\x85ngstr\xC3\xB6m",      // Latin-1
      "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1",                              // Greek
      "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",                      // Cyrillic
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E abc",                              // CJK and ASCII
      "\xE4\xB8\x80 U+4E00 ends in a zero byte",                               // U+4E00
      "\xC4\x80\xC4\x81 mixed",                                                // U+0100 U+0101
      "ab",
  };
  // U+FEFF first: only a column that allows compressed text can hold it.
  std::vector<std::string> marked = {"\xEF\xBB\xBF" "starts with a byte order mark",
                                     "\xEF\xBB\xBF" "\xE6\x97\xA5 mark then CJK"};
  std::vector<std::vector<Value>> rows;
  for (const auto& s : samples) rows.push_back({s, s, s + s});
  for (const auto& s : marked) rows.push_back({s, jet::Null{}, s});
  {
    auto db = jet::Database::create(path);
    db->createTable(spec);
    for (const auto& r : rows) db->insertRow(spec.name, r);
    EXPECT_EQ(allRows(*db, spec.name), rows);
    for (const auto& s : marked) {
      try {
        db->insertRow(spec.name, {jet::Null{}, s, jet::Null{}});
        ADD_FAILURE() << "a column without compression took text that reads back wrong";
      } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::Error::Code::InvalidValue);
        EXPECT_EQ(e.column(), "Wide");
      }
    }
    // U+FEFF followed by a character with a zero low byte has no stored form
    // that readers decode back; it is refused rather than mangled.
    std::string impossible = "\xEF\xBB\xBF\xE4\xB8\x80";
    try {
      db->insertRow(spec.name, {impossible, jet::Null{}, jet::Null{}});
      ADD_FAILURE() << "accepted text that would read back wrong";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.code(), jet::Error::Code::InvalidValue);
    }
    EXPECT_EQ(db->rowCount(spec.name), rows.size());
  }
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(spec, rows)}));
}

// mdbtools prints dates only from 1900 to a few centuries ahead and no
// character beyond U+FFFF, so
// these are compared with mdb-reader and our own reader.
TEST(Values, FarDatesAndSupplementaryCharacters) {
  ScratchDir dir;
  std::string path = dir.file("early.mdb");
  jet::TableSpec spec;
  spec.name = "Early";
  spec.columns = {{"When", ColumnType::DateTime}, {"Text", ColumnType::Text, 20}, {"Long", ColumnType::Memo}};
  std::vector<std::vector<Value>> rows = {
      {jet::toOleDate(100, 1, 1), std::string("emoji \xF0\x9F\x98\x80"), std::string("\xF0\x9F\x98\x80")},
      {jet::toOleDate(1899, 12, 29, 6, 0, 0), std::string("\xF0\x90\x8D\x88"), jet::Null{}},
      {jet::toOleDate(1600, 2, 29, 23, 59, 59), jet::Null{}, std::string("x")},
      {jet::toOleDate(9999, 12, 31, 23, 59, 59), std::string("last"), jet::Null{}},
  };
  {
    auto db = jet::Database::create(path);
    db->createTable(spec);
    for (const auto& r : rows) db->insertRow(spec.name, r);
  }
  auto db = jet::Database::open(path, false);
  EXPECT_EQ(allRows(*db, spec.name), rows);
  EXPECT_EQ(std::get<jet::DateTime>(rows[1][0]).days, -1.25);
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
  EXPECT_TRUE(tabulex::readback::mdbReaderMatches(path, expected(spec, rows)));
}

TEST(Values, LongValuesInlineInOneRowAndInChains) {
  ScratchDir dir;
  std::string path = dir.file("long.mdb");
  jet::TableSpec spec;
  spec.name = "Long Values";
  spec.columns = {{"N", ColumnType::Long}, {"Doc", ColumnType::OLE}, {"Text", ColumnType::Memo}};
  std::vector<std::vector<Value>> rows;
  int n = 0;
  for (size_t size : {size_t(0), size_t(64), size_t(65), size_t(4076), size_t(4077), size_t(4096),
                      size_t(100 * 1024)}) {
    jet::Bytes blob(size);
    for (size_t i = 0; i < size; ++i) blob[i] = uint8_t(i * 7 + size);
    std::string text;
    for (size_t i = 0; i < size; ++i) text.push_back(char('a' + (i + size) % 26));
    rows.push_back({int64_t(n++), blob, text});
    // Non-ASCII memo text is stored as two bytes a character.
    std::string wide;
    for (size_t i = 0; i < size / 2; ++i) wide += "\xC3\xA9";
    rows.push_back({int64_t(n++), jet::Null{}, wide});
  }
  {
    auto db = jet::Database::create(path);
    db->createTable(spec);
    for (const auto& r : rows) db->insertRow(spec.name, r);
    EXPECT_EQ(allRows(*db, spec.name), rows);
  }
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(spec, rows)}));
}

// mdb-export stops memo text at 200,000 characters, so values of a
// megabyte are compared with mdb-reader and our own reader only.
TEST(Values, MegabyteLongValues) {
  ScratchDir dir;
  std::string path = dir.file("megabyte.mdb");
  jet::TableSpec spec;
  spec.name = "Big";
  spec.columns = {{"Doc", ColumnType::OLE}, {"Text", ColumnType::Memo}};
  jet::Bytes blob(1 << 20);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = uint8_t(i * 13);
  std::string text;
  for (size_t i = 0; i < blob.size(); ++i) text.push_back(char('A' + i % 23));
  std::vector<std::vector<Value>> rows = {{blob, text}, {jet::Bytes(5, 1), text.substr(0, 65)}};
  {
    auto db = jet::Database::create(path);
    db->createTable(spec);
    for (const auto& r : rows) db->insertRow(spec.name, r);
  }
  auto db = jet::Database::open(path, false);
  EXPECT_EQ(allRows(*db, spec.name), rows);
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
  EXPECT_TRUE(tabulex::readback::mdbReaderMatches(path, expected(spec, rows)));
}

TEST(Values, RefusedValuesLeaveTheFileAsItWas) {
  ScratchDir dir;
  std::string path = dir.file("refused.mdb");
  auto db = jet::Database::create(path);
  jet::TableSpec spec = everyType();
  spec.columns[3].required = true;
  db->createTable(spec);
  std::vector<Value> good = {true, int64_t(1), int64_t(1), int64_t(1), jet::Currency{1}, 1.0, 1.0,
                             jet::DateTime{1}, jet::Bytes{1}, std::string("a"), jet::Bytes(5000, 1),
                             std::string(5000, 'm'), guid(1), num(false, 1, 0), num(false, 1, 0)};
  db->insertRow(spec.name, good);
  auto before = readFile(path);
  struct Case {
    size_t column;
    Value value;
    jet::Error::Code code;
  };
  std::vector<Case> cases = {
      {1, int64_t(256), jet::Error::Code::OutOfRange},
      {1, int64_t(-1), jet::Error::Code::OutOfRange},
      {2, int64_t(32768), jet::Error::Code::OutOfRange},
      {3, int64_t(2147483648LL), jet::Error::Code::OutOfRange},
      {3, jet::Null{}, jet::Error::Code::RequiredNull},
      {3, std::string("12"), jet::Error::Code::InvalidValue},
      {5, 1e39, jet::Error::Code::OutOfRange},
      {7, jet::DateTime{3e6}, jet::Error::Code::OutOfRange},
      {8, jet::Bytes(17, 0), jet::Error::Code::StringTooLong},
      {9, std::string(41, 'x'), jet::Error::Code::StringTooLong},
      {9, std::string("\xC3\x28"), jet::Error::Code::InvalidValue},
      {13, num(false, pow10(24), 0), jet::Error::Code::OutOfRange},
      {14, num(false, 1000, 0), jet::Error::Code::OutOfRange},
      {12, std::string("{not a guid}"), jet::Error::Code::InvalidValue},
  };
  for (const auto& c : cases) {
    auto row = good;
    row[c.column] = c.value;
    try {
      db->insertRow(spec.name, row);
      ADD_FAILURE() << "column " << c.column << " accepted a bad value";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.code(), c.code) << e.what();
      EXPECT_EQ(e.column(), spec.columns[c.column].name);
    }
  }
  auto shortRow = good;
  shortRow.pop_back();
  EXPECT_THROW(db->insertRow(spec.name, shortRow), jet::Error);
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(db->rowCount(spec.name), 1u);
  db->insertRow(spec.name, good);
  EXPECT_EQ(db->rowCount(spec.name), 2u);
}

TEST(Values, RowsUpToTheSizeLimit) {
  ScratchDir dir;
  std::string path = dir.file("wide.mdb");
  auto db = jet::Database::create(path);
  jet::TableSpec spec;
  spec.name = "Wide";
  for (int i = 0; i < 9; ++i) spec.columns.push_back({"T" + std::to_string(i), ColumnType::Text, 255});
  for (auto& c : spec.columns) c.compressedUnicode = false;
  db->createTable(spec);
  // 2 + 9 * 2 * 220 + 2 * 11 + 2 = 3986 bytes: fits.
  std::vector<Value> fits(9, std::string(220, 'w'));
  db->insertRow(spec.name, fits);
  auto before = readFile(path);
  std::vector<Value> over(9, std::string(230, 'w'));  // 4166 bytes
  try {
    db->insertRow(spec.name, over);
    ADD_FAILURE() << "a row over 4060 bytes was accepted";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), jet::Error::Code::RowTooLarge);
  }
  EXPECT_EQ(readFile(path), before);
  db.reset();
  EXPECT_TRUE(tabulex::readback::fileMatches(path, {expected(spec, {fits})}));
}

// Access holds every moment of 1 January 100 (before 1899 the time of day
// makes the stored value more negative than the day's midnight) and
// fractions of a second as far as the double carries them.
TEST(Values, TheWholeFirstDayAndFractionsOfASecond) {
  ScratchDir dir;
  std::string path = dir.file("first.mdb");
  jet::TableSpec spec;
  spec.name = "First";
  spec.columns = {{"When", ColumnType::DateTime}};
  std::vector<std::vector<Value>> rows = {
      {jet::toOleDate(100, 1, 1, 10, 0, 0)},
      {jet::toOleDate(100, 1, 1, 23, 59, 59.999)},
      {jet::toOleDate(2021, 6, 1, 12, 30, 15.123456)},
      {jet::toOleDate(1800, 6, 1, 12, 30, 15.5)},
  };
  {
    auto db = jet::Database::create(path);
    db->createTable(spec);
    for (const auto& r : rows) db->insertRow(spec.name, r);
    for (const jet::DateTime& outside :
         {jet::toOleDate(99, 12, 31, 23, 59, 59), jet::toOleDate(99, 12, 31),
          jet::toOleDate(10000, 1, 1), jet::DateTime{-657435.0}}) {
      try {
        db->insertRow(spec.name, {outside});
        ADD_FAILURE() << "stored " << outside.days;
      } catch (const jet::Error& e) {
        EXPECT_EQ(e.code(), jet::Error::Code::OutOfRange) << outside.days;
      }
    }
  }
  auto db = jet::Database::open(path, false);
  EXPECT_EQ(allRows(*db, spec.name), rows);
  auto seconds = [](const Value& v) {
    double days = std::get<jet::DateTime>(v).days;
    return std::fabs(days - std::trunc(days)) * 86400.0;
  };
  // Near the year 100 the double still parts hundredths of a millisecond.
  EXPECT_NEAR(seconds(rows[1][0]), 86399.999, 1e-4);
  EXPECT_NEAR(seconds(rows[2][0]), 45015.123456, 1e-6);
  EXPECT_NEAR(seconds(rows[3][0]), 45015.5, 1e-6);
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
  auto dump = tabulex::readback::mdbReaderTable(path, spec.name);
  ASSERT_EQ(dump["rows"].size(), rows.size());
  EXPECT_EQ(dump["rows"][0][0], "0100-01-01 10:00:00");
}

TEST(Values, DatesConvertBothWays) {
  struct Case {
    int y, mo, d, h, mi, s;
    double ole;
  };
  for (const Case& c : {Case{1899, 12, 30, 0, 0, 0, 0.0}, Case{1899, 12, 29, 6, 0, 0, -1.25},
                        Case{1900, 1, 1, 12, 0, 0, 2.5}, Case{2000, 1, 1, 0, 0, 0, 36526.0},
                        Case{100, 1, 1, 0, 0, 0, -657434.0}}) {
    EXPECT_DOUBLE_EQ(jet::toOleDate(c.y, c.mo, c.d, c.h, c.mi, c.s).days, c.ole);
    auto t = jet::fromOleDate(jet::DateTime{c.ole});
    EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second}),
              std::vector<int>({c.y, c.mo, c.d, c.h, c.mi, c.s}));
  }
  // Half a second before midnight rounds up to the next day. Before 1899-12-30
  // the day counts down while the time of day still counts up, so the next
  // day is one nearer zero there too.
  struct Rounding {
    double ole;
    int y, mo, d;
  };
  for (const Rounding& r : {Rounding{1.0 - 1e-9, 1899, 12, 31}, Rounding{-(1.0 - 1e-9), 1899, 12, 31},
                            Rounding{-(2.0 - 1e-9), 1899, 12, 30}, Rounding{-(3.0 - 1e-9), 1899, 12, 29}}) {
    auto t = jet::fromOleDate(jet::DateTime{r.ole});
    EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second}),
              std::vector<int>({r.y, r.mo, r.d, 0, 0, 0}))
        << r.ole;
  }
}

}  // namespace
