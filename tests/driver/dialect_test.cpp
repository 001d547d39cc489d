// The SQL dialect and the value rules, without the driver manager: type
// words to Jet columns, literals to stored values, and what is refused.
#include <gtest/gtest.h>

#include <cmath>

#include "drivers/access/connection.h"
#include "drivers/access/driver_error.h"
#include "drivers/access/sql_parser.h"
#include "drivers/access/values.h"

namespace tabulex::access {
namespace {

using jet::ColumnType;

jet::ColumnSpec columnOf(const std::string& definition) {
  auto st = parseStatement("CREATE TABLE t (c " + definition + ")");
  jet::ColumnSpec c;
  c.name = "c";
  applyTypeName(std::get<CreateTable>(st).columns.at(0).type, c);
  return c;
}

std::string stateOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const DriverError& e) {
    return e.sqlstate() + " " + e.what();
  }
  return "no error";
}

TEST(Dialect, ConverterStatementsParse) {
  auto ct = std::get<CreateTable>(parseStatement(
      "Create Table t(\"id\" INTEGER PRIMARY KEY , \"name\" varchar(50) NULL, name2 Memo  NULL, "
      "\"notes\" memo  NOT NULL, \"d\" VARCHAR(20)  NULL, [a b] TEXT, `x``y` INT UNSIGNED,"
      " CONSTRAINT pk2 PRIMARY KEY (\"id\", name2), UNIQUE ([a b]))"));
  EXPECT_EQ(ct.table, "t");
  ASSERT_EQ(ct.columns.size(), 7u);
  EXPECT_TRUE(ct.columns[0].primaryKey);
  EXPECT_EQ(ct.columns[1].type.words, "VARCHAR");
  EXPECT_EQ(ct.columns[1].type.args, std::vector<int64_t>{50});
  EXPECT_EQ(ct.columns[2].name, "name2");
  EXPECT_TRUE(ct.columns[3].notNull);
  EXPECT_EQ(ct.columns[5].name, "a b");
  EXPECT_EQ(ct.columns[6].name, "x`y");
  EXPECT_EQ(ct.columns[6].type.words, "INT UNSIGNED");
  ASSERT_EQ(ct.constraints.size(), 2u);
  EXPECT_EQ(ct.constraints[0].columns, (std::vector<std::string>{"id", "name2"}));
  EXPECT_FALSE(ct.constraints[1].primaryKey);

  auto ins = std::get<Insert>(parseStatement("INSERT INTO customer values(17, 'it''s', NULL )"));
  ASSERT_EQ(ins.values.size(), 3u);
  EXPECT_EQ(ins.values[1].text, "it's");
  EXPECT_EQ(ins.values[2].kind, Literal::Kind::Null);
  auto neg = std::get<Insert>(parseStatement("insert into t (a, b) values (-1.5e3, 0x00ff)"));
  EXPECT_EQ(neg.values[0].text, "-1.5e3");
  EXPECT_EQ(neg.values[1].kind, Literal::Kind::Hex);

  // Many literals and names with doubled quotes in one statement, short and
  // long: each keeps its own text.
  std::string cols, vals;
  for (int i = 0; i < 40; ++i) {
    cols += (i ? ", " : "") + std::string("\"c\"\"") + std::to_string(i) + "\"";
    vals += (i ? ", '" : "'") + std::string(i % 2 ? "a long text that ''" : "v''") +
            std::to_string(i) + "'";
  }
  auto many = std::get<Insert>(parseStatement("INSERT INTO t (" + cols + ") VALUES (" + vals + ")"));
  ASSERT_EQ(many.values.size(), 40u);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(many.columns[i], "c\"" + std::to_string(i));
    EXPECT_EQ(many.values[i].text,
              std::string(i % 2 ? "a long text that '" : "v'") + std::to_string(i));
  }

  auto sel = std::get<Select>(parseStatement("select count(*) from [my table];"));
  EXPECT_TRUE(sel.countAll);
  EXPECT_EQ(sel.table, "my table");
}

TEST(Dialect, SyntaxErrorsNameTheToken) {
  EXPECT_EQ(stateOf([] { parseStatement("CREATE TABLE t (a INT,, b INT)"); })
                .rfind("42000 Syntax error in CREATE TABLE statement near ','", 0),
            0u);
  EXPECT_NE(stateOf([] { parseStatement("INSERT INTO t VALUES (1, 'a' 'b')"); }).find("'b'"),
            std::string::npos);
  EXPECT_NE(stateOf([] { parseStatement("UPDATE t SET a = 1"); }).find("UPDATE"),
            std::string::npos);
  EXPECT_NE(stateOf([] { parseStatement("INSERT INTO t VALUES ('open"); }).find("unterminated"),
            std::string::npos);
  EXPECT_NE(stateOf([] { parseStatement("INSERT INTO t VALUES ('it''"); }).find("unterminated"),
            std::string::npos);
  EXPECT_NE(stateOf([] { parseStatement("CREATE TABLE t (a INT"); }).find("end of the statement"),
            std::string::npos);
  EXPECT_NE(stateOf([] { parseStatement("INSERT INTO t (a, b) VALUES (1)"); }).find("number"),
            std::string::npos);
  EXPECT_EQ(stateOf([] { columnOf("DECIMAL(30,2)"); }).substr(0, 5), "42000");
  EXPECT_EQ(stateOf([] { columnOf("ENUM('a')"); }).substr(0, 5), "42000");
}

TEST(Dialect, TypeWordsMapToJetColumns) {
  struct Case {
    const char* words;
    ColumnType type;
    int length;
  } cases[] = {
      {"TEXT(10)", ColumnType::Text, 10},     {"varchar(255)", ColumnType::Text, 255},
      {"VARCHAR(256)", ColumnType::Memo, 0},  {"char(10)", ColumnType::Text, 10},
      {"MEMO", ColumnType::Memo, 0},          {"LONGTEXT", ColumnType::Memo, 0},
      {"BYTE", ColumnType::Byte, 0},          {"tinyint", ColumnType::Byte, 0},
      {"SMALLINT", ColumnType::Integer, 0},   {"SHORT", ColumnType::Integer, 0},
      {"INTEGER", ColumnType::Long, 0},       {"LONG", ColumnType::Long, 0},
      {"int(11)", ColumnType::Long, 0},       {"MEDIUMINT", ColumnType::Long, 0},
      {"REAL", ColumnType::Single, 0},        {"SINGLE", ColumnType::Single, 0},
      {"FLOAT", ColumnType::Double, 0},       {"DOUBLE", ColumnType::Double, 0},
      {"double precision", ColumnType::Double, 0}, {"MONEY", ColumnType::Currency, 0},
      {"CURRENCY", ColumnType::Currency, 0},  {"DATETIME", ColumnType::DateTime, 0},
      {"TIMESTAMP", ColumnType::DateTime, 0}, {"DATE", ColumnType::DateTime, 0},
      {"TIME", ColumnType::DateTime, 0},      {"BIT", ColumnType::Boolean, 0},
      {"YESNO", ColumnType::Boolean, 0},      {"LOGICAL", ColumnType::Boolean, 0},
      {"BINARY(16)", ColumnType::Binary, 16}, {"VARBINARY(300)", ColumnType::OLE, 0},
      {"OLEObject", ColumnType::OLE, 0},      {"LONGBINARY", ColumnType::OLE, 0},
      {"IMAGE", ColumnType::OLE, 0},          {"GUID", ColumnType::GUID, 0},
      {"BIGINT", ColumnType::Numeric, 0},     {"INT UNSIGNED", ColumnType::Numeric, 0},
  };
  for (const Case& k : cases) {
    jet::ColumnSpec c = columnOf(k.words);
    EXPECT_EQ(c.type, k.type) << k.words;
    if (k.length) {
      EXPECT_EQ(c.length, k.length) << k.words;
    }
  }
  EXPECT_TRUE(columnOf("COUNTER").autoNumber);
  EXPECT_TRUE(columnOf("AUTOINCREMENT").autoNumber);
  jet::ColumnSpec dec = columnOf("NUMERIC(28,10)");
  EXPECT_EQ(dec.precision, 28);
  EXPECT_EQ(dec.scale, 10);
  EXPECT_EQ(columnOf("BIGINT UNSIGNED").precision, 20);
}

jet::Value store(const std::string& literalSql, const std::string& definition) {
  auto ins = std::get<Insert>(parseStatement("INSERT INTO t VALUES (" + literalSql + ")"));
  return literalToValue(ins.values.at(0), columnOf(definition));
}

std::string civil(const jet::Value& v) {
  jet::CivilTime t = jet::fromOleDate(std::get<jet::DateTime>(v));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

TEST(Values, DatesAreDayFirstAndChecked) {
  EXPECT_EQ(civil(store("'7/3/2009'", "DATETIME")), "2009-03-07 00:00:00");
  EXPECT_EQ(civil(store("'7/3/2009 14:05:09'", "DATETIME")), "2009-03-07 14:05:09");
  EXPECT_EQ(civil(store("'7/3/2009 4:05'", "DATETIME")), "2009-03-07 04:05:00");
  EXPECT_EQ(civil(store("'2009-03-07 14:05:09'", "DATETIME")), "2009-03-07 14:05:09");
  EXPECT_EQ(civil(store("#3/7/2009#", "DATETIME")), "2009-03-07 00:00:00");  // US order
  EXPECT_EQ(civil(store("'29/2/2000'", "DATETIME")), "2000-02-29 00:00:00");
  EXPECT_EQ(civil(store("'31/12/9999 23:59:59'", "DATETIME")), "9999-12-31 23:59:59");
  EXPECT_EQ(civil(store("'1/1/100'", "DATETIME")), "0100-01-01 00:00:00");
  for (const char* bad : {"'31/2/2009'", "'29/2/2001'", "'0000-00-00 00:00:00'", "'1/13/2009'",
                          "'1/1/2009 24:00:00'", "'1/1/99999'", "'yesterday'", "'1/1/0099'"}) {
    std::string r = stateOf([&] { store(bad, "DATETIME"); });
    EXPECT_EQ(r.substr(0, 5), "22007") << bad << ": " << r;
    EXPECT_NE(r.find("'c'"), std::string::npos) << "names the column: " << r;
  }
}

// Fractions of a second reach the stored value on both date paths, and the
// whole first day Access holds is a date like any other.
TEST(Values, DatesKeepFractionsOfASecond) {
  auto days = [](const jet::Value& v) { return std::get<jet::DateTime>(v).days; };
  EXPECT_EQ(days(store("'7/3/2009 14:05:09.125'", "DATETIME")),
            jet::toOleDate(2009, 3, 7, 14, 5, 9.125).days);
  EXPECT_EQ(days(store("'2009-03-07 14:05:09.123456'", "DATETIME")),
            jet::toOleDate(2009, 3, 7, 14, 5, 9.123456).days);
  EXPECT_EQ(days(store("'1/1/100 23:59:59.5'", "DATETIME")),
            jet::toOleDate(100, 1, 1, 23, 59, 59.5).days);
  EXPECT_EQ(civil(store("'1/1/100 10:00:00'", "DATETIME")), "0100-01-01 10:00:00");
  EXPECT_EQ(civil(store("-657434.5", "DATETIME")), "0100-01-01 12:00:00");
  for (const char* bad : {"'7/3/2009 14:05:09.'", "'7/3/2009 14:05:09.5x'", "-657435.0"})
    EXPECT_EQ(stateOf([&] { store(bad, "DATETIME"); }).substr(0, 5), "22007") << bad;
}

TEST(Values, NumbersAreRangeCheckedAndRoundedAsJetDoes) {
  EXPECT_EQ(std::get<int64_t>(store("255", "BYTE")), 255);
  EXPECT_EQ(std::get<int64_t>(store("-32768", "SMALLINT")), -32768);
  EXPECT_EQ(std::get<int64_t>(store("2147483647", "LONG")), 2147483647);
  EXPECT_EQ(std::get<int64_t>(store("2.5", "LONG")), 2);   // half to even
  EXPECT_EQ(std::get<int64_t>(store("3.5", "LONG")), 4);
  EXPECT_EQ(std::get<int64_t>(store("-2.51", "LONG")), -3);
  EXPECT_EQ(std::get<int64_t>(store("'12'", "LONG")), 12);
  for (auto [value, type] : {std::pair{"256", "BYTE"}, {"-1", "BYTE"}, {"32768", "SMALLINT"},
                             {"2147483648", "LONG"}, {"1e400", "DOUBLE"}, {"1e39", "REAL"},
                             {"922337203685477.5808", "MONEY"}, {"1000", "DECIMAL(5,2)"},
                             {"1e30", "DECIMAL(28,0)"}}) {
    EXPECT_EQ(stateOf([&] { store(value, type); }).substr(0, 5), "22003") << value << " " << type;
  }
  EXPECT_EQ(stateOf([] { store("'abc'", "LONG"); }).substr(0, 5), "22018");
  // The largest float as the converter writes it: above FLT_MAX as a double,
  // but it narrows to FLT_MAX.
  for (const char* largest : {"3.4028235e+38", "-3.4028235e+38", "'3.4028235e38'"})
    EXPECT_EQ(std::fabs(std::get<double>(store(largest, "REAL"))), 3.4028235e38) << largest;
  EXPECT_EQ(stateOf([] { store("3.40283e38", "REAL"); }).substr(0, 5), "22003");

  auto n = std::get<jet::Numeric>(store("123.456", "DECIMAL(6,2)"));
  EXPECT_EQ(static_cast<uint64_t>(n.magnitude), 12346u);
  EXPECT_EQ(n.scale, 2);
  n = std::get<jet::Numeric>(store("-0.005", "DECIMAL(5,2)"));
  EXPECT_EQ(static_cast<uint64_t>(n.magnitude), 0u);  // half to even gives zero
  EXPECT_FALSE(n.negative);
  n = std::get<jet::Numeric>(store("9999999999999999999999999999", "DECIMAL(28,0)"));
  EXPECT_EQ(valueToText(n, columnOf("DECIMAL(28,0)")), "9999999999999999999999999999");
  EXPECT_EQ(std::get<jet::Currency>(store("-12.34565", "MONEY")).scaled, -123456);

  // Whole numbers into Decimal and Currency, at the edges of each range.
  n = std::get<jet::Numeric>(store("-999", "DECIMAL(5,2)"));
  EXPECT_TRUE(n.negative);
  EXPECT_EQ(static_cast<uint64_t>(n.magnitude), 99900u);
  n = std::get<jet::Numeric>(store("-0", "DECIMAL(5,2)"));
  EXPECT_FALSE(n.negative);
  EXPECT_EQ(static_cast<uint64_t>(n.magnitude), 0u);
  n = std::get<jet::Numeric>(store("-999999999999999999", "BIGINT"));
  EXPECT_TRUE(n.negative);
  EXPECT_EQ(static_cast<uint64_t>(n.magnitude), 999999999999999999u);
  n = std::get<jet::Numeric>(store("12", "DECIMAL(28,20)"));
  EXPECT_EQ(valueToText(n, columnOf("DECIMAL(28,20)")), "12.00000000000000000000");
  EXPECT_EQ(std::get<jet::Currency>(store("922337203685477", "MONEY")).scaled,
            9223372036854770000);
  EXPECT_EQ(std::get<jet::Currency>(store("-922337203685477", "MONEY")).scaled,
            -9223372036854770000);
  for (auto [value, type] : {std::pair{"100000", "DECIMAL(5,0)"}, {"-1000", "DECIMAL(5,2)"},
                             {"922337203685478", "MONEY"}, {"-922337203685478", "MONEY"},
                             {"100000000", "DECIMAL(28,20)"}, {"10000000000", "INT UNSIGNED"}}) {
    std::string r = stateOf([&] { store(value, type); });
    EXPECT_EQ(r.substr(0, 5), "22003") << value << " " << type;
    EXPECT_NE(r.find(value), std::string::npos) << "names the value: " << r;
  }

  // Doubles keep every bit of the decimal text.
  EXPECT_EQ(std::get<double>(store("0.1", "DOUBLE")), 0.1);
  EXPECT_EQ(std::get<double>(store("-1.7976931348623157e308", "DOUBLE")), -1.7976931348623157e308);
  EXPECT_EQ(std::get<double>(store("4.9e-324", "DOUBLE")), 4.9e-324);
  EXPECT_EQ(valueToText(0.1, columnOf("DOUBLE")), "0.1");
  EXPECT_EQ(valueToText(static_cast<double>(0.1f), columnOf("REAL")), "0.1");
}

TEST(Values, TextBinaryAndFlags) {
  EXPECT_EQ(std::get<std::string>(store("'héllo'", "TEXT(5)")), "héllo");  // characters, not bytes
  std::string r = stateOf([] { store("'héllo!'", "TEXT(5)"); });
  EXPECT_EQ(r.substr(0, 5), "22001");
  EXPECT_NE(r.find("'c'"), std::string::npos) << r;
  EXPECT_EQ(std::get<std::string>(store("12.50", "TEXT(10)")), "12.50");
  // Doubled quotes anywhere in a literal, the empty literal included.
  EXPECT_EQ(std::get<std::string>(store("''''", "TEXT(5)")), "'");
  EXPECT_EQ(std::get<std::string>(store("'a''''b'", "TEXT(5)")), "a''b");
  EXPECT_EQ(std::get<std::string>(store("''", "TEXT(5)")), "");
  EXPECT_EQ(std::get<std::string>(store("'x'' --'", "TEXT(5)")), "x' --");
  // A NUL character is text like any other.
  const std::string withNul("nul\0after", 9);
  EXPECT_EQ(std::get<std::string>(store("'" + withNul + "'", "TEXT(9)")), withNul);
  EXPECT_EQ(std::get<std::string>(store("'" + withNul + "'", "MEMO")), withNul);
  // Lengths count UTF-16 units, as Access does: a character beyond U+FFFF takes two.
  const std::string clef = "\xF0\x9D\x84\x9E";
  EXPECT_EQ(std::get<std::string>(store("'" + clef + clef + "'", "TEXT(4)")), clef + clef);
  EXPECT_EQ(stateOf([&] { store("'" + clef + clef + clef + "'", "TEXT(5)"); }).substr(0, 5), "22001");
  EXPECT_EQ(std::get<jet::Bytes>(store("0x00ff1", "OLEObject")), (jet::Bytes{0x00, 0x0f, 0xf1}));
  EXPECT_EQ(std::get<jet::Bytes>(store("0x", "OLEObject")), jet::Bytes{});
  EXPECT_EQ(stateOf([] { store("0x010203", "BINARY(2)"); }).substr(0, 5), "22001");
  EXPECT_EQ(stateOf([] { store("0x01", "TEXT(5)"); }).substr(0, 5), "22018");
  EXPECT_EQ(std::get<bool>(store("1", "BIT")), true);
  EXPECT_EQ(std::get<bool>(store("-1", "BIT")), true);
  EXPECT_EQ(std::get<bool>(store("0", "BIT")), false);
  EXPECT_EQ(std::get<bool>(store("'yes'", "BIT")), true);
  auto g = std::get<jet::Guid>(store("'{00112233-4455-6677-8899-AABBCCDDEEFF}'", "GUID"));
  EXPECT_EQ(valueToText(g, columnOf("GUID")), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  EXPECT_EQ(stateOf([] { store("'{0011}'", "GUID"); }).substr(0, 5), "22018");
}

// A value written back into a connect string must read back as itself.
TEST(ConnectStrings, ValuesRoundTripThroughBraces) {
  EXPECT_EQ(connectValue("dsna"), "dsna");
  for (std::string value : {"", "a;b", "x}y", "k=v", "two words", "{x}", "/d/b.mdb"}) {
    auto pairs = parseConnectString("DBQ=" + connectValue(value) + ";DSN=z");
    ASSERT_EQ(pairs.size(), 2u) << value;
    EXPECT_EQ(pairs[0].second, value);
    EXPECT_EQ(pairs[1].second, "z");
  }
}

}  // namespace
}  // namespace tabulex::access

