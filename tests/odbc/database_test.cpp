// The connection and result-set layer against the rig's MariaDB server,
// through MariaDB Connector/ODBC.
#include <gtest/gtest.h>

#include <memory>

#include "odbc/connect_string.h"
#include "odbc/data_source_registration.h"
#include "odbc/database.h"
#include "support/rig.h"

using namespace std::string_literals;
using tabulex::test::PrivateOdbcConfig;
using tabulex::test::rigEnvironment;
using tabulex::test::rigSql;

namespace {

constexpr const char* kDataSource = "layerdsn";

class DatabaseLayer : public testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!tabulex::test::rigAvailable()) return;
    odbc = new PrivateOdbcConfig();
    rigSql(
        "DROP DATABASE IF EXISTS tabulex_layer; CREATE DATABASE tabulex_layer;"
        "USE tabulex_layer;"
        "CREATE TABLE kinds (id INT PRIMARY KEY, v VARCHAR(5), t TEXT, b BLOB, d DATE, ts DATETIME,"
        "  n DECIMAL(10,2), big BIGINT, bt BIT(1), db DOUBLE, sm SMALLINT, ti TINYINT UNSIGNED);"
        "INSERT INTO kinds VALUES (1, 'ééééé', 'memo', x'00410042', '2024-02-29', '2024-02-29 13:14:15',"
        "  12.5, 9007199254740993, 1, 2.25, -3, 200),"
        "  (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
        "CREATE TABLE longs (id INT PRIMARY KEY, memo MEDIUMTEXT, blob_ LONGBLOB);"
        "INSERT INTO longs VALUES (1, CONCAT(REPEAT('0123456789abcdef', 20000), 'end'),"
        "  CONCAT(REPEAT(x'00FF', 100000), x'01'));"
        "CREATE TABLE empty (id INT);"
        "CREATE TABLE extremes (ti TINYINT, sm SMALLINT, i INT, bu BIGINT UNSIGNED, t TIME, d DOUBLE);"
        "INSERT INTO extremes VALUES (-128, -32768, -2147483648, 18446744073709551615, '-838:59:59',"
        "  -1.25e-300);");
    ASSERT_TRUE(AddMySqlDataSource("tabulex_layer", kDataSource, ""));
  }
  static void TearDownTestSuite() {
    delete odbc;
    odbc = nullptr;
  }
  void SetUp() override { TABULEX_REQUIRE_RIG(); }

  static std::string connect() {
    auto rig = rigEnvironment();
    return connectStringFor(kDataSource, rig->user, rig->password);
  }

  static PrivateOdbcConfig* odbc;
};
PrivateOdbcConfig* DatabaseLayer::odbc = nullptr;

std::vector<std::string> textRow(CRecordset& set) {
  std::vector<std::string> row;
  for (short i = 0; i < set.GetODBCFieldCount(); ++i) {
    std::string value;
    set.GetFieldValue(i, value);
    row.push_back(value);
  }
  return row;
}

TEST_F(DatabaseLayer, DescribesColumnsWithOdbc2CodesAndReadsText) {
  CDatabase database;
  ASSERT_TRUE(database.OpenEx(connect(), 0));
  EXPECT_EQ(database.m_strConnect.rfind("ODBC;", 0), 0u) << database.m_strConnect;
  CRecordset set(&database);
  ASSERT_TRUE(set.Open(CRecordset::kDefaultType, "SELECT * FROM kinds ORDER BY id", CRecordset::readOnly));
  ASSERT_EQ(set.GetODBCFieldCount(), 12);
  std::vector<SQLSMALLINT> types;
  for (short i = 0; i < 12; ++i) {
    CODBCFieldInfo info;
    set.GetODBCFieldInfo(i, info);
    types.push_back(info.m_nSQLType);
  }
  EXPECT_EQ(types, (std::vector<SQLSMALLINT>{4, 12, -1, -4, 9, 11, 3, -5, -7, 8, 5, -6}));

  ASSERT_FALSE(set.IsEOF());
  // A VARCHAR(5) of five two-byte characters arrives whole; binary and bit
  // values arrive as raw bytes, zero bytes included.
  EXPECT_EQ(textRow(set), (std::vector<std::string>{"1", "ééééé", "memo", "\0A\0B"s, "2024-02-29",
                                                     "2024-02-29 13:14:15", "12.50", "9007199254740993",
                                                     "\1", "2.25", "-3", "200"}));
  set.MoveNext();
  ASSERT_FALSE(set.IsEOF());
  EXPECT_EQ(textRow(set), (std::vector<std::string>{"2", "", "", "", "", "", "", "", "", "", "", ""}));
  set.MoveNext();
  EXPECT_TRUE(set.IsEOF());
  EXPECT_THROW(set.MoveNext(), CDBException);
}

// A number's column size counts digits only; the text read must still hold
// the sign, every digit and MySQL's long negative times.
TEST_F(DatabaseLayer, ExtremeNumbersAndTimesReadAsTextWhole) {
  CDatabase database;
  ASSERT_TRUE(database.OpenEx(connect(), 0));
  CRecordset set(&database);
  ASSERT_TRUE(set.Open(CRecordset::kDefaultType, "SELECT * FROM extremes", CRecordset::readOnly));
  ASSERT_FALSE(set.IsEOF());
  EXPECT_EQ(textRow(set), (std::vector<std::string>{"-128", "-32768", "-2147483648", "18446744073709551615",
                                                     "-838:59:59", "-1.25e-300"}));
}

TEST_F(DatabaseLayer, ReadsTypedValuesAndNulls) {
  CDatabase database;
  database.OpenEx(connect(), 0);
  CRecordset set(&database);
  set.Open(CRecordset::kDefaultType, "SELECT * FROM kinds ORDER BY id", CRecordset::readOnly);
  std::vector<CDBVariant> row(12);
  for (short i = 0; i < 12; ++i) set.GetFieldValue(i, row[static_cast<size_t>(i)]);

  ASSERT_EQ(row[0].m_dwType, CDBVariant::DBVT_LONG);
  EXPECT_EQ(row[0].m_lVal, 1);
  ASSERT_EQ(row[1].m_dwType, CDBVariant::DBVT_STRING);
  EXPECT_EQ(*row[1].m_pstring, "ééééé");
  ASSERT_EQ(row[3].m_dwType, CDBVariant::DBVT_BINARY);
  EXPECT_EQ(*row[3].m_pbinary, (std::vector<unsigned char>{0, 'A', 0, 'B'}));
  ASSERT_EQ(row[4].m_dwType, CDBVariant::DBVT_DATE);
  EXPECT_EQ(row[4].m_pdate->year, 2024);
  EXPECT_EQ(row[4].m_pdate->month, 2);
  EXPECT_EQ(row[4].m_pdate->day, 29);
  ASSERT_EQ(row[5].m_dwType, CDBVariant::DBVT_DATE);
  EXPECT_EQ(row[5].m_pdate->hour * 10000 + row[5].m_pdate->minute * 100 + row[5].m_pdate->second, 131415);
  ASSERT_EQ(row[6].m_dwType, CDBVariant::DBVT_STRING);
  EXPECT_EQ(*row[6].m_pstring, "12.50");
  ASSERT_EQ(row[7].m_dwType, CDBVariant::DBVT_STRING);
  EXPECT_EQ(*row[7].m_pstring, "9007199254740993");
  ASSERT_EQ(row[8].m_dwType, CDBVariant::DBVT_BOOL);
  EXPECT_TRUE(row[8].m_boolVal);
  ASSERT_EQ(row[9].m_dwType, CDBVariant::DBVT_DOUBLE);
  EXPECT_EQ(row[9].m_dblVal, 2.25);
  ASSERT_EQ(row[10].m_dwType, CDBVariant::DBVT_SHORT);
  EXPECT_EQ(row[10].m_iVal, -3);
  ASSERT_EQ(row[11].m_dwType, CDBVariant::DBVT_UCHAR);
  EXPECT_EQ(row[11].m_chVal, 200);

  CDBVariant copy = row[1];
  row[1].Clear();
  EXPECT_EQ(row[1].m_dwType, CDBVariant::DBVT_NULL);
  EXPECT_EQ(*copy.m_pstring, "ééééé");

  set.MoveNext();
  for (short i = 1; i < 12; ++i) {
    CDBVariant value;
    set.GetFieldValue(i, value);
    EXPECT_EQ(value.m_dwType, CDBVariant::DBVT_NULL) << "column " << i;
  }
}

TEST_F(DatabaseLayer, LongValuesArriveWhole) {
  const std::string memo = [] {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "0123456789abcdef";
    return text + "end";
  }();
  std::string blob;
  for (int i = 0; i < 100000; ++i) blob += "\x00\xff"s;
  blob += '\x01';

  CDatabase database;
  database.OpenEx(connect(), 0);
  CRecordset set(&database);
  set.Open(CRecordset::kDefaultType, "SELECT memo, blob_ FROM longs", CRecordset::readOnly);
  std::string text, bytes;
  set.GetFieldValue(0, text);
  set.GetFieldValue(1, bytes);
  EXPECT_EQ(text.size(), memo.size());
  EXPECT_TRUE(text == memo);
  EXPECT_EQ(bytes.size(), blob.size());
  EXPECT_TRUE(bytes == blob);

  set.Close();
  set.Open(CRecordset::kDefaultType, "SELECT memo, blob_ FROM longs", CRecordset::readOnly);
  CDBVariant typedMemo, typedBlob;
  set.GetFieldValue(0, typedMemo);
  set.GetFieldValue(1, typedBlob);
  ASSERT_EQ(typedMemo.m_dwType, CDBVariant::DBVT_STRING);
  EXPECT_TRUE(*typedMemo.m_pstring == memo);
  ASSERT_EQ(typedBlob.m_dwType, CDBVariant::DBVT_BINARY);
  EXPECT_EQ(typedBlob.m_pbinary->size(), blob.size());
  EXPECT_TRUE(std::equal(blob.begin(), blob.end(), typedBlob.m_pbinary->begin(),
                         [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; }));
}

TEST_F(DatabaseLayer, EmptyResultsAndStatementsThatReturnRows) {
  CDatabase database;
  database.OpenEx(connect(), 0);
  CRecordset set(&database);
  set.Open(CRecordset::kDefaultType, "SELECT * FROM empty", CRecordset::readOnly);
  EXPECT_TRUE(set.IsEOF());
  EXPECT_EQ(set.GetODBCFieldCount(), 1);
  EXPECT_THROW(set.MoveNext(), CDBException);
  set.Close();

  // The driver answers the query timeout with a value of its own; the
  // statement runs all the same and later ones are not given a timeout.
  EXPECT_NO_THROW(database.ExecuteSQL("SELECT * FROM kinds"));
  EXPECT_EQ(database.m_dwQueryTimeout, CDatabase::kQueryTimeoutNotSet);
  database.ExecuteSQL("CREATE TEMPORARY TABLE scratch (x VARCHAR(10))");
  database.ExecuteSQL("INSERT INTO scratch VALUES ('it''s')");
  set.Open(CRecordset::kDefaultType, "SELECT x FROM scratch", CRecordset::readOnly);
  EXPECT_EQ(textRow(set), std::vector<std::string>{"it's"});
}

TEST_F(DatabaseLayer, FailuresCarryTheDriversMessageWithoutOriginTags) {
  CDatabase database;
  database.OpenEx(connect(), 0);
  try {
    database.ExecuteSQL("SELECT * FROM no_such_table");
    FAIL() << "no exception";
  } catch (const CDBException& e) {
    EXPECT_EQ(e.m_nRetCode, SQL_ERROR);
    EXPECT_EQ(e.m_strError, "Table 'tabulex_layer.no_such_table' doesn't exist\n");
    // ODBC 2 behaviour: the driver reports ODBC 2 states.
    EXPECT_EQ(e.m_strStateNativeOrigin.rfind("State:S0002,Native:1146,Origin:[", 0), 0u) << e.m_strStateNativeOrigin;
  }
  CRecordset set(&database);
  EXPECT_THROW(set.Open(CRecordset::kDefaultType, "SELEC nonsense", CRecordset::readOnly), CDBException);
  // The connection survives a failed statement, and the result set can be opened again.
  set.Open(CRecordset::kDefaultType, "SELECT id FROM kinds ORDER BY id", CRecordset::readOnly);
  std::string value;
  try {
    set.GetFieldValue(1, value);
    FAIL() << "no exception";
  } catch (const CDBException& e) {
    EXPECT_EQ(e.m_nRetCode, CDBException::kFieldNotFound);
  }

  CDatabase refused;
  auto rig = rigEnvironment();
  try {
    refused.OpenEx(connectStringFor(kDataSource, rig->user, rig->password + "wrong"), 0);
    FAIL() << "no exception";
  } catch (const CDBException& e) {
    EXPECT_EQ(e.m_strError.rfind("Access denied for user", 0), 0u) << e.m_strError;
  }
  EXPECT_TRUE(refused.m_hdbc == SQL_NULL_HDBC);
  EXPECT_THROW(refused.ExecuteSQL("SELECT 1"), CDBException);
}

TEST_F(DatabaseLayer, ClosingAConnectionClosesItsResultSets) {
  CDatabase database;
  database.OpenEx(connect(), 0);
  auto set = std::make_unique<CRecordset>(&database);
  set->Open(CRecordset::kDefaultType, "SELECT id FROM kinds", CRecordset::readOnly);
  ASSERT_FALSE(set->IsEOF());
  database.Close();
  EXPECT_TRUE(database.m_hdbc == SQL_NULL_HDBC);
  EXPECT_TRUE(set->IsEOF());
  EXPECT_EQ(set->GetODBCFieldCount(), -1);
  EXPECT_TRUE(set->m_hstmt == SQL_NULL_HSTMT);
  EXPECT_THROW(set->Open(CRecordset::kDefaultType, "SELECT 1", CRecordset::readOnly), CDBException);
  set.reset();

  // A closed connection object opens again.
  ASSERT_TRUE(database.OpenEx(connect(), 0));
  CRecordset again(&database);
  again.Open(CRecordset::kDefaultType, "SELECT COUNT(*) FROM kinds", CRecordset::readOnly);
  EXPECT_EQ(textRow(again), std::vector<std::string>{"2"});
}

TEST_F(DatabaseLayer, ConnectionsShareTheEnvironmentAndAnyPassword) {
  auto rig = rigEnvironment();
  auto first = std::make_unique<CDatabase>();
  // Root's password holds '}' and ';', which only a braced, escaped value carries.
  ASSERT_TRUE(first->OpenEx(connectStringFor(kDataSource, "root", rig->rootPassword), 0));
  {
    CDatabase second;
    ASSERT_TRUE(second.OpenEx(connect(), 0));
    CRecordset a(first.get()), b(&second);
    a.Open(CRecordset::kDefaultType, "SELECT CURRENT_USER()", CRecordset::readOnly);
    b.Open(CRecordset::kDefaultType, "SELECT CURRENT_USER()", CRecordset::readOnly);
    EXPECT_EQ(textRow(a)[0].rfind("root@", 0), 0u);
    EXPECT_EQ(textRow(b)[0].rfind(rig->user + "@", 0), 0u);
  }
  // The environment outlives the second connection...
  CRecordset c(first.get());
  c.Open(CRecordset::kDefaultType, "SELECT 1", CRecordset::readOnly);
  EXPECT_EQ(textRow(c), std::vector<std::string>{"1"});
  c.Close();
  first.reset();
  // ...and is made afresh after the last one.
  CDatabase third;
  ASSERT_TRUE(third.OpenEx(connect(), 0));
  third.ExecuteSQL("SELECT 1");
}

}  // namespace
