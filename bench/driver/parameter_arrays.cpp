#include "parameter_arrays.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
  if (SQL_SUCCEEDED(rc)) return;
  SQLCHAR state[6] = {0}, message[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, h, 1, state, &native, message, sizeof message, &length);
  throw std::runtime_error(std::string(what) + ": " + reinterpret_cast<char*>(state) + " " +
                           reinterpret_cast<char*>(message));
}

// One text column of the array: fixed-size elements and their lengths.
struct TextColumn {
  TextColumn(long rows, long width) : width(width), data(rows * width), lengths(rows) {}
  void set(long row, const char* text) {
    int n = std::snprintf(&data[row * width], width, "%s", text);
    lengths[row] = n;
  }
  long width;
  std::vector<char> data;
  std::vector<SQLLEN> lengths;
};

}  // namespace

void insertWithParameterArrays(const std::string& connect, const std::string& table, long rows,
                               long setSize) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  try {
    check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS, nullptr, 0, nullptr,
                           SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    std::string sql = "INSERT INTO " + table + " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    check(SQLPrepare(st, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, st, "prepare");

    std::vector<SQLINTEGER> id(setSize), qty(setSize);
    std::vector<double> price(setSize);
    std::vector<SQL_TIMESTAMP_STRUCT> placed(setSize);
    std::vector<SQLBIGINT> ref(setSize);
    std::vector<unsigned char> flag(setSize);
    std::vector<float> ratio(setSize);
    TextColumn name(setSize, 50), note(setSize, 40), code(setSize, 10);
    SQLULEN processed = 0;
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)static_cast<SQLULEN>(setSize), 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, id.data(), 0, nullptr);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 50, 0, name.data.data(), 50,
                     name.lengths.data());
    SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, qty.data(), 0, nullptr);
    SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, price.data(), 0,
                     nullptr);
    SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0,
                     placed.data(), 0, nullptr);
    SQLBindParameter(st, 6, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, ref.data(), 0,
                     nullptr);
    SQLBindParameter(st, 7, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 40, 0, note.data.data(),
                     40, note.lengths.data());
    SQLBindParameter(st, 8, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 0, 0, flag.data(), 0, nullptr);
    SQLBindParameter(st, 9, SQL_PARAM_INPUT, SQL_C_FLOAT, SQL_REAL, 0, 0, ratio.data(), 0, nullptr);
    SQLBindParameter(st, 10, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, code.data.data(), 10,
                     code.lengths.data());

    char text[64];
    for (long from = 0; from < rows; from += setSize) {
      long count = std::min(setSize, rows - from);
      SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)static_cast<SQLULEN>(count), 0);
      for (long r = 0; r < count; ++r) {
        long i = from + r;
        id[r] = static_cast<SQLINTEGER>(i);
        std::snprintf(text, sizeof text, "customer %ld with a name", i);
        name.set(r, text);
        qty[r] = static_cast<SQLINTEGER>(i % 1000);
        price[r] = static_cast<double>(i) + 0.25;
        placed[r] = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(2000 + i % 100),
                                         static_cast<SQLUSMALLINT>(i % 12 + 1),
                                         static_cast<SQLUSMALLINT>(i % 28 + 1), 12,
                                         static_cast<SQLUSMALLINT>(i % 60),
                                         static_cast<SQLUSMALLINT>((i * 7) % 60), 0};
        ref[r] = i * 3;
        std::snprintf(text, sizeof text, "note '%ld'", i);
        note.set(r, text);
        flag[r] = 1;
        ratio[r] = static_cast<float>(i % 200) + 0.5f;
        std::snprintf(text, sizeof text, "x%ld", i % 97);
        code.set(r, text);
      }
      check(SQLExecute(st), SQL_HANDLE_STMT, st, "execute");
    }
  } catch (...) {
    if (st) SQLFreeHandle(SQL_HANDLE_STMT, st);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    throw;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}
