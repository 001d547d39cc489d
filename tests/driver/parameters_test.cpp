// ? markers with bound parameters and parameter arrays, through the driver
// manager as ODBC programs use them. A value given as a parameter must be
// stored exactly as the same value written as a literal.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "jet/database.h"

#include "support/access_odbc.h"
#include "support/readback.h"

namespace tabulex::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string dbq(const std::string& path) {
  return "DRIVER={" + std::string(kAccessDriver) + "};DBQ=" + path;
}

// One bound value: its C and SQL types, its bytes and its indicator.
struct Param {
  SQLSMALLINT cType;
  SQLSMALLINT sqlType;
  std::vector<char> data;
  SQLLEN indicator;
};

template <typename T>
Param fixed(SQLSMALLINT cType, SQLSMALLINT sqlType, T value) {
  Param p{cType, sqlType, std::vector<char>(sizeof value), 0};
  std::memcpy(p.data.data(), &value, sizeof value);
  return p;
}
Param text(const std::string& s, bool nts = false) {
  Param p{SQL_C_CHAR, SQL_VARCHAR, std::vector<char>(s.begin(), s.end()),
          nts ? SQL_NTS : static_cast<SQLLEN>(s.size())};
  p.data.push_back(0);
  return p;
}
Param wide(const std::u16string& s) {
  Param p{SQL_C_WCHAR, SQL_WVARCHAR, std::vector<char>((s.size() + 1) * 2), SQL_NTS};
  std::memcpy(p.data.data(), s.c_str(), p.data.size());
  return p;
}
Param binary(const std::vector<unsigned char>& b) {
  Param p{SQL_C_BINARY, SQL_VARBINARY, std::vector<char>(b.begin(), b.end()),
          static_cast<SQLLEN>(b.size())};
  p.data.push_back(0);  // never an empty buffer, whose address would be null
  return p;
}
Param null(SQLSMALLINT cType, SQLSMALLINT sqlType) { return {cType, sqlType, {0}, SQL_NULL_DATA}; }
SQL_TIMESTAMP_STRUCT stamp(int y, int mo, int d, int h, int mi, int s) {
  SQL_TIMESTAMP_STRUCT t{};
  t.year = static_cast<SQLSMALLINT>(y);
  t.month = static_cast<SQLUSMALLINT>(mo);
  t.day = static_cast<SQLUSMALLINT>(d);
  t.hour = static_cast<SQLUSMALLINT>(h);
  t.minute = static_cast<SQLUSMALLINT>(mi);
  t.second = static_cast<SQLUSMALLINT>(s);
  return t;
}
SQL_NUMERIC_STRUCT numeric(unsigned long long magnitude, int scale, bool negative) {
  SQL_NUMERIC_STRUCT n{};
  n.precision = 20;
  n.scale = static_cast<SQLSCHAR>(scale);
  n.sign = negative ? 0 : 1;
  for (int i = 0; i < 8; ++i) n.val[i] = static_cast<SQLCHAR>(magnitude >> (8 * i));
  return n;
}

class Statement {
 public:
  explicit Statement(Connection& c) { SQLAllocHandle(SQL_HANDLE_STMT, c.dbc(), &h_); }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, h_); }
  SQLHSTMT h() const { return h_; }
  Outcome check(SQLRETURN rc) { return diagnose(SQL_HANDLE_STMT, h_, rc); }

 private:
  SQLHSTMT h_ = SQL_NULL_HSTMT;
};

// Binds one set of values and runs the prepared statement.
Outcome executeWith(Statement& st, std::vector<Param>& row) {
  for (size_t k = 0; k < row.size(); ++k) {
    Param& p = row[k];
    SQLRETURN rc = SQLBindParameter(st.h(), static_cast<SQLUSMALLINT>(k + 1), SQL_PARAM_INPUT,
                                    p.cType, p.sqlType, 0, 0, p.data.data(),
                                    static_cast<SQLLEN>(p.data.size()), &p.indicator);
    if (!SQL_SUCCEEDED(rc)) return st.check(rc);
  }
  return st.check(SQLExecute(st.h()));
}

constexpr const char* kColumns =
    "(id LONG PRIMARY KEY, b BYTE, i SMALLINT, l INTEGER, big DECIMAL(20,0), d DOUBLE, "
    "f REAL, m MONEY, n DECIMAL(12,3), t VARCHAR(60), memo MEMO, bin VARBINARY(20), "
    "ole LONGBINARY, dt DATETIME, yes BIT)";

TEST(Parameters, StoreWhatTheSameLiteralsStore) {
  std::string file = freshDatabase("exact");
  {
    Connection c(dbq(file));
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_TRUE(c.exec(std::string("CREATE TABLE lit ") + kColumns).ok());
    ASSERT_TRUE(c.exec(std::string("CREATE TABLE par ") + kColumns).ok());
    const char* literals[] = {
        "(1, 255, -32768, 2147483647, 18446744073709551615, 0.1, 0.10000000149011612, "
        "922337203685477.5807, -123456789.125, 'it''s', 'line1\nline2', 0x00FF10, 0x, "
        "'2009-03-07 14:05:09', TRUE)",
        "(2, 0, 32767, -2147483648, -9223372036854775808, 1e300, -3.4028234663852886e38, "
        "-0.5, 0.001, 'caf\xc3\xa9 \xe2\x82\xac', '', 0x7F, 0x0102, '0100-01-01', FALSE)",
        "(3, NULL, NULL, NULL, NULL, -2.5e-300, 5e-324, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
        "FALSE)",
        "(4, 7, 7, 7, 7, 7, 7, 7, 7, '7', '7', NULL, NULL, '1999-12-31', 1)",
    };
    for (const char* values : literals) {
      Outcome o = c.exec(std::string("INSERT INTO lit VALUES ") + values);
      ASSERT_TRUE(o.ok()) << values << ": " << o.message;
    }
    Statement st(c);
    std::string insert = "INSERT INTO par VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    ASSERT_TRUE(st.check(SQLPrepare(st.h(), (SQLCHAR*)insert.c_str(), SQL_NTS)).ok());
    SQLSMALLINT count = 0;
    ASSERT_TRUE(st.check(SQLNumParams(st.h(), &count)).ok());
    EXPECT_EQ(count, 15);
    SQLSMALLINT type = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_TRUE(st.check(SQLDescribeParam(st.h(), 10, &type, &size, nullptr, &nullable)).ok());
    EXPECT_EQ(size, 60u);
    EXPECT_EQ(nullable, SQL_NULLABLE);

    std::vector<std::vector<Param>> rows = {
        {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 1),
         fixed<SQLCHAR>(SQL_C_UTINYINT, SQL_TINYINT, 255),
         fixed<SQLSMALLINT>(SQL_C_SSHORT, SQL_SMALLINT, -32768),
         fixed<SQLUINTEGER>(SQL_C_ULONG, SQL_INTEGER, 2147483647u),
         fixed<SQLUBIGINT>(SQL_C_UBIGINT, SQL_BIGINT, 18446744073709551615ull),
         fixed<double>(SQL_C_DOUBLE, SQL_DOUBLE, 0.1), fixed<float>(SQL_C_FLOAT, SQL_REAL, 0.1f),
         text("922337203685477.5807"),
         fixed(SQL_C_NUMERIC, SQL_NUMERIC, numeric(123456789125ull, 3, true)),
         text("it's", true), text("line1\nline2"), binary({0x00, 0xFF, 0x10}), binary({}),
         fixed(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, stamp(2009, 3, 7, 14, 5, 9)),
         fixed<unsigned char>(SQL_C_BIT, SQL_BIT, 1)},
        {fixed<SQLINTEGER>(SQL_C_LONG, SQL_INTEGER, 2),
         fixed<SQLSCHAR>(SQL_C_STINYINT, SQL_TINYINT, 0),
         fixed<SQLUSMALLINT>(SQL_C_USHORT, SQL_SMALLINT, 32767),
         fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, -2147483647 - 1),
         fixed<SQLBIGINT>(SQL_C_SBIGINT, SQL_BIGINT, INT64_MIN),
         fixed<double>(SQL_C_DOUBLE, SQL_DOUBLE, 1e300),
         fixed<float>(SQL_C_FLOAT, SQL_REAL, -3.4028234663852886e38f),
         fixed(SQL_C_NUMERIC, SQL_NUMERIC, numeric(5, 1, true)),
         fixed(SQL_C_NUMERIC, SQL_NUMERIC, numeric(1, 3, false)),
         wide(u"caf\u00e9 \u20ac"), wide(u""), binary({0x7F}), binary({1, 2}),
         fixed(SQL_C_TYPE_DATE, SQL_TYPE_DATE, SQL_DATE_STRUCT{100, 1, 1}),
         fixed<unsigned char>(SQL_C_BIT, SQL_BIT, 0)},
        {fixed<SQLSMALLINT>(SQL_C_SHORT, SQL_SMALLINT, 3), null(SQL_C_SLONG, SQL_INTEGER),
         null(SQL_C_CHAR, SQL_VARCHAR), null(SQL_C_DEFAULT, SQL_INTEGER),
         null(SQL_C_SBIGINT, SQL_BIGINT), fixed<double>(SQL_C_DOUBLE, SQL_DOUBLE, -2.5e-300),
         fixed<double>(SQL_C_DOUBLE, SQL_DOUBLE, 5e-324), null(SQL_C_DOUBLE, SQL_DOUBLE),
         null(SQL_C_NUMERIC, SQL_NUMERIC), null(SQL_C_WCHAR, SQL_WVARCHAR),
         null(SQL_C_CHAR, SQL_LONGVARCHAR), null(SQL_C_BINARY, SQL_VARBINARY),
         null(SQL_C_BINARY, SQL_LONGVARBINARY), null(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP),
         fixed<unsigned char>(SQL_C_BIT, SQL_BIT, 0)},
        // The same value in other C types: text for numbers and dates,
        // numbers for text.
        {text("4"), text("7"), fixed<double>(SQL_C_DOUBLE, SQL_DOUBLE, 7),
         fixed<SQLBIGINT>(SQL_C_SBIGINT, SQL_BIGINT, 7), text("7", true),
         fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 7), fixed<float>(SQL_C_FLOAT, SQL_REAL, 7),
         fixed<SQLSCHAR>(SQL_C_TINYINT, SQL_TINYINT, 7),
         fixed<SQLUSMALLINT>(SQL_C_USHORT, SQL_SMALLINT, 7),
         fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 7),
         fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 7), null(SQL_C_DEFAULT, SQL_VARBINARY),
         null(SQL_C_DEFAULT, SQL_LONGVARBINARY), text("1999-12-31"),
         fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 1)},
    };
    for (auto& row : rows) {
      Outcome o = executeWith(st, row);
      EXPECT_TRUE(o.ok()) << "row " << (&row - rows.data()) + 1 << ": " << o.message;
    }
  }
  json lit = readback::mdbReaderTable(file, "lit")["rows"];
  json par = readback::mdbReaderTable(file, "par")["rows"];
  ASSERT_EQ(lit.size(), 4u);
  ASSERT_EQ(par.size(), lit.size());
  for (size_t r = 0; r < lit.size(); ++r)
    for (size_t k = 0; k < lit[r].size(); ++k)
      EXPECT_EQ(par[r][k], lit[r][k]) << "row " << r + 1 << " column " << k + 1;
  EXPECT_TRUE(readback::jetcheckProblems(file).empty());
  EXPECT_EQ(readback::mdbCount(file, "par"), 4);
}

// The stored bits of one value: doubles and dates by their bytes, so that
// -0 and 0, or two dates a rounding apart, differ.
std::string storedBits(const jet::Value& value) {
  auto bytes = [](double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return std::to_string(bits);
  };
  if (auto* d = std::get_if<double>(&value)) return "double " + bytes(*d);
  if (auto* t = std::get_if<jet::DateTime>(&value)) return "date " + bytes(t->days);
  if (auto* n = std::get_if<jet::Numeric>(&value))
    return "numeric " + std::to_string(n->negative) + " " +
           std::to_string(static_cast<uint64_t>(n->magnitude >> 64)) + ":" +
           std::to_string(static_cast<uint64_t>(n->magnitude)) + " " + std::to_string(n->scale);
  if (auto* c = std::get_if<jet::Currency>(&value)) return "currency " + std::to_string(c->scaled);
  if (auto* x = std::get_if<std::string>(&value)) return "text " + *x;
  if (std::holds_alternative<jet::Null>(value)) return "null";
  return "other";
}

// Values whose literal the driver reads by its slower ways (fractions of a
// second, doubles of 16 and 17 digits, decimals beyond 64 bits, text beyond
// the first plane), bound as parameters, store the very bits the literals
// store; compared in the file itself, not through a reader's rounding.
TEST(Parameters, StoreTheBitsTheLiteralsStore) {
  std::string file = freshDatabase("bits");
  const char* columns = "(id LONG PRIMARY KEY, dt DATETIME, d DOUBLE, n DECIMAL(28,10), t VARCHAR(40))";
  {
    Connection c(dbq(file));
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_TRUE(c.exec(std::string("CREATE TABLE lit ") + columns).ok());
    ASSERT_TRUE(c.exec(std::string("CREATE TABLE par ") + columns).ok());
    const char* literals[] = {
        "(1, '2020-02-29 23:59:58.5', 0.30000000000000004, -123456789012345678.9012345678, "
        "'it''s \xf0\x9f\x98\x80')",
        "(2, '2021-06-01 12:30:15.123456', -0, 0.0000000001, '')",
        "(3, '0100-01-01 00:00:00.000000001', 1.7976931348623157e308, 999999999999999999.9999999999, "
        "' a ')",
        "(4, '9999-12-31 23:59:59.999', 5e-324, -0.5, 'e\xcc\x81')",
        "(5, '1899-12-29 12:00:00.75', 123456789.12345679, 1, NULL)",
        "(6, '1899-12-30 00:00:00.25', -2.2250738585072014e-308, 0, 'x')",
    };
    for (const char* values : literals) {
      Outcome o = c.exec(std::string("INSERT INTO lit VALUES ") + values);
      ASSERT_TRUE(o.ok()) << values << ": " << o.message;
    }
    auto at = [](SQL_TIMESTAMP_STRUCT t, SQLUINTEGER nanoseconds) {
      t.fraction = nanoseconds;
      return fixed(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, t);
    };
    auto number = [](double v) { return fixed<double>(SQL_C_DOUBLE, SQL_DOUBLE, v); };
    SQL_NUMERIC_STRUCT wide128 = numeric(0, 10, true);
    // 1234567890123456789012345678 does not fit 64 bits.
    unsigned __int128 magnitude = static_cast<unsigned __int128>(1234567890123456789ull) * 1000000000u + 12345678u;
    for (int i = 0; i < 16; ++i) wide128.val[i] = static_cast<SQLCHAR>(magnitude >> (8 * i));
    std::vector<std::vector<Param>> rows = {
        {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 1), at(stamp(2020, 2, 29, 23, 59, 58), 500000000),
         number(0.30000000000000004), fixed(SQL_C_NUMERIC, SQL_NUMERIC, wide128),
         wide(u"it's \U0001F600")},
        {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 2), at(stamp(2021, 6, 1, 12, 30, 15), 123456000),
         number(-0.0), fixed(SQL_C_NUMERIC, SQL_NUMERIC, numeric(1, 10, false)), text("")},
        {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 3), at(stamp(100, 1, 1, 0, 0, 0), 1),
         number(1.7976931348623157e308), text("999999999999999999.9999999999"), text(" a ")},
        {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 4), at(stamp(9999, 12, 31, 23, 59, 59), 999000000),
         number(5e-324), fixed<double>(SQL_C_DOUBLE, SQL_DOUBLE, -0.5), text("e\xcc\x81", true)},
        {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 5), at(stamp(1899, 12, 29, 12, 0, 0), 750000000),
         number(123456789.123456789), fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 1),
         null(SQL_C_WCHAR, SQL_WVARCHAR)},
        {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 6), at(stamp(1899, 12, 30, 0, 0, 0), 250000000),
         number(-2.2250738585072014e-308), fixed(SQL_C_NUMERIC, SQL_NUMERIC, numeric(0, 3, true)),
         text("x")},
    };
    Statement st(c);
    std::string insert = "INSERT INTO par VALUES (?, ?, ?, ?, ?)";
    ASSERT_TRUE(st.check(SQLPrepare(st.h(), (SQLCHAR*)insert.c_str(), SQL_NTS)).ok());
    for (auto& row : rows) {
      Outcome o = executeWith(st, row);
      EXPECT_EQ(o.rc, SQL_SUCCESS) << "row " << (&row - rows.data()) + 1 << ": " << o.state << " " << o.message;
    }
    // Past the last nanosecond of a second is no timestamp.
    std::vector<Param> overflow = {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 7),
                                   at(stamp(2020, 1, 1, 0, 0, 0), 1000000000), number(0), null(SQL_C_CHAR, SQL_VARCHAR),
                                   null(SQL_C_CHAR, SQL_VARCHAR)};
    EXPECT_EQ(executeWith(st, overflow).state, "22008");
  }
  // The driver keeps the file open a moment longer: its copy is read.
  const std::string copy = file + ".copy.mdb";
  fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
  auto db = jet::Database::open(copy, false);
  auto stored = [&](const std::string& table) {
    std::vector<std::vector<std::string>> rows;
    db->scanRows(table, [&](const std::vector<jet::Value>& row) {
      rows.emplace_back();
      for (const jet::Value& value : row) rows.back().push_back(storedBits(value));
      return true;
    });
    return rows;
  };
  std::vector<std::vector<std::string>> lit = stored("lit"), par = stored("par");
  ASSERT_EQ(lit.size(), 6u);
  ASSERT_EQ(par.size(), lit.size());
  for (size_t r = 0; r < lit.size(); ++r)
    for (size_t k = 0; k < lit[r].size(); ++k)
      EXPECT_EQ(par[r][k], lit[r][k]) << "row " << r + 1 << " column " << k + 1;
  // The fraction is in the stored value, not rounded away on both sides.
  EXPECT_EQ(par[0][1], storedBits(jet::toOleDate(2020, 2, 29, 23, 59, 58.5)));
  EXPECT_TRUE(readback::jetcheckProblems(file).empty());
}

// Date and time structures whose fields lie outside their ranges become
// the same text a literal would spell, and are refused as that literal is.
TEST(Parameters, DatesOutsideTheirFieldsAreRefusedAsTheirTextIs) {
  std::string file = freshDatabase("odd-dates");
  Connection c(dbq(file));
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  ASSERT_TRUE(c.exec("CREATE TABLE t (id LONG PRIMARY KEY, dt DATETIME)").ok());
  Statement st(c);
  ASSERT_TRUE(st.check(SQLPrepare(st.h(), (SQLCHAR*)"INSERT INTO t VALUES (?, ?)", SQL_NTS)).ok());
  struct Case {
    SQL_TIMESTAMP_STRUCT value;
    const char* literal;
  };
  SQL_TIMESTAMP_STRUCT negative = stamp(2020, 1, 1, 0, 0, 0);
  negative.year = -5;
  const Case cases[] = {
      {stamp(12345, 1, 1, 0, 0, 0), "'12345-01-01 00:00:00'"},
      {negative, "'-005-01-01 00:00:00'"},
      {stamp(2020, 13, 1, 0, 0, 0), "'2020-13-01 00:00:00'"},
      {stamp(2020, 2, 30, 0, 0, 0), "'2020-02-30 00:00:00'"},
      {stamp(2020, 1, 1, 24, 0, 0), "'2020-01-01 24:00:00'"},
      {stamp(2020, 1, 1, 100, 0, 0), "'2020-01-01 100:00:00'"},
      {stamp(2020, 1, 1, 23, 59, 59), "'2020-01-01 23:59:59'"},
  };
  int id = 0;
  for (const Case& one : cases) {
    SCOPED_TRACE(one.literal);
    Outcome literal = c.exec("INSERT INTO t VALUES (" + std::to_string(++id) + ", " + one.literal + ")");
    std::vector<Param> row = {fixed<SQLINTEGER>(SQL_C_SLONG, SQL_INTEGER, 100 + id),
                              fixed(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, one.value)};
    Outcome parameter = executeWith(st, row);
    EXPECT_EQ(parameter.ok(), literal.ok()) << parameter.message << " / " << literal.message;
    EXPECT_EQ(parameter.state, literal.state);
  }
}

TEST(Parameters, ArraysStoreEachSetAndStopAtAFailingOne) {
  std::string file = freshDatabase("arrays");
  std::string longText(100000, 'x');
  longText += "\xc3\xa9nd";
  std::vector<unsigned char> longBytes(70000);
  for (size_t i = 0; i < longBytes.size(); ++i) longBytes[i] = static_cast<unsigned char>(i * 7);
  {
    Connection c(dbq(file));
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_TRUE(c.exec("CREATE TABLE t (id LONG PRIMARY KEY, name VARCHAR(10), note MEMO)").ok());
    Statement st(c);
    ASSERT_TRUE(st.check(SQLPrepare(st.h(), (SQLCHAR*)"INSERT INTO t VALUES (?, ?, 'fixed')",
                                    SQL_NTS)).ok());
    // Column-wise: the third set repeats a key.
    SQLINTEGER ids[5] = {1, 2, 2, 4, 5};
    char names[5][10] = {"one", "two", "dup", "four", "five"};
    SQLLEN nameInd[5] = {SQL_NTS, 3, SQL_NTS, SQL_NULL_DATA, SQL_NTS};
    SQLUSMALLINT status[5];
    SQLULEN processed = 99;
    SQLSetStmtAttr(st.h(), SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)5, 0);
    SQLSetStmtAttr(st.h(), SQL_ATTR_PARAM_STATUS_PTR, status, 0);
    SQLSetStmtAttr(st.h(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    SQLBindParameter(st.h(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
    SQLBindParameter(st.h(), 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, names, 10,
                     nameInd);
    Outcome o = st.check(SQLExecute(st.h()));
    EXPECT_EQ(o.rc, SQL_ERROR);
    EXPECT_EQ(o.state, "23000");
    EXPECT_NE(o.message.find("parameter set 3"), std::string::npos) << o.message;
    EXPECT_EQ(processed, 3u);
    EXPECT_EQ(status[0], SQL_PARAM_SUCCESS);
    EXPECT_EQ(status[1], SQL_PARAM_SUCCESS);
    EXPECT_EQ(status[2], SQL_PARAM_ERROR);
    EXPECT_EQ(status[3], SQL_PARAM_UNUSED);
    EXPECT_EQ(status[4], SQL_PARAM_UNUSED);
    EXPECT_EQ(c.count("t"), 2);

    // The rest again, the failing set corrected; the fourth has no name.
    ids[2] = 3;
    o = st.check(SQLExecute(st.h()));
    EXPECT_EQ(o.rc, SQL_ERROR);  // sets 1 and 2 are there already
    ids[0] = 10, ids[1] = 20;
    o = st.check(SQLExecute(st.h()));
    EXPECT_TRUE(o.ok()) << o.message;
    EXPECT_EQ(processed, 5u);
    for (SQLUSMALLINT s : status) EXPECT_EQ(s, SQL_PARAM_SUCCESS);

    // Row-wise, with long text and binary in another table.
    ASSERT_TRUE(c.exec("CREATE TABLE big (id SMALLINT, body MEMO, data LONGBINARY)").ok());
    struct Set {
      SQLSMALLINT id;
      SQLLEN idInd;
      char body[16];
      SQLLEN bodyInd;
    };
    Statement rw(c);
    ASSERT_TRUE(rw.check(SQLPrepare(rw.h(), (SQLCHAR*)"INSERT INTO big (body, id) VALUES (?, ?)",
                                    SQL_NTS)).ok());
    Set sets[3] = {{1, 0, "first", SQL_NTS}, {2, 0, "secondXX", 6},
                   {0, SQL_NULL_DATA, "", SQL_NULL_DATA}};
    SQLSetStmtAttr(rw.h(), SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)sizeof(Set), 0);
    SQLSetStmtAttr(rw.h(), SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0);
    SQLBindParameter(rw.h(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0,
                     sets[0].body, sizeof sets[0].body, &sets[0].bodyInd);
    SQLBindParameter(rw.h(), 2, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &sets[0].id,
                     0, &sets[0].idInd);
    o = rw.check(SQLExecute(rw.h()));
    EXPECT_TRUE(o.ok()) << o.message;

    Statement lng(c);
    ASSERT_TRUE(lng.check(SQLPrepare(lng.h(), (SQLCHAR*)"INSERT INTO big VALUES (9, ?, ?)",
                                     SQL_NTS)).ok());
    std::vector<Param> row = {text(longText), binary(longBytes)};
    o = executeWith(lng, row);
    EXPECT_TRUE(o.ok()) << o.message;
    // Data at execution, in pieces, as pyodbc sends long values.
    SQLLEN later = SQL_LEN_DATA_AT_EXEC(0);
    SQLINTEGER token = 7;
    Statement dae(c);
    ASSERT_TRUE(dae.check(SQLPrepare(dae.h(), (SQLCHAR*)"INSERT INTO big VALUES (10, ?, ?)",
                                     SQL_NTS)).ok());
    SQLBindParameter(dae.h(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, &token, 0,
                     &later);
    SQLBindParameter(dae.h(), 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0,
                     &token, 0, &later);
    ASSERT_EQ(SQLExecute(dae.h()), SQL_NEED_DATA);
    SQLPOINTER asked = nullptr;
    ASSERT_EQ(SQLParamData(dae.h(), &asked), SQL_NEED_DATA);
    EXPECT_EQ(asked, &token);
    EXPECT_TRUE(dae.check(SQLPutData(dae.h(), (SQLPOINTER) "first half, ", SQL_NTS)).ok());
    EXPECT_TRUE(dae.check(SQLPutData(dae.h(), (SQLPOINTER) "second half", 11)).ok());
    ASSERT_EQ(SQLParamData(dae.h(), &asked), SQL_NEED_DATA);
    EXPECT_TRUE(dae.check(SQLPutData(dae.h(), nullptr, SQL_NULL_DATA)).ok());
    o = dae.check(SQLParamData(dae.h(), &asked));
    EXPECT_TRUE(o.ok()) << o.message;

    // Unbound markers are refused.
    SQLFreeStmt(lng.h(), SQL_RESET_PARAMS);
    o = lng.check(SQLExecute(lng.h()));
    EXPECT_EQ(o.state, "07002");
  }
  std::string hex;
  for (unsigned char b : longBytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  readback::ExpectedTable t{"t",
                            {"id", "name", "note"},
                            {json::array({1, "one", "fixed"}), json::array({2, "two", "fixed"}),
                             json::array({3, "dup", "fixed"}), json::array({4, nullptr, "fixed"}),
                             json::array({5, "five", "fixed"}), json::array({10, "one", "fixed"}),
                             json::array({20, "two", "fixed"})},
                            true};
  readback::ExpectedTable big{"big",
                              {"id", "body", "data"},
                              {json::array({1, "first", nullptr}), json::array({2, "second", nullptr}),
                               json::array({nullptr, nullptr, nullptr}),
                               json::array({9, longText, hex}),
                               json::array({10, "first half, second half", nullptr})},
                              true};
  EXPECT_TRUE(readback::fileMatches(file, {t, big}));
}

}  // namespace
}  // namespace tabulex::test
