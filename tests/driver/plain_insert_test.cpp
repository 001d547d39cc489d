// Row inserts take a short way through the driver: read straight off the
// text, numbers and dates converted without the general machinery. Both
// must agree with the long way on everything they accept, and leave the
// rest (errors included) to it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "drivers/access/driver_error.h"
#include "drivers/access/sql_parser.h"
#include "drivers/access/values.h"

namespace tabulex::access {
namespace {

using jet::ColumnType;

// Reads `sql` both ways; the short way must take it exactly when `plain`.
void expectSameReading(const std::string& sql, bool plain) {
  Insert fast;
  std::string decoded;
  ASSERT_EQ(parsePlainInsert(sql, fast, decoded), plain) << sql;
  if (!plain) return;
  Statement st = parseStatement(sql);
  const Insert& general = std::get<Insert>(st);
  EXPECT_EQ(fast.table, general.table) << sql;
  ASSERT_EQ(fast.values.size(), general.values.size()) << sql;
  for (size_t i = 0; i < fast.values.size(); ++i) {
    const Literal &a = fast.values[i], &b = general.values[i];
    EXPECT_EQ(a.kind, b.kind) << sql << " value " << i;
    EXPECT_EQ(a.text, b.text) << sql << " value " << i;
    EXPECT_EQ(a.boolean, b.boolean) << sql << " value " << i;
    EXPECT_EQ(a.position, b.position) << sql << " value " << i;
  }
}

TEST(PlainInsert, ReadsAsTheGeneralParserDoes) {
  expectSameReading(
      "INSERT INTO bench values(7, 'customer 7 with a name', 7, 7.25, '8/8/2007 12:07:49', "
      "21, 'note ''7''', 1, 7.5, 'x7' )",
      true);
  expectSameReading(
      "insert into [my table] VALUES (-5, +6, -.5, 1e3, 1.5E-2, 0x0aFF, 0x, #1/2/2003#, "
      "null, TRUE, no, On, '', '''', 'a''''b');",
      true);
  expectSameReading("\n\tINSERT\tINTO \"t\" VALUE(1) ; \n", true);
  expectSameReading("INSERT INTO `t`VALUES('x')", true);
  expectSameReading("INSERT INTO $t\xc3\xa9 VALUES(1)", true);
  // Accepted, but the general parser's to read.
  expectSameReading("INSERT INTO t (a) VALUES (1)", false);
  expectSameReading("INSERT INTO t VALUES (- 1)", false);
  expectSameReading("INSERT INTO t VALUES (1) -- last row", false);
  expectSameReading("INSERT INTO \"a\"\"b\" VALUES (1)", false);
  expectSameReading("SELECT * FROM t", false);
}

TEST(PlainInsert, LeavesEveryErrorToTheGeneralParser) {
  for (const char* sql :
       {"INSERT INTO t VALUES ('open", "INSERT INTO t VALUES ('it''", "INSERT INTO t VALUES (1 2)",
        "INSERT INTO t VALUES (12abc)", "INSERT INTO t VALUES (-0x1)", "INSERT INTO t VALUES (0x1g)",
        "INSERT INTO t VALUES (maybe)", "INSERT INTO t VALUES (1))", "INSERT INTO \"\" VALUES (1)",
        "INSERT INTO t VALUES (1);;", "INSERT INTO t VALUES ()", "INSERT INTO t VALUES (1,)",
        "INSERT INTO 1t VALUES (1)", "INSERTINTO t VALUES (1)", "INSERT INTO t VALUES (#1/2/2003)",
        "INSERT INTO t VALUES ([a])", "INSERT INTO t VALUES (-)", "INSERT INTO t VALUES (1", "INSERT INTO t VALUES (2e)"}) {
    Insert fast;
    std::string decoded;
    EXPECT_FALSE(parsePlainInsert(sql, fast, decoded)) << sql;
    EXPECT_THROW(parseStatement(sql), DriverError) << sql;
  }
}

TEST(PlainInsert, BuffersServeTheNextStatement) {
  Insert fast;
  std::string decoded;
  std::string many = "INSERT INTO t VALUES (";
  for (int i = 0; i < 40; ++i) many += (i ? ", 'v''" : "'v''") + std::to_string(i) + "'";
  many += ")";
  ASSERT_TRUE(parsePlainInsert(many, fast, decoded));
  ASSERT_EQ(fast.values.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(fast.values[i].text, "v'" + std::to_string(i));
  ASSERT_TRUE(parsePlainInsert("INSERT INTO u VALUES ('it''s', 2)", fast, decoded));
  EXPECT_EQ(fast.table, "u");
  ASSERT_EQ(fast.values.size(), 2u);
  EXPECT_EQ(fast.values[0].text, "it's");
  EXPECT_EQ(fast.values[1].text, "2");
}

jet::ColumnSpec column(ColumnType type, uint8_t precision = 0, uint8_t scale = 0) {
  jet::ColumnSpec c;
  c.name = "c";
  c.type = type;
  c.length = 10;
  c.precision = precision;
  c.scale = scale;
  return c;
}

jet::Value store(const std::string& literalSql, const jet::ColumnSpec& c) {
  Insert ins;
  std::string decoded;
  std::string sql = "INSERT INTO t VALUES (" + literalSql + ")";
  if (!parsePlainInsert(sql, ins, decoded)) ins = std::get<Insert>(parseStatement(sql));
  return literalToValue(ins.values.at(0), c);
}

std::string failure(const std::string& literalSql, const jet::ColumnSpec& c) {
  try {
    store(literalSql, c);
  } catch (const DriverError& e) {
    return e.sqlstate() + " " + e.what();
  }
  return "no error";
}

TEST(PlainValues, DecimalsRoundAsStrtodDoes) {
  std::mt19937 random(7);
  std::vector<std::string> texts = {"0.1", "-123.456", "999999999999999", "1234567.891011",
                                    "0.000000000000001", ".5", "5.", "-0.0", "3.14159265358979",
                                    "0.30000000000000004", "123456789012345.6"};
  for (int i = 0; i < 3000; ++i) {
    std::string t = random() % 2 ? "-" : "";
    int digits = 1 + random() % 15, point = random() % (digits + 1);
    for (int k = 0; k < digits; ++k) {
      if (k == point) t += '.';
      t += static_cast<char>('0' + random() % 10);
    }
    texts.push_back(t);
  }
  for (const auto& t : texts) {
    double want = std::strtod(t.c_str(), nullptr);
    double got = std::get<double>(store(t, column(ColumnType::Double)));
    EXPECT_EQ(got, want) << t;
    EXPECT_EQ(std::signbit(got), std::signbit(want)) << t;
  }
}

TEST(PlainValues, WholeNumbersDatesAndTextKeepTheirChecks) {
  EXPECT_EQ(std::get<int64_t>(store("-2147483648", column(ColumnType::Long))), -2147483648LL);
  EXPECT_NE(failure("2147483648", column(ColumnType::Long)).find("22003"), std::string::npos);
  EXPECT_NE(failure("1234567890123456789", column(ColumnType::Long)).find("22003"),
            std::string::npos);
  EXPECT_EQ(std::get<bool>(store("0", column(ColumnType::Boolean))), false);
  EXPECT_EQ(std::get<bool>(store("-1", column(ColumnType::Boolean))), true);
  EXPECT_EQ(std::get<bool>(store("2", column(ColumnType::Boolean))), true);
  EXPECT_EQ(store("-42", column(ColumnType::Numeric, 19, 0)), jet::Value(jet::Numeric{true, 42, 0}));
  EXPECT_EQ(store("-999", column(ColumnType::Numeric, 5, 2)),
            jet::Value(jet::Numeric{true, 99900, 2}));
  EXPECT_NE(failure("1000", column(ColumnType::Numeric, 5, 2)).find("DECIMAL(5,2)"),
            std::string::npos);

  auto date = column(ColumnType::DateTime);
  EXPECT_EQ(store("'01/02/2020 1:02:03'", date), jet::Value(jet::toOleDate(2020, 2, 1, 1, 2, 3)));
  EXPECT_EQ(store("#3/7/2009 1:02#", date), jet::Value(jet::toOleDate(2009, 3, 7, 1, 2, 0)));
  EXPECT_EQ(store("'29/2/2024 23:59:59'", date),
            jet::Value(jet::toOleDate(2024, 2, 29, 23, 59, 59)));
  for (const char* impossible : {"'29/2/2023'", "'1/13/2020'", "'1/1/0099'", "'1/1/2020 24:00'",
                                 "'1/1/2020 1:60'", "'0/1/2020'"})
    EXPECT_NE(failure(impossible, date).find("Invalid date or time"), std::string::npos)
        << impossible;
  for (const char* malformed : {"'1/2/2020 1:2'", "'1/2/20201'", "'1/2/2020 123:00'"})
    EXPECT_NE(failure(malformed, date).find("Invalid date format"), std::string::npos)
        << malformed;

  // A value kept from an earlier row takes the new text whole.
  jet::Value kept = std::string("a text longer than any small-string buffer");
  Insert ins;
  std::string decoded;
  ASSERT_TRUE(parsePlainInsert("INSERT INTO t VALUES ('short', 12, NULL, 'eleven char')", ins,
                               decoded));
  assignLiteral(ins.values[0], column(ColumnType::Text), kept);
  EXPECT_EQ(kept, jet::Value(std::string("short")));
  assignLiteral(ins.values[1], column(ColumnType::Text), kept);
  EXPECT_EQ(kept, jet::Value(std::string("12")));
  assignLiteral(ins.values[2], column(ColumnType::Text), kept);
  EXPECT_TRUE(std::holds_alternative<jet::Null>(kept));
  EXPECT_THROW(assignLiteral(ins.values[3], column(ColumnType::Text), kept), DriverError);
}

}  // namespace
}  // namespace tabulex::access
