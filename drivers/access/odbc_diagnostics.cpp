// Diagnostic records: reading them back, in the ODBC 3 and ODBC 2 ways.
#include <cstring>

#include "drivers/access/describe.h"
#include "drivers/access/odbc_api.h"

namespace tabulex::access {

SQLRETURN getDiagRec(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLCHAR* state,
                     SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT messageMax,
                     SQLSMALLINT* messageLength) {
  HandleBase* base = anyHandle(type, h);
  if (!base) return SQL_INVALID_HANDLE;
  if (record < 1) return SQL_ERROR;
  if (static_cast<size_t>(record) > base->diag.records.size()) return SQL_NO_DATA;
  const DiagRecord& r = base->diag.records[record - 1];
  if (state) {
    std::memcpy(state, r.state.c_str(), 5);
    state[5] = 0;
  }
  if (native) *native = r.native;
  bool whole = copyOut(r.message, message, messageMax, messageLength);
  return whole || !message ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

SQLRETURN getDiagField(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLSMALLINT field,
                       SQLPOINTER info, SQLSMALLINT infoMax, SQLSMALLINT* infoLength) {
  HandleBase* base = anyHandle(type, h);
  if (!base) return SQL_INVALID_HANDLE;
  const Diagnostics& d = base->diag;
  auto putInt = [&](SQLINTEGER v) {
    if (info) std::memcpy(info, &v, sizeof v);
    return SQL_SUCCESS;
  };
  auto putLen = [&](SQLLEN v) {
    if (info) std::memcpy(info, &v, sizeof v);
    return SQL_SUCCESS;
  };
  auto putText = [&](const std::string& v) -> SQLRETURN {
    bool whole = copyOut(v, static_cast<SQLCHAR*>(info), infoMax, infoLength);
    return whole || !info ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  };
  switch (field) {
    case SQL_DIAG_NUMBER: return putInt(static_cast<SQLINTEGER>(d.records.size()));
    case SQL_DIAG_RETURNCODE:
      if (info) *static_cast<SQLRETURN*>(info) = d.returnCode;
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
      Stmt* s = asStmt(h);
      if (!s) return SQL_ERROR;
      return putLen(s->rowCount);
    }
    case SQL_DIAG_DYNAMIC_FUNCTION: return putText("");
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE: return putInt(SQL_DIAG_UNKNOWN_STATEMENT);
    default: break;
  }
  if (record < 1) return SQL_ERROR;
  if (static_cast<size_t>(record) > d.records.size()) return SQL_NO_DATA;
  const DiagRecord& r = d.records[record - 1];
  switch (field) {
    case SQL_DIAG_SQLSTATE: return putText(r.state);
    case SQL_DIAG_NATIVE: return putInt(r.native);
    case SQL_DIAG_MESSAGE_TEXT: return putText(r.message);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return putText(r.state.rfind("IM", 0) == 0 || r.state[2] == 'S' ? "ODBC 3.0" : "ISO 9075");
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: {
      Dbc* dbc = asDbc(h);
      if (Stmt* s = asStmt(h)) dbc = s->dbc;
      return putText(dbc ? dbc->dsn : "");
    }
    case SQL_DIAG_COLUMN_NUMBER: return putInt(SQL_COLUMN_NUMBER_UNKNOWN);
    case SQL_DIAG_ROW_NUMBER: return putLen(SQL_ROW_NUMBER_UNKNOWN);
    default: return SQL_ERROR;
  }
}

SQLRETURN error(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state, SQLINTEGER* native,
                SQLCHAR* message, SQLSMALLINT messageMax, SQLSMALLINT* messageLength) {
  HandleBase* h = nullptr;
  if (stmt) h = asStmt(stmt);
  else if (dbc) h = asDbc(dbc);
  else if (env) h = asEnv(env);
  if (!h) return SQL_INVALID_HANDLE;
  Diagnostics& d = h->diag;
  if (d.errorCursor >= d.records.size()) {
    if (state) std::memcpy(state, "00000", 6);
    return SQL_NO_DATA;
  }
  const DiagRecord& r = d.records[d.errorCursor++];
  if (state) {
    std::memcpy(state, r.state.c_str(), 5);
    state[5] = 0;
  }
  if (native) *native = r.native;
  bool whole = copyOut(r.message, message, messageMax, messageLength);
  return whole || !message ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

// The answer of every entry point the driver exports but does not offer
// (odbc_stubs.cpp).
short reportUnsupported(void* handle, const char* function) {
  auto* base = static_cast<HandleBase*>(handle);
  if (!base) return SQL_INVALID_HANDLE;
  if (base->kind != HandleKind::Env && base->kind != HandleKind::Dbc &&
      base->kind != HandleKind::Stmt && base->kind != HandleKind::Desc)
    return SQL_INVALID_HANDLE;
  base->diag.clear();
  base->diag.add("IM001", std::string("The driver does not support ") + function +
                              "; use the ANSI entry points.");
  base->diag.returnCode = SQL_ERROR;
  return SQL_ERROR;
}

}  // namespace tabulex::access
