// Running statements: direct, prepared, and what is left of them afterwards.
#include <cstdio>

#include "drivers/access/describe.h"
#include "drivers/access/odbc_api.h"

namespace tabulex::access {

// The file of a connection; gone only when the process is exiting.
jet::Database& openDb(SharedDatabase& shared) {
  if (!shared.db) throw DriverError("08003", "The connection's database has been closed.");
  return *shared.db;
}

Dbc& connectedDbc(Stmt* s) {
  if (!s->dbc->connected()) throw DriverError("08003", "The connection is not open.");
  return *s->dbc;
}

namespace {

SQLRETURN runStatement(Stmt* s, std::string_view sql) {
  closeCursor(s);
  s->rowCount = -1;
  Dbc& d = connectedDbc(s);
  // Row inserts, nearly all a conversion sends, skip the statement tree and
  // reuse the file's buffers.
  {
    SharedDatabase& shared = *d.database;
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (parsePlainInsert(sql, shared.plainInsert, shared.decodedText)) {
      if (d.accessMode == SQL_MODE_READ_ONLY)
        throw DriverError("HY000", "The connection is read-only.");
      executeInsert(openDb(shared), shared.specs, shared.plainInsert, shared.insertRow);
      s->rowCount = 1;
      // Kept room is for the next row; a huge one leaves none of it behind.
      if (sql.size() > (size_t{1} << 16)) {
        shared.decodedText = std::string();
        shared.insertRow = std::vector<jet::Value>();
      }
      return SQL_SUCCESS;
    }
  }
  Statement st = parseStatement(sql);
  if (d.accessMode == SQL_MODE_READ_ONLY && !std::holds_alternative<Select>(st))
    throw DriverError("HY000", "The connection is read-only.");
  if (auto* insert = std::get_if<Insert>(&st); insert && parameterCount(*insert) > 0)
    return insertWithParameters(s, *insert, sql);
  SharedDatabase& shared = *d.database;
  std::lock_guard<std::mutex> lock(shared.mutex);
  ExecResult r = execute(openDb(shared), shared.specs, st);
  s->rowCount = r.rowCount;
  if (r.rows) {
    if (s->maxRows > 0 && r.rows->rows.size() > s->maxRows) r.rows->rows.resize(s->maxRows);
    s->result = std::make_unique<ResultSet>(std::move(*r.rows));
    s->rowCount = static_cast<SQLLEN>(s->result->rows.size());
  }
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN execDirect(Stmt* s, std::string_view sql) {
  return guarded(s, [&] {
    s->isPrepared = false;
    return runStatement(s, sql);
  });
}

SQLRETURN prepare(Stmt* s, const std::string& sql) {
  return guarded(s, [&] {
    closeCursor(s);
    s->isPrepared = false;
    parseStatement(sql);  // syntax errors are reported here already
    s->prepared = sql;
    s->isPrepared = true;
    return SQL_SUCCESS;
  });
}

std::string cursorName(Stmt* s) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "SQL_CUR%p", static_cast<void*>(s));
  return buf;
}

SQLRETURN execute(Stmt* s) {
  return guarded(s, [&] {
    if (!s->isPrepared) throw DriverError("HY010", "Function sequence error: nothing prepared.");
    return runStatement(s, s->prepared);
  });
}

SQLRETURN rowCount(Stmt* s, SQLLEN* count) {
  s->diag.clear();
  if (count) *count = s->rowCount;
  return SQL_SUCCESS;
}

SQLRETURN cancel(Stmt* s) {
  s->diag.clear();
  // A statement waiting for data at execution gives it up.
  s->dataParameters.clear();
  s->dataIndex = -1;
  return SQL_SUCCESS;
}

SQLRETURN getCursorName(Stmt* s, SQLCHAR* name, SQLSMALLINT max, SQLSMALLINT* length) {
  return guarded(s, [&] {
    if (!copyOut(cursorName(s), name, max, length) && name)
      s->diag.add("01004", "String data, right truncated.");
    return SQL_SUCCESS;
  });
}

}  // namespace tabulex::access
