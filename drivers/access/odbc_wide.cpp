// Wide (UTF-16) text for the entry points that take or give text.
//
// They convert their text to UTF-8 and back and otherwise do what the ANSI
// ones do. The driver manager prefers the wide diagnostic functions whenever
// a driver has them, so those matter even for ANSI applications.
#include <algorithm>
#include <cstring>

#include "drivers/access/odbc_api.h"
#include "drivers/access/odbc_info.h"
#include "drivers/access/values.h"

namespace tabulex::access {
namespace {

std::string wideIn(const SQLWCHAR* text, SQLINTEGER length) {
  if (!text) return {};
  size_t n = 0;
  if (length == SQL_NTS) {
    while (text[n]) ++n;
  } else if (length > 0) {
    n = static_cast<size_t>(length);
  }
  return utf16ToUtf8(reinterpret_cast<const char16_t*>(text), n);
}

// Copies UTF-8 text into a wide buffer of `chars` characters; the length
// is in characters. False when it had to cut.
template <typename Length>
bool wideOut(const std::string& text, SQLWCHAR* buffer, SQLLEN chars, Length* length) {
  std::u16string w = utf8ToUtf16(text);
  if (length) *length = static_cast<Length>(w.size());
  if (!buffer || chars <= 0) return w.empty();
  size_t n = std::min(w.size(), static_cast<size_t>(chars - 1));
  std::memcpy(buffer, w.data(), n * sizeof(SQLWCHAR));
  buffer[n] = 0;
  return n == w.size();
}

// Holds UTF-8 text for an ANSI helper's SQLCHAR* argument.
struct Narrow {
  std::string text;
  bool null;
  Narrow(const SQLWCHAR* w, SQLINTEGER length) : text(wideIn(w, length)), null(!w) {}
  SQLCHAR* get() { return null ? nullptr : reinterpret_cast<SQLCHAR*>(text.data()); }
  SQLSMALLINT len() const { return null ? 0 : SQL_NTS; }
};

SQLRETURN withTruncation(HandleBase* h, SQLRETURN rc, bool whole) {
  if (SQL_SUCCEEDED(rc) && !whole) {
    h->diag.add("01004", "String data, right truncated.");
    rc = SQL_SUCCESS_WITH_INFO;
    h->diag.returnCode = rc;
  }
  return rc;
}

bool isTextField(SQLUSMALLINT field) {
  switch (field) {
    case SQL_DESC_NAME:
    case SQL_COLUMN_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
      return true;
    default:
      return false;
  }
}

bool isTextDiagField(SQLSMALLINT field) {
  switch (field) {
    case SQL_DIAG_SQLSTATE:
    case SQL_DIAG_MESSAGE_TEXT:
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
    case SQL_DIAG_DYNAMIC_FUNCTION:
      return true;
    default:
      return false;
  }
}

}  // namespace

SQLRETURN colAttributeWide(Stmt* s, SQLUSMALLINT number, SQLUSMALLINT field, SQLPOINTER text,
                           SQLSMALLINT textMaxBytes, SQLSMALLINT* textLengthBytes,
                           SQLLEN* numeric) {
  if (!isTextField(field)) return colAttribute(s, number, field, text, textMaxBytes, textLengthBytes, numeric);
  char buffer[1024];
  SQLSMALLINT n = 0;
  SQLRETURN rc = colAttribute(s, number, field, buffer, sizeof buffer, &n, numeric);
  if (!SQL_SUCCEEDED(rc)) return rc;
  SQLSMALLINT chars = 0;
  bool whole = wideOut(buffer, static_cast<SQLWCHAR*>(text), textMaxBytes / 2, &chars);
  if (textLengthBytes) *textLengthBytes = static_cast<SQLSMALLINT>(chars * 2);
  return withTruncation(s, rc, whole);
}

SQLRETURN getDiagRecWide(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record, SQLWCHAR* state,
                         SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT max,
                         SQLSMALLINT* length) {
  SQLCHAR narrowState[6] = {0};
  SQLCHAR buffer[4096];
  SQLRETURN rc = getDiagRec(type, h, record, narrowState, native, buffer, sizeof buffer, nullptr);
  if (!SQL_SUCCEEDED(rc)) return rc;
  if (state) wideOut(reinterpret_cast<char*>(narrowState), state, 6, static_cast<SQLSMALLINT*>(nullptr));
  bool whole = wideOut(reinterpret_cast<char*>(buffer), message, max, length);
  return whole || !message ? rc : SQL_SUCCESS_WITH_INFO;
}

SQLRETURN getDiagFieldWide(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT record,
                           SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT maxBytes,
                           SQLSMALLINT* lengthBytes) {
  if (!isTextDiagField(field)) return getDiagField(type, h, record, field, info, maxBytes, lengthBytes);
  char buffer[4096];
  SQLRETURN rc = getDiagField(type, h, record, field, buffer, sizeof buffer, nullptr);
  if (!SQL_SUCCEEDED(rc)) return rc;
  SQLSMALLINT chars = 0;
  bool whole = wideOut(buffer, static_cast<SQLWCHAR*>(info), maxBytes / 2, &chars);
  if (lengthBytes) *lengthBytes = static_cast<SQLSMALLINT>(chars * 2);
  return whole || !info ? rc : SQL_SUCCESS_WITH_INFO;
}

SQLRETURN errorWide(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* state,
                    SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT max,
                    SQLSMALLINT* length) {
  SQLCHAR narrowState[6] = {0};
  SQLCHAR buffer[4096];
  SQLRETURN rc = error(env, dbc, stmt, narrowState, native, buffer, sizeof buffer, nullptr);
  if (state) wideOut(reinterpret_cast<char*>(narrowState), state, 6, static_cast<SQLSMALLINT*>(nullptr));
  if (!SQL_SUCCEEDED(rc)) return rc;
  bool whole = wideOut(reinterpret_cast<char*>(buffer), message, max, length);
  return whole || !message ? rc : SQL_SUCCESS_WITH_INFO;
}

SQLRETURN connectWide(Dbc* d, SQLWCHAR* dsn, SQLSMALLINT dsnLength) {
  Narrow name(dsn, dsnLength);
  return connect(d, name.get(), name.len());
}

SQLRETURN driverConnectWide(Dbc* d, SQLWCHAR* in, SQLSMALLINT inLength, SQLWCHAR* out,
                            SQLSMALLINT outMax, SQLSMALLINT* outLength) {
  Narrow text(in, inLength);
  SQLCHAR buffer[4096];
  SQLRETURN rc = driverConnect(d, text.get(), text.len(), buffer, sizeof buffer, nullptr);
  if (!SQL_SUCCEEDED(rc)) return rc;
  bool whole = wideOut(reinterpret_cast<char*>(buffer), out, outMax, outLength);
  return withTruncation(d, rc, whole || !out);
}

SQLRETURN execDirectWide(Stmt* s, SQLWCHAR* text, SQLINTEGER length) {
  std::string sql = wideIn(text, length);
  return execDirect(s, sql);
}

SQLRETURN prepareWide(Stmt* s, SQLWCHAR* text, SQLINTEGER length) {
  return prepare(s, wideIn(text, length));
}

SQLRETURN nativeSqlWide(Dbc* d, SQLWCHAR* in, SQLINTEGER inLength, SQLWCHAR* out,
                        SQLINTEGER outMax, SQLINTEGER* outLength) {
  return guarded(d, [&] {
    bool whole = wideOut(wideIn(in, inLength), out, outMax, outLength);
    if (!whole && out) d->diag.add("01004", "String data, right truncated.");
    return SQL_SUCCESS;
  });
}

SQLRETURN describeColWide(Stmt* s, SQLUSMALLINT number, SQLWCHAR* name, SQLSMALLINT nameMax,
                          SQLSMALLINT* nameLength, SQLSMALLINT* type, SQLULEN* size,
                          SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  SQLCHAR buffer[1024];
  SQLRETURN rc = describeCol(s, number, buffer, sizeof buffer, nullptr, type, size, digits, nullable);
  if (!SQL_SUCCEEDED(rc)) return rc;
  bool whole = wideOut(reinterpret_cast<char*>(buffer), name, nameMax, nameLength);
  return withTruncation(s, rc, whole || !name);
}

SQLRETURN infoWide(Dbc* d, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT maxBytes,
                   SQLSMALLINT* lengthBytes) {
  char buffer[1024];
  SQLSMALLINT n = 0;
  bool isText = false;
  SQLRETURN rc = guarded(d, [&] { return getInfo(*d, type, buffer, sizeof buffer, &n, &isText); });
  if (!SQL_SUCCEEDED(rc)) return rc;
  if (!isText) {
    if (value) std::memcpy(value, buffer, static_cast<size_t>(n));
    if (lengthBytes) *lengthBytes = n;
    return rc;
  }
  SQLSMALLINT chars = 0;
  bool whole = wideOut(buffer, static_cast<SQLWCHAR*>(value), maxBytes / 2, &chars);
  if (lengthBytes) *lengthBytes = static_cast<SQLSMALLINT>(chars * 2);
  return withTruncation(d, rc, whole || !value);
}

SQLRETURN getConnectAttrWide(Dbc* d, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER maxBytes,
                             SQLINTEGER* length) {
  if (attr == SQL_ATTR_CURRENT_CATALOG) {
    d->diag.clear();
    SQLINTEGER chars = 0;
    wideOut("", static_cast<SQLWCHAR*>(value), maxBytes / 2, &chars);
    if (length) *length = 0;
    return SQL_SUCCESS;
  }
  return getConnectAttr(d, attr, value, maxBytes, length);
}

SQLRETURN getCursorNameWide(Stmt* s, SQLWCHAR* name, SQLSMALLINT max, SQLSMALLINT* length) {
  s->diag.clear();
  return withTruncation(s, SQL_SUCCESS, wideOut(cursorName(s), name, max, length) || !name);
}

SQLRETURN tablesWide(Stmt* s, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* schema,
                     SQLSMALLINT schemaLen, SQLWCHAR* table, SQLSMALLINT tableLen,
                     SQLWCHAR* type, SQLSMALLINT typeLen) {
  Narrow c(cat, catLen), sc(schema, schemaLen), t(table, tableLen), ty(type, typeLen);
  return tables(s, c.get(), c.len(), sc.get(), sc.len(), t.get(), t.len(), ty.get(), ty.len());
}

SQLRETURN columnsWide(Stmt* s, SQLWCHAR* table, SQLSMALLINT tableLen, SQLWCHAR* column,
                      SQLSMALLINT columnLen) {
  Narrow t(table, tableLen), c(column, columnLen);
  return columns(s, t.get(), t.len(), c.get(), c.len());
}

SQLRETURN primaryKeysWide(Stmt* s, SQLWCHAR* table, SQLSMALLINT tableLen) {
  Narrow t(table, tableLen);
  return primaryKeys(s, t.get(), t.len());
}

SQLRETURN statisticsWide(Stmt* s, SQLWCHAR* table, SQLSMALLINT tableLen) {
  Narrow t(table, tableLen);
  return statistics(s, t.get(), t.len());
}

}  // namespace tabulex::access
