// Parameters: ? markers in an INSERT's values, bound buffers and parameter
// arrays (one stored row per set).
#include <algorithm>
#include <cstring>

#include "drivers/access/describe.h"
#include "drivers/access/odbc_api.h"

namespace tabulex::access {
namespace {

// The statement prepared on `s`, as an INSERT; null for anything else.
std::optional<Insert> preparedInsert(Stmt* s) {
  if (!s->isPrepared) return std::nullopt;
  Statement st = parseStatement(s->prepared);
  if (auto* insert = std::get_if<Insert>(&st)) return std::move(*insert);
  return std::nullopt;
}

// Where the sets of a bound parameter lie, column-wise or row-wise.
struct Elements {
  const char* values = nullptr;
  SQLLEN stride = 0;
  const char* indicators = nullptr;
  SQLLEN indicatorStride = 0;

  const char* value(SQLULEN row) const { return values ? values + static_cast<SQLLEN>(row) * stride : nullptr; }
  const SQLLEN* indicator(SQLULEN row) const {
    return indicators ? reinterpret_cast<const SQLLEN*>(indicators + static_cast<SQLLEN>(row) * indicatorStride)
                      : nullptr;
  }
};

Elements elementsOf(const Stmt* s, const ParameterBinding& b) {
  Elements e;
  SQLLEN offset = s->paramBindOffsetPtr ? *s->paramBindOffsetPtr : 0;
  if (s->paramBindType == SQL_PARAM_BIND_BY_COLUMN) {
    e.stride = parameterElementSize(b.cType);
    if (e.stride == 0) e.stride = b.bufferLength;
    e.indicatorStride = sizeof(SQLLEN);
  } else {
    e.stride = e.indicatorStride = static_cast<SQLLEN>(s->paramBindType);
  }
  if (b.value) e.values = static_cast<const char*>(b.value) + offset;
  if (b.indicator) e.indicators = reinterpret_cast<const char*>(b.indicator) + offset;
  return e;
}

// Marks set `i` failed and reports it; the sets before it stay stored.
[[noreturn]] void failedSet(Stmt* s, SQLULEN i, SQLLEN stored, const DriverError& e) {
  if (s->paramStatusPtr) s->paramStatusPtr[i] = SQL_PARAM_ERROR;
  s->rowCount = stored;
  if (s->paramsetSize == 1) throw e;
  throw DriverError(e.sqlstate(), std::string(e.what()) + " (parameter set " +
                                      std::to_string(i + 1) + "; the sets before it are stored)");
}

}  // namespace

size_t parameterCount(const Insert& insert) {
  size_t n = 0;
  for (const Literal& l : insert.values) n += l.kind == Literal::Kind::Parameter;
  return n;
}

SQLRETURN bindParameter(Stmt* s, SQLUSMALLINT number, SQLSMALLINT ioType, SQLSMALLINT cType,
                        SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits,
                        SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
  return guarded(s, [&] {
    if (number == 0) throw DriverError("07009", "Invalid descriptor index: parameters count from 1.");
    if (ioType != SQL_PARAM_INPUT)
      throw DriverError("HYC00", "Only input parameters are supported.");
    if (bufferLength < 0) throw DriverError("HY090", "Invalid buffer length.");
    if (cType != SQL_C_DEFAULT && cType != SQL_C_CHAR && cType != SQL_C_WCHAR &&
        cType != SQL_C_BINARY && parameterElementSize(cType) == 0)
      throw DriverError("HY003", "Invalid application buffer type " + std::to_string(cType) +
                                     " for a parameter.");
    if (s->parameters.size() <= number) s->parameters.resize(number + 1u);
    s->parameters[number] =
        ParameterBinding{cType, sqlType, columnSize, digits, value, bufferLength, indicator};
    return SQL_SUCCESS;
  });
}

SQLRETURN paramOptions(Stmt* s, SQLULEN sets, SQLULEN* processed) {
  return guarded(s, [&] {
    if (sets == 0) throw DriverError("HY107", "Row value out of range: the parameter set size is 0.");
    s->paramsetSize = sets;
    s->paramsProcessedPtr = processed;
    return SQL_SUCCESS;
  });
}

SQLRETURN numParams(Stmt* s, SQLSMALLINT* count) {
  return guarded(s, [&] {
    if (!s->isPrepared) throw DriverError("HY010", "Function sequence error: nothing prepared.");
    std::optional<Insert> insert = preparedInsert(s);
    if (count) *count = insert ? static_cast<SQLSMALLINT>(parameterCount(*insert)) : 0;
    return SQL_SUCCESS;
  });
}

SQLRETURN describeParam(Stmt* s, SQLUSMALLINT number, SQLSMALLINT* sqlType, SQLULEN* size,
                        SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  return guarded(s, [&] {
    if (!s->isPrepared) throw DriverError("HY010", "Function sequence error: nothing prepared.");
    std::optional<Insert> insert = preparedInsert(s);
    size_t position = 0, seen = 0;
    for (; insert && position < insert->values.size(); ++position)
      if (insert->values[position].kind == Literal::Kind::Parameter && ++seen == number) break;
    if (number == 0 || !insert || position == insert->values.size())
      throw DriverError("07009", "Invalid descriptor index " + std::to_string(number) + ".");
    Dbc& d = connectedDbc(s);
    SharedDatabase& shared = *d.database;
    std::lock_guard<std::mutex> lock(shared.mutex);
    const jet::TableSpec& spec = shared.specs.get(openDb(shared), insert->table);
    const jet::ColumnSpec* column = nullptr;
    if (insert->columns.empty()) {
      if (position < spec.columns.size()) column = &spec.columns[position];
    } else {
      for (const auto& c : spec.columns)
        if (sameName(c.name, insert->columns[position])) column = &c;
    }
    if (!column)
      throw DriverError("07009", "Invalid descriptor index " + std::to_string(number) +
                                     ": the marker stands for no column.");
    ColumnInfo info = describeColumn(*column);
    if (sqlType) *sqlType = typeForVersion(info.sqlType, d.env->odbcVersion);
    if (size) *size = info.columnSize;
    if (digits) *digits = info.decimalDigits;
    if (nullable) *nullable = column->required ? SQL_NO_NULLS : SQL_NULLABLE;
    return SQL_SUCCESS;
  });
}

SQLRETURN insertWithParameters(Stmt* s, const Insert& insert, std::string_view sql) {
  std::vector<size_t> markers;
  for (size_t i = 0; i < insert.values.size(); ++i)
    if (insert.values[i].kind == Literal::Kind::Parameter) markers.push_back(i);
  for (size_t k = 1; k <= markers.size(); ++k)
    if (k >= s->parameters.size() || !s->parameters[k].bound())
      throw DriverError("07002", "COUNT field incorrect: parameter " + std::to_string(k) +
                                     " is not bound.");
  // Values given at execution: wait for them, then come back here.
  bool resuming = s->dataIndex >= 0 && s->dataIndex == static_cast<int>(s->dataParameters.size());
  if (!resuming) {
    s->dataParameters.clear();
    for (size_t k = 1; k <= markers.size(); ++k) {
      const SQLLEN* indicator = elementsOf(s, s->parameters[k]).indicator(0);
      if (indicator && (*indicator == SQL_DATA_AT_EXEC || *indicator <= SQL_LEN_DATA_AT_EXEC_OFFSET))
        s->dataParameters.push_back(static_cast<SQLUSMALLINT>(k));
    }
    if (!s->dataParameters.empty()) {
      if (s->paramsetSize != 1)
        throw DriverError("HYC00", "Parameter data at execution is not supported with arrays.");
      s->dataStatement = std::string(sql);
      s->dataIndex = -1;
      s->putData.assign(markers.size() + 1, std::string());
      s->putNull.assign(markers.size() + 1, false);
      return SQL_NEED_DATA;
    }
  }
  Insert row = insert;
  s->parameterText.resize(markers.size());
  SQLULEN sets = s->paramsetSize;
  if (s->paramStatusPtr)
    for (SQLULEN i = 0; i < sets; ++i) s->paramStatusPtr[i] = SQL_PARAM_UNUSED;
  if (s->paramsProcessedPtr) *s->paramsProcessedPtr = 0;
  SharedDatabase& shared = *s->dbc->database;
  std::lock_guard<std::mutex> lock(shared.mutex);
  jet::Database& db = openDb(shared);
  // Worked out once for all the sets.
  std::vector<Elements> elements(markers.size());
  std::vector<bool> givenAtExecution(markers.size(), false);
  for (size_t k = 0; k < markers.size(); ++k) {
    elements[k] = elementsOf(s, s->parameters[k + 1]);
    givenAtExecution[k] = resuming && std::find(s->dataParameters.begin(), s->dataParameters.end(),
                                                k + 1) != s->dataParameters.end();
  }
  SQLLEN stored = 0;
  for (SQLULEN i = 0; i < sets; ++i) {
    if (s->paramOperationPtr && s->paramOperationPtr[i] == SQL_PARAM_IGNORE) continue;
    if (s->paramsProcessedPtr) *s->paramsProcessedPtr = i + 1;
    try {
      for (size_t k = 0; k < markers.size(); ++k) {
        const ParameterBinding& b = s->parameters[k + 1];
        if (!givenAtExecution[k]) {
          parameterLiteral(b, elements[k].value(i), elements[k].indicator(i), row.values[markers[k]],
                           s->parameterText[k]);
          continue;
        }
        const std::string& data = s->putData[k + 1];
        ParameterBinding given = b;
        given.bufferLength = static_cast<SQLLEN>(data.size());
        SQLLEN givenLength = s->putNull[k + 1] ? SQL_NULL_DATA : static_cast<SQLLEN>(data.size());
        parameterLiteral(given, data.data(), &givenLength, row.values[markers[k]], s->parameterText[k]);
      }
      executeInsert(db, shared.specs, row, s->insertRow);
    } catch (const DriverError& e) {
      failedSet(s, i, stored, e);
    } catch (const jet::Error& e) {
      try {
        rethrowJetError(e);
      } catch (const DriverError& d) {
        failedSet(s, i, stored, d);
      }
    }
    if (s->paramStatusPtr) s->paramStatusPtr[i] = SQL_PARAM_SUCCESS;
    ++stored;
  }
  s->rowCount = stored;
  return SQL_SUCCESS;
}

SQLRETURN paramData(Stmt* s, SQLPOINTER* token) {
  return guarded(s, [&]() -> SQLRETURN {
    if (s->dataParameters.empty())
      throw DriverError("HY010", "Function sequence error: no parameter waits for data.");
    ++s->dataIndex;
    if (s->dataIndex < static_cast<int>(s->dataParameters.size())) {
      if (token) *token = s->parameters[s->dataParameters[s->dataIndex]].value;
      return SQL_NEED_DATA;
    }
    // Every value is in: run the statement, whatever comes of it.
    struct Done {
      Stmt* s;
      ~Done() {
        s->dataParameters.clear();
        s->dataIndex = -1;
        s->putData.clear();
        s->putNull.clear();
      }
    } done{s};
    s->rowCount = -1;
    Statement st = parseStatement(s->dataStatement);
    return insertWithParameters(s, std::get<Insert>(st), s->dataStatement);
  });
}

SQLRETURN putData(Stmt* s, SQLPOINTER data, SQLLEN length) {
  return guarded(s, [&] {
    if (s->dataIndex < 0 || s->dataIndex >= static_cast<int>(s->dataParameters.size()))
      throw DriverError("HY010", "Function sequence error: no parameter waits for data.");
    SQLUSMALLINT k = s->dataParameters[s->dataIndex];
    if (length == SQL_NULL_DATA) {
      s->putNull[k] = true;
      return SQL_SUCCESS;
    }
    if (length == SQL_NTS) {
      SQLSMALLINT c = s->parameters[k].cType;
      if (c == SQL_C_WCHAR) {
        const auto* w = static_cast<const char16_t*>(data);
        SQLLEN n = 0;
        while (w && w[n]) ++n;
        length = 2 * n;
      } else {
        length = data ? static_cast<SQLLEN>(std::strlen(static_cast<const char*>(data))) : 0;
      }
    }
    if (length < 0) throw DriverError("HY090", "Invalid string or buffer length.");
    if (length > 0 && !data) throw DriverError("HY009", "Invalid use of null pointer.");
    s->putData[k].append(static_cast<const char*>(data), static_cast<size_t>(length));
    return SQL_SUCCESS;
  });
}

}  // namespace tabulex::access
