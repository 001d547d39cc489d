// Result sets: describing their columns, binding, fetching and reading
// values.
#include <algorithm>

#include "drivers/access/describe.h"
#include "drivers/access/odbc_api.h"

namespace tabulex::access {

void closeCursor(Stmt* s) {
  s->result.reset();
  s->position = -1;
  s->rowsetSize = 0;
  s->lastDataColumn = 0;
  s->dataOffset = 0;
}

void setResult(Stmt* s, ResultSet rs) {
  closeCursor(s);
  s->result = std::make_unique<ResultSet>(std::move(rs));
  s->rowCount = static_cast<SQLLEN>(s->result->rows.size());
}

namespace {

const ResultSet& openResult(Stmt* s) {
  if (!s->result) throw DriverError("24000", "Invalid cursor state: no result set is open.");
  return *s->result;
}

// Makes a prepared SELECT describable before it runs.
void describePrepared(Stmt* s) {
  if (s->result || !s->isPrepared) return;
  Statement st = parseStatement(s->prepared);
  if (auto* sel = std::get_if<Select>(&st)) {
    Dbc& d = connectedDbc(s);
    SharedDatabase& shared = *d.database;
    std::lock_guard<std::mutex> lock(shared.mutex);
    ResultSet rs = describeSelect(openDb(shared), shared.specs, *sel);
    s->result = std::make_unique<ResultSet>(std::move(rs));
    s->position = -1;
    s->rowCount = -1;
    s->isPrepared = true;
    // The rows arrive at SQLExecute; until then the cursor is not open.
    s->rowsetSize = -1;
  }
}

const ResultColumn& columnAt(Stmt* s, SQLUSMALLINT number) {
  const ResultSet& rs = openResult(s);
  if (number == 0) throw DriverError("07009", "Invalid descriptor index: bookmarks are not offered.");
  if (number > rs.columns.size())
    throw DriverError("07009", "Invalid descriptor index " + std::to_string(number) + ".");
  return rs.columns[number - 1];
}

}  // namespace

SQLRETURN numResultCols(Stmt* s, SQLSMALLINT* count) {
  return guarded(s, [&] {
    describePrepared(s);
    if (count) *count = s->result ? static_cast<SQLSMALLINT>(s->result->columns.size()) : 0;
    return SQL_SUCCESS;
  });
}

SQLRETURN describeCol(Stmt* s, SQLUSMALLINT number, SQLCHAR* name, SQLSMALLINT nameMax,
                      SQLSMALLINT* nameLength, SQLSMALLINT* type, SQLULEN* size,
                      SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return guarded(s, [&] {
    describePrepared(s);
    const ResultColumn& c = columnAt(s, number);
    ColumnInfo info = describeColumn(c.spec);
    if (!copyOut(c.name, name, nameMax, nameLength) && name)
      s->diag.add("01004", "String data, right truncated.");
    if (type) *type = typeForVersion(info.sqlType, s->dbc->env->odbcVersion);
    if (size) *size = info.columnSize;
    if (digits) *digits = info.decimalDigits;
    if (nullable) *nullable = c.spec.required ? SQL_NO_NULLS : SQL_NULLABLE;
    return SQL_SUCCESS;
  });
}

SQLRETURN colAttribute(Stmt* s, SQLUSMALLINT number, SQLUSMALLINT field, SQLPOINTER text,
                       SQLSMALLINT textMax, SQLSMALLINT* textLength, SQLLEN* numeric) {
  return guarded(s, [&] {
    describePrepared(s);
    if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
      if (numeric) *numeric = s->result ? static_cast<SQLLEN>(s->result->columns.size()) : 0;
      return SQL_SUCCESS;
    }
    const ResultColumn& c = columnAt(s, number);
    ColumnInfo info = describeColumn(c.spec);
    SQLINTEGER version = s->dbc->env->odbcVersion;
    std::string str;
    bool isString = true;
    SQLLEN n = 0;
    switch (field) {
      case SQL_DESC_NAME:
      case SQL_COLUMN_NAME:
      case SQL_DESC_LABEL:
      case SQL_DESC_BASE_COLUMN_NAME: str = c.name; break;
      case SQL_DESC_TABLE_NAME:
      case SQL_DESC_BASE_TABLE_NAME: str = c.table; break;
      case SQL_DESC_SCHEMA_NAME:
      case SQL_DESC_CATALOG_NAME: str = ""; break;
      case SQL_DESC_TYPE_NAME:
      case SQL_DESC_LOCAL_TYPE_NAME: str = info.typeName; break;
      case SQL_DESC_LITERAL_PREFIX:
      case SQL_DESC_LITERAL_SUFFIX:
        if (c.spec.type == jet::ColumnType::Text || c.spec.type == jet::ColumnType::Memo)
          str = "'";
        else if (c.spec.type == jet::ColumnType::DateTime)
          str = "#";
        else if (field == SQL_DESC_LITERAL_PREFIX && (c.spec.type == jet::ColumnType::Binary ||
                                                      c.spec.type == jet::ColumnType::OLE))
          str = "0x";
        break;
      default:
        isString = false;
        switch (field) {
          case SQL_DESC_TYPE:
            n = c.spec.type == jet::ColumnType::DateTime && version != SQL_OV_ODBC2
                    ? SQL_DATETIME
                    : typeForVersion(info.sqlType, version);
            break;
          case SQL_DESC_CONCISE_TYPE: n = typeForVersion(info.sqlType, version); break;
          case SQL_DESC_LENGTH: n = static_cast<SQLLEN>(info.columnSize); break;
          case SQL_COLUMN_LENGTH:
          case SQL_DESC_OCTET_LENGTH: n = info.octetLength; break;
          case SQL_DESC_PRECISION:
          case SQL_COLUMN_PRECISION: n = static_cast<SQLLEN>(info.columnSize); break;
          case SQL_DESC_SCALE:
          case SQL_COLUMN_SCALE: n = info.decimalDigits; break;
          case SQL_DESC_DISPLAY_SIZE: n = info.displaySize; break;
          case SQL_DESC_NULLABLE:
          case SQL_COLUMN_NULLABLE: n = c.spec.required ? SQL_NO_NULLS : SQL_NULLABLE; break;
          case SQL_DESC_UNSIGNED: n = info.isUnsigned || !info.numPrecRadix ? SQL_TRUE : SQL_FALSE; break;
          case SQL_DESC_FIXED_PREC_SCALE: n = info.fixedPrecScale ? SQL_TRUE : SQL_FALSE; break;
          case SQL_DESC_UPDATABLE: n = SQL_ATTR_READONLY; break;
          case SQL_DESC_AUTO_UNIQUE_VALUE: n = c.spec.autoNumber ? SQL_TRUE : SQL_FALSE; break;
          case SQL_DESC_CASE_SENSITIVE: n = SQL_FALSE; break;
          case SQL_DESC_SEARCHABLE:
            n = c.spec.type == jet::ColumnType::OLE || c.spec.type == jet::ColumnType::Memo
                    ? SQL_PRED_CHAR
                    : SQL_PRED_SEARCHABLE;
            break;
          case SQL_DESC_NUM_PREC_RADIX: n = info.numPrecRadix; break;
          case SQL_DESC_UNNAMED: n = SQL_NAMED; break;
          default:
            throw DriverError("HY091", "Invalid descriptor field identifier " +
                                           std::to_string(field) + ".");
        }
    }
    if (isString) {
      if (!copyOut(str, static_cast<SQLCHAR*>(text), textMax, textLength) && text)
        s->diag.add("01004", "String data, right truncated.");
    } else if (numeric) {
      *numeric = n;
    }
    return SQL_SUCCESS;
  });
}

SQLRETURN bindCol(Stmt* s, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN* indicator) {
  return guarded(s, [&] {
    if (number == 0) throw DriverError("07009", "Bookmark columns are not offered.");
    if (bufferLength < 0) throw DriverError("HY090", "Invalid buffer length.");
    if (s->bindings.size() <= number) s->bindings.resize(number + 1u);
    s->bindings[number] = Binding{cType, target, bufferLength, indicator};
    if (!target && !indicator) s->bindings[number] = Binding{};
    return SQL_SUCCESS;
  });
}

namespace {

// Moves the cursor and fills the bound buffers of the new rowset.
SQLRETURN fetchRowset(Stmt* s, SQLSMALLINT orientation, SQLLEN offset, SQLULEN arraySize,
                      SQLULEN* fetched, SQLUSMALLINT* status) {
  const ResultSet& rs = openResult(s);
  if (s->rowsetSize < 0)
    throw DriverError("24000", "Invalid cursor state: the prepared statement has not run.");
  long long n = static_cast<long long>(rs.rows.size());
  long long size = static_cast<long long>(arraySize);
  long long start = s->position;
  long long prevSize = std::max<long long>(s->rowsetSize, 1);
  if (orientation != SQL_FETCH_NEXT && !s->scrollable())
    throw DriverError("HY106", "Fetch type out of range: the cursor is forward-only.");
  switch (orientation) {
    case SQL_FETCH_NEXT: start = start < 0 ? 0 : std::min(n, start + prevSize); break;
    case SQL_FETCH_FIRST: start = 0; break;
    case SQL_FETCH_LAST: start = std::max<long long>(0, n - size); break;
    case SQL_FETCH_PRIOR:
      if (start <= 0) start = -1;
      else if (start > n) start = std::max<long long>(0, n - size);
      else start = std::max<long long>(0, start - size);
      break;
    case SQL_FETCH_ABSOLUTE:
      if (offset > 0) start = offset - 1;
      else if (offset < 0) start = n + offset >= 0 ? n + offset : (-offset <= size ? 0 : -1);
      else start = -1;
      break;
    case SQL_FETCH_RELATIVE:
      start = (start < 0 ? -1 : start) + offset;
      if (start < 0) start = -1;
      break;
    default:
      throw DriverError("HY106", "Fetch type out of range.");
  }
  if (start > n) start = n;
  s->position = start;
  s->lastDataColumn = 0;
  s->dataOffset = 0;
  if (start < 0 || start >= n) {
    s->rowsetSize = 0;
    if (fetched) *fetched = 0;
    if (status)
      for (long long i = 0; i < size; ++i) status[i] = SQL_ROW_NOROW;
    return SQL_NO_DATA;
  }
  long long count = std::min(size, n - start);
  s->rowsetSize = count;
  if (fetched) *fetched = static_cast<SQLULEN>(count);
  bool anyInfo = false, anyError = false;
  SQLLEN bindOffset = s->bindOffsetPtr ? *s->bindOffsetPtr : 0;
  for (long long r = 0; r < size; ++r) {
    if (r >= count) {
      if (status) status[r] = SQL_ROW_NOROW;
      continue;
    }
    const auto& row = rs.rows[static_cast<size_t>(start + r)];
    SQLUSMALLINT rowStatus = SQL_ROW_SUCCESS;
    for (size_t col = 1; col < s->bindings.size() && col <= row.size(); ++col) {
      const Binding& b = s->bindings[col];
      if (!b.target && !b.indicator) continue;
      const ResultColumn& rc = rs.columns[col - 1];
      SQLSMALLINT cType = b.cType == SQL_C_DEFAULT ? defaultCType(rc.spec) : b.cType;
      SQLLEN element = fixedCTypeSize(cType);
      if (element == 0) element = b.bufferLength;
      char* target = nullptr;
      SQLLEN* indicator = nullptr;
      if (s->rowBindType == SQL_BIND_BY_COLUMN) {
        if (b.target) target = static_cast<char*>(b.target) + bindOffset + r * element;
        if (b.indicator)
          indicator = reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(b.indicator) + bindOffset) + r;
      } else {
        long long stride = static_cast<long long>(s->rowBindType);
        if (b.target) target = static_cast<char*>(b.target) + bindOffset + r * stride;
        if (b.indicator)
          indicator = reinterpret_cast<SQLLEN*>(reinterpret_cast<char*>(b.indicator) + bindOffset +
                                                r * stride);
      }
      SQLRETURN rc2 = convertValue(row[col - 1], rc.spec, cType, target, b.bufferLength,
                                   indicator, nullptr, s->diag);
      if (rc2 == SQL_ERROR) rowStatus = SQL_ROW_ERROR;
      else if (rc2 == SQL_SUCCESS_WITH_INFO && rowStatus == SQL_ROW_SUCCESS)
        rowStatus = SQL_ROW_SUCCESS_WITH_INFO;
    }
    if (rowStatus == SQL_ROW_ERROR) anyError = true;
    if (rowStatus == SQL_ROW_SUCCESS_WITH_INFO) anyInfo = true;
    if (status) status[r] = rowStatus;
  }
  if (anyError) return size == 1 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
  return anyInfo ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // namespace

SQLRETURN getData(Stmt* s, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER target,
                  SQLLEN bufferLength, SQLLEN* indicator) {
  return guarded(s, [&] {
    const ResultSet& rs = openResult(s);
    if (s->position < 0 || s->position >= static_cast<long long>(rs.rows.size()) ||
        s->rowsetSize <= 0)
      throw DriverError("24000", "Invalid cursor state: no current row.");
    const ResultColumn& c = columnAt(s, number);
    if (number != s->lastDataColumn) {
      s->lastDataColumn = number;
      s->dataOffset = 0;
    }
    const auto& value = rs.rows[static_cast<size_t>(s->position)][number - 1];
    size_t before = s->dataOffset;
    SQLRETURN rc = convertValue(value, c.spec, cType, target, bufferLength, indicator,
                                &s->dataOffset, s->diag);
    // A failed conversion returned nothing: the value may be asked for again.
    if (rc == SQL_ERROR) s->dataOffset = before;
    return rc;
  });
}

SQLRETURN fetch(Stmt* s) {
  return guarded(s, [&] {
    return fetchRowset(s, SQL_FETCH_NEXT, 0, s->rowArraySize, s->rowsFetchedPtr,
                       s->rowStatusPtr);
  });
}

SQLRETURN fetchScroll(Stmt* s, SQLSMALLINT orientation, SQLLEN offset) {
  return guarded(s, [&] {
    return fetchRowset(s, orientation, offset, s->rowArraySize, s->rowsFetchedPtr,
                       s->rowStatusPtr);
  });
}

SQLRETURN extendedFetch(Stmt* s, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rowCount,
                        SQLUSMALLINT* rowStatus) {
  return guarded(s, [&] {
    return fetchRowset(s, static_cast<SQLSMALLINT>(orientation), offset, s->extRowsetSize,
                       rowCount, rowStatus);
  });
}

SQLRETURN moreResults(Stmt* s) {
  s->diag.clear();
  closeCursor(s);
  return SQL_NO_DATA;
}

SQLRETURN closeOpenCursor(Stmt* s) {
  return guarded(s, [&] {
    openResult(s);
    closeCursor(s);
    return SQL_SUCCESS;
  });
}

}  // namespace tabulex::access
