#include "engine/row_copy.h"

#include <stdexcept>

#include "engine/column_catalogue.h"
#include "engine/value_format.h"
#include "odbc/database.h"

namespace engine {

namespace {

class PerStatement : public Destination {
 public:
  explicit PerStatement(std::string connect) : connect_(std::move(connect)) {}
  void execute(const std::string& sql) override {
    CDatabase database;
    database.OpenEx(connect_, 0);
    database.ExecuteSQL(sql);
    database.Close();
  }

 private:
  std::string connect_;
};

// One connection and one statement handle for every insert of a table:
// the statement is executed directly on the handle, which spares the two
// calls ExecuteSQL makes per statement to drain results (inserts return
// none).
class PerTable : public Destination {
 public:
  explicit PerTable(const std::string& connect) {
    database_.OpenEx(connect, 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, database_.m_hdbc, &statement_)))
      throw std::runtime_error(diagnosticText(SQL_HANDLE_DBC, database_.m_hdbc));
  }
  ~PerTable() override {
    if (statement_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, statement_);
  }
  void execute(const std::string& sql) override {
    SQLRETURN rc;
    do {
      rc = SQLExecDirect(statement_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                         static_cast<SQLINTEGER>(sql.size()));
    } while (rc == SQL_STILL_EXECUTING);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
      throw std::runtime_error(diagnosticText(SQL_HANDLE_STMT, statement_));
    SQLFreeStmt(statement_, SQL_CLOSE);
  }

 private:
  CDatabase database_;
  SQLHSTMT statement_ = SQL_NULL_HSTMT;
};

// Result-set type codes are ODBC 2 codes (9, 10, 11 for date, time,
// timestamp); the ODBC 3 ones are accepted as well.
ValueStyle styleForResultType(SQLSMALLINT type) {
  switch (type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return ValueStyle::Text;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return ValueStyle::Binary;
    case SQL_BIT:
      return ValueStyle::Bit;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return ValueStyle::Number;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ValueStyle::Double;
    case SQL_REAL:
      return ValueStyle::Single;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return ValueStyle::DateText;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return ValueStyle::TimeText;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return ValueStyle::Timestamp;
    default:
      return ValueStyle::Text;
  }
}

// Reads a whole value straight from the result set's statement: the access
// layer's text read sizes its buffer by the column's precision, which cuts
// the sign of a minimum integer ("-128" in a precision of 3), the 20th digit
// of an unsigned bigint and negative times. False for NULL.
bool readWhole(CRecordset& rows, short index, SQLSMALLINT cType, std::string& out,
               std::vector<char>& buffer) {
  const SQLLEN terminator = cType == SQL_C_CHAR ? 1 : 0;
  const auto column = static_cast<SQLUSMALLINT>(index + 1);
  out.clear();
  for (bool first = true;; first = false) {
    SQLLEN indicator = 0;
    SQLRETURN rc;
    do {
      rc = SQLGetData(rows.m_hstmt, column, cType, buffer.data(),
                      static_cast<SQLLEN>(buffer.size()), &indicator);
    } while (rc == SQL_STILL_EXECUTING);
    if (rc == SQL_NO_DATA && !first) return true;
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      std::string message = "cannot read column " + std::to_string(index + 1) + ": " +
                            diagnosticText(SQL_HANDLE_STMT, rows.m_hstmt);
      throw std::runtime_error(message);
    }
    if (indicator == SQL_NULL_DATA) return false;
    const SQLLEN capacity = static_cast<SQLLEN>(buffer.size()) - terminator;
    if (rc == SQL_SUCCESS || (indicator != SQL_NO_TOTAL && indicator <= capacity)) {
      out.append(buffer.data(), static_cast<std::size_t>(std::max<SQLLEN>(indicator, 0)));
      return true;
    }
    // Truncated: keep the piece and fetch the rest into a larger buffer.
    out.append(buffer.data(), static_cast<std::size_t>(capacity));
    std::size_t wanted = indicator == SQL_NO_TOTAL
                             ? buffer.size() * 2
                             : static_cast<std::size_t>(indicator - capacity + terminator);
    if (wanted > buffer.size()) buffer.resize(wanted);
  }
}

}  // namespace

std::unique_ptr<Destination> connectionPerStatement(std::string connect) {
  return std::make_unique<PerStatement>(std::move(connect));
}

std::unique_ptr<Destination> connectionPerTable(std::string connect) {
  return std::make_unique<PerTable>(connect);
}

std::vector<ValueStyle> resultStyles(CRecordset& rows, const TablePlan& plan) {
  short count = rows.GetODBCFieldCount();
  if (count < 0 || static_cast<std::size_t>(count) != plan.columns.size())
    throw std::runtime_error("the table's query returns " + std::to_string(count) +
                             " columns but the column catalogue lists " +
                             std::to_string(plan.columns.size()));
  std::vector<ValueStyle> styles;
  for (short i = 0; i < count; ++i) {
    CODBCFieldInfo info;
    rows.GetODBCFieldInfo(i, info);
    ValueStyle style = styleForResultType(info.m_nSQLType);
    ValueStyle planned = mapColumnType(plan.columns[i]).style;
    // Decimals wider than Access's go into text columns, and so do values of
    // types the mapping does not know.
    if (planned == ValueStyle::NumberText && style == ValueStyle::Number) style = planned;
    styles.push_back(style);
  }
  return styles;
}

void copyRows(CRecordset& rows, const std::vector<ValueStyle>& styles, const TablePlan& plan,
              Destination& destination, CopyCounts& counts,
              const std::function<void(uint64_t)>& progress) {
  const short count = static_cast<short>(styles.size());
  CDBVariant variant;
  std::string text;
  std::vector<char> buffer(4096);
  std::vector<std::string> values(count);
  while (!rows.IsEOF()) {
    for (short i = 0; i < count; ++i) {
      std::string& value = values[i];
      switch (styles[i]) {
        case ValueStyle::Text:
          value = readWhole(rows, i, SQL_C_CHAR, text, buffer) ? sqlText(text) : kSqlNull;
          break;
        case ValueStyle::Binary:
          value = readWhole(rows, i, SQL_C_BINARY, text, buffer) ? sqlBinary(text) : kSqlNull;
          break;
        case ValueStyle::Number:
          value = readWhole(rows, i, SQL_C_CHAR, text, buffer) ? sqlNumber(text) : kSqlNull;
          break;
        case ValueStyle::NumberText:
          value = readWhole(rows, i, SQL_C_CHAR, text, buffer) ? sqlText(text) : kSqlNull;
          break;
        case ValueStyle::DateText:
          value = readWhole(rows, i, SQL_C_CHAR, text, buffer) ? sqlDateText(text) : kSqlNull;
          break;
        case ValueStyle::TimeText:
          value = readWhole(rows, i, SQL_C_CHAR, text, buffer) ? sqlText(text) : kSqlNull;
          break;
        case ValueStyle::Bit:
          rows.GetFieldValue(i, variant);
          value = variant.m_dwType == CDBVariant::DBVT_NULL ? kSqlNull : sqlBit(variant.m_boolVal);
          break;
        case ValueStyle::Double:
          rows.GetFieldValue(i, variant);
          value = variant.m_dwType == CDBVariant::DBVT_NULL ? kSqlNull : sqlDouble(variant.m_dblVal);
          break;
        case ValueStyle::Single:
          rows.GetFieldValue(i, variant);
          value = variant.m_dwType == CDBVariant::DBVT_NULL ? kSqlNull : sqlSingle(variant.m_fltVal);
          break;
        case ValueStyle::Timestamp:
          rows.GetFieldValue(i, variant);
          if (variant.m_dwType == CDBVariant::DBVT_NULL) {
            value = kSqlNull;
          } else {
            const TIMESTAMP_STRUCT& t = *variant.m_pdate;
            value = sqlTimestamp(t.year, t.month, t.day, t.hour, t.minute, t.second);
          }
          break;
      }
    }
    ++counts.read;
    try {
      destination.execute(insertStatement(plan.destinationName, values));
    } catch (const CDBException& e) {
      throw std::runtime_error("row " + std::to_string(counts.read) + ": " + e.m_strError);
    } catch (const std::runtime_error& e) {
      throw std::runtime_error("row " + std::to_string(counts.read) + ": " + e.what());
    }
    ++counts.written;
    if (progress) progress(counts.written);
    rows.MoveNext();
  }
}

}  // namespace engine
