// Reading results back: bound rowsets and scrolling, conversions to C
// types, the catalogue functions, and the wide entry points that Unicode
// programs (and the driver manager's own diagnostics) use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "support/access_odbc.h"

namespace tabulex::test {
namespace {

class Results : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    base_ = AccessOdbcConfig::instance().path("results").string();
    ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + base_ + "\"", &error)) << error;
    Connection c(connectString());
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_TRUE(c.exec("CREATE TABLE items (id LONG, name TEXT(40), price MONEY, ratio DOUBLE, "
                       "big DECIMAL(20,2), flag BIT, g GUID, CONSTRAINT pk PRIMARY KEY (name, id))")
                    .ok());
    for (int i = 1; i <= 7; ++i) {
      Outcome o = c.exec("INSERT INTO items VALUES (" + std::to_string(i) + ", 'item " +
                         std::to_string(i) + "', " + std::to_string(i) + ".25, " +
                         std::to_string(i) + ".5, 123456789012345678.9" + std::to_string(i) +
                         ", " + std::to_string(i % 2) +
                         ", '{00112233-4455-6677-8899-AABBCCDDEEF" + std::to_string(i) + "}')");
      ASSERT_TRUE(o.ok()) << o.message;
    }
    ASSERT_TRUE(c.exec("CREATE TABLE [other one] (x INT)").ok());
  }
  static std::string connectString() {
    return "DRIVER={" + std::string(kAccessDriver) + "};DBQ=" + base_ + ".mdb";
  }

  void SetUp() override {
    connection_ = std::make_unique<Connection>(connectString());
    ASSERT_TRUE(connection_->connected());
    SQLAllocHandle(SQL_HANDLE_STMT, connection_->dbc(), &stmt_);
  }
  void TearDown() override { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }

  SQLRETURN run(const char* sql) { return SQLExecDirect(stmt_, (SQLCHAR*)sql, SQL_NTS); }
  Outcome diag(SQLRETURN rc) { return diagnose(SQL_HANDLE_STMT, stmt_, rc); }

  static std::string base_;
  std::unique_ptr<Connection> connection_;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};
std::string Results::base_;

TEST_F(Results, BoundRowsetsAndScrolling) {
  SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
  SQLINTEGER ids[3];
  SQLLEN idInd[3];
  char names[3][8];
  SQLLEN nameInd[3];
  SQLULEN fetched = 0;
  SQLUSMALLINT status[3];
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status, 0);
  SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, idInd);
  SQLBindCol(stmt_, 2, SQL_C_CHAR, names, sizeof names[0], nameInd);
  ASSERT_EQ(run("SELECT id, name FROM items ORDER BY id"), SQL_SUCCESS);

  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[2], 3);
  EXPECT_STREQ(names[1], "item 2");
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_LAST, 0), SQL_SUCCESS);
  EXPECT_EQ(ids[0], 5);
  EXPECT_EQ(ids[2], 7);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, 6), SQL_SUCCESS);
  EXPECT_EQ(fetched, 2u) << "a rowset cut short by the end";
  EXPECT_EQ(ids[0], 6);
  EXPECT_EQ(status[2], SQL_ROW_NOROW);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_PRIOR, 0), SQL_SUCCESS);
  EXPECT_EQ(ids[0], 3);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_RELATIVE, -2), SQL_SUCCESS);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_PRIOR, 0), SQL_NO_DATA);
  ASSERT_EQ(SQLFetchScroll(stmt_, SQL_FETCH_FIRST, 0), SQL_SUCCESS);
  EXPECT_EQ(ids[0], 1);
  SQLCloseCursor(stmt_);

  // Row-wise binding, one row at a time, with a name cut to its buffer.
  struct RowBuffer {
    SQLINTEGER id;
    SQLLEN idInd;
    char name[5];
    SQLLEN nameInd;
  } rows[2];
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(RowBuffer), 0);
  SQLBindCol(stmt_, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd);
  SQLBindCol(stmt_, 2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameInd);
  ASSERT_EQ(run("SELECT id, name FROM items ORDER BY id DESC"), SQL_SUCCESS);
  SQLRETURN rc = SQLFetch(stmt_);
  EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(diag(rc).state, "01004");
  EXPECT_EQ(rows[0].id, 7);
  EXPECT_EQ(rows[1].id, 6);
  EXPECT_STREQ(rows[1].name, "item");
  EXPECT_EQ(rows[1].nameInd, 6);
  SQLFreeStmt(stmt_, SQL_UNBIND);
  SQLCloseCursor(stmt_);

  // A forward-only cursor refuses to scroll.
  SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_FORWARD_ONLY, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)SQL_BIND_BY_COLUMN, 0);
  ASSERT_EQ(run("SELECT id FROM items"), SQL_SUCCESS);
  rc = SQLFetchScroll(stmt_, SQL_FETCH_LAST, 0);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(diag(rc).state, "HY106");
}

// The driver hands out no descriptor handles. A program that asks for one
// gets none, and nothing of the refusal lingers on the fresh statement.
TEST_F(Results, NoDescriptorHandlesAndNoLeftoverDiagnostics) {
  SQLCHAR state[6] = {0}, text[256] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, state, &native, text, sizeof text, &length),
            SQL_NO_DATA)
      << state << " " << text;
  for (SQLINTEGER attr : {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC, SQL_ATTR_IMP_ROW_DESC,
                          SQL_ATTR_IMP_PARAM_DESC}) {
    SQLHDESC desc = reinterpret_cast<SQLHDESC>(1);
    SQLRETURN rc = SQLGetStmtAttr(stmt_, attr, &desc, sizeof desc, nullptr);
    EXPECT_TRUE(!SQL_SUCCEEDED(rc) || desc == SQL_NULL_HDESC) << attr;
  }
  // Bound columns and a fetch work all the same.
  ASSERT_EQ(run("SELECT id, name FROM items ORDER BY id"), SQL_SUCCESS) << diag(SQL_ERROR).message;
  SQLINTEGER id = 0;
  SQLCHAR name[41] = {0};
  SQLLEN idInd = 0, nameInd = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindCol(stmt_, 1, SQL_C_SLONG, &id, 0, &idInd)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindCol(stmt_, 2, SQL_C_CHAR, name, sizeof name, &nameInd)));
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  EXPECT_EQ(id, 1);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "item 1");
}

TEST_F(Results, ConversionsToCTypes) {
  ASSERT_EQ(run("SELECT price, ratio, big, flag, g, name FROM items ORDER BY id"), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  SQLLEN ind = 0;
  SQLINTEGER i32 = 0;
  // 1.25 as an integer: the fraction is dropped with a warning.
  SQLRETURN rc = SQLGetData(stmt_, 1, SQL_C_SLONG, &i32, 0, &ind);
  EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(diag(rc).state, "01S07");
  EXPECT_EQ(i32, 1);
  double d = 0;
  EXPECT_EQ(SQLGetData(stmt_, 2, SQL_C_DOUBLE, &d, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(d, 1.5);
  // A decimal too large for 32 bits; the failed read leaves the value to be
  // read again in another type.
  rc = SQLGetData(stmt_, 3, SQL_C_SLONG, &i32, 0, &ind);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(diag(rc).state, "22003");
  SQL_NUMERIC_STRUCT num{};
  EXPECT_EQ(SQLGetData(stmt_, 3, SQL_C_NUMERIC, &num, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(num.scale, 2);
  EXPECT_EQ(num.sign, 1);
  unsigned __int128 magnitude = 0;
  for (int k = SQL_MAX_NUMERIC_LEN - 1; k >= 0; --k) magnitude = magnitude * 256 + num.val[k];
  EXPECT_TRUE(magnitude == static_cast<unsigned __int128>(12345678901234567891ull));
  char text[64];
  unsigned char bit = 9;
  EXPECT_EQ(SQLGetData(stmt_, 4, SQL_C_BIT, &bit, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(bit, 1);
  SQLGUID guid{};
  EXPECT_EQ(SQLGetData(stmt_, 5, SQL_C_GUID, &guid, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(guid.Data1, 0x00112233u);
  EXPECT_EQ(guid.Data4[7], 0xF1);
  // Text that is no number, and a value read twice: the second read finds
  // nothing left.
  rc = SQLGetData(stmt_, 6, SQL_C_SLONG, &i32, 0, &ind);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  EXPECT_STREQ(text, "1.2500");
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, text, sizeof text, &ind), SQL_NO_DATA);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  EXPECT_EQ(SQLGetData(stmt_, 5, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  EXPECT_STREQ(text, "{00112233-4455-6677-8899-AABBCCDDEEF2}");
  EXPECT_EQ(SQLGetData(stmt_, 3, SQL_C_CHAR, text, sizeof text, &ind), SQL_SUCCESS);
  EXPECT_STREQ(text, "123456789012345678.92");
  // Column 0 (bookmarks) and past the last column.
  EXPECT_EQ(diag(SQLGetData(stmt_, 7, SQL_C_CHAR, text, sizeof text, &ind)).state, "07009");
  EXPECT_EQ(diag(SQLGetData(stmt_, 0, SQL_C_CHAR, text, sizeof text, &ind)).state, "07009");
}

TEST_F(Results, CatalogueFunctions) {
  auto names = [&](int column) {
    std::vector<std::string> out;
    char buf[256];
    SQLLEN ind;
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) {
      SQLGetData(stmt_, column, SQL_C_CHAR, buf, sizeof buf, &ind);
      out.push_back(ind == SQL_NULL_DATA ? "<null>" : buf);
    }
    SQLCloseCursor(stmt_);
    return out;
  };
  ASSERT_EQ(SQLTables(stmt_, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(names(3), (std::vector<std::string>{"items", "other one"}));
  ASSERT_EQ(SQLTables(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"ITE%", SQL_NTS,
                      (SQLCHAR*)"'TABLE','VIEW'", SQL_NTS),
            SQL_SUCCESS);
  EXPECT_EQ(names(3), (std::vector<std::string>{"items"}));
  ASSERT_EQ(SQLTables(stmt_, nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"SYSTEM TABLE",
                      SQL_NTS),
            SQL_SUCCESS);
  EXPECT_TRUE(names(3).empty()) << "system tables are not listed as user tables";

  ASSERT_EQ(SQLColumns(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"items", SQL_NTS, nullptr, 0),
            SQL_SUCCESS);
  EXPECT_EQ(names(4),
            (std::vector<std::string>{"id", "name", "price", "ratio", "big", "flag", "g"}));
  ASSERT_EQ(SQLColumns(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"items", SQL_NTS,
                       (SQLCHAR*)"name", SQL_NTS),
            SQL_SUCCESS);
  EXPECT_EQ(names(18), (std::vector<std::string>{"NO"})) << "a key column is required";

  ASSERT_EQ(SQLPrimaryKeys(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)"items", SQL_NTS),
            SQL_SUCCESS);
  EXPECT_EQ(names(4), (std::vector<std::string>{"name", "id"})) << "in key order";
  ASSERT_EQ(SQLGetTypeInfo(stmt_, SQL_ALL_TYPES), SQL_SUCCESS);
  auto types = names(1);
  EXPECT_NE(std::find(types.begin(), types.end(), "COUNTER"), types.end());
  EXPECT_NE(std::find(types.begin(), types.end(), "LONGCHAR"), types.end());
}

TEST_F(Results, WideEntryPoints) {
  SQLHENV env;
  SQLHDBC dbc;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string narrow = connectString();
  std::u16string in(narrow.begin(), narrow.end());
  SQLWCHAR out[512];
  SQLSMALLINT outLength = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, (SQLWCHAR*)in.c_str(), SQL_NTS, out,
                                              512, &outLength, SQL_DRIVER_NOPROMPT)));
  EXPECT_GT(outLength, 0);
  SQLHSTMT stmt;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  std::u16string create = u"CREATE TABLE [wide \u00e9t\u00e9] ([\u540d\u524d] TEXT(10))";
  ASSERT_EQ(SQLExecDirectW(stmt, (SQLWCHAR*)create.c_str(), SQL_NTS), SQL_SUCCESS);
  // An emoji is two UTF-16 units and one character of the ten.
  std::u16string insert = u"INSERT INTO [wide \u00e9t\u00e9] VALUES ('a\U0001F600\u00fc')";
  ASSERT_EQ(SQLExecDirectW(stmt, (SQLWCHAR*)insert.c_str(), SQL_NTS), SQL_SUCCESS);
  std::u16string select = u"SELECT * FROM [wide \u00e9t\u00e9]";
  ASSERT_EQ(SQLExecDirectW(stmt, (SQLWCHAR*)select.c_str(), SQL_NTS), SQL_SUCCESS);
  SQLWCHAR name[32];
  SQLSMALLINT nameLength, type, digits, nullable;
  SQLULEN size;
  ASSERT_EQ(SQLDescribeColW(stmt, 1, name, 32, &nameLength, &type, &size, &digits, &nullable),
            SQL_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(name), nameLength), u"\u540d\u524d");
  ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  SQLWCHAR value[16];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_WCHAR, value, sizeof value, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, 8) << "bytes of four UTF-16 units";
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(value)), u"a\U0001F600\u00fc");
  SQLCloseCursor(stmt);

  std::u16string bad = u"INSERT INTO nowhere VALUES (1)";
  ASSERT_EQ(SQLExecDirectW(stmt, (SQLWCHAR*)bad.c_str(), SQL_NTS), SQL_ERROR);
  SQLWCHAR state[6], message[256];
  SQLINTEGER native;
  SQLSMALLINT messageLength;
  ASSERT_EQ(SQLGetDiagRecW(SQL_HANDLE_STMT, stmt, 1, state, &native, message, 256, &messageLength),
            SQL_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(state)), u"42S02");
  std::u16string text(reinterpret_cast<char16_t*>(message), messageLength);
  EXPECT_NE(text.find(u"nowhere"), std::u16string::npos);

  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

}  // namespace
}  // namespace tabulex::test
