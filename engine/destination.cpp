#include "engine/destination.h"

#include "engine/column_catalogue.h"
#include "odbc/database.h"

namespace engine {

namespace {

// The first record's SQLSTATE out of the access layer's
// "State:<sqlstate>,Native:<n>,Origin:<tags>" lines.
std::string firstState(const std::string& stateNativeOrigin) {
  const std::string head = "State:";
  if (stateNativeOrigin.compare(0, head.size(), head) != 0) return {};
  return stateNativeOrigin.substr(head.size(), stateNativeOrigin.find(',') - head.size());
}

class PerStatement : public Destination {
 public:
  explicit PerStatement(std::string connect) : connect_(std::move(connect)) {}
  void execute(const std::string& sql) override {
    CDatabase database;
    database.OpenEx(connect_, 0);
    try {
      database.ExecuteSQL(sql);
    } catch (const CDBException& e) {
      throw DestinationError(firstState(e.m_strStateNativeOrigin), e.m_strError);
    }
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
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      std::string state = diagnosticState(SQL_HANDLE_STMT, statement_);
      std::string message = diagnosticText(SQL_HANDLE_STMT, statement_);
      SQLFreeStmt(statement_, SQL_CLOSE);
      throw DestinationError(std::move(state), message);
    }
    SQLFreeStmt(statement_, SQL_CLOSE);
  }

 private:
  CDatabase database_;
  SQLHSTMT statement_ = SQL_NULL_HSTMT;
};

}  // namespace

bool refusesRowAlone(const std::string& sqlState, const std::string& message) {
  if (sqlState.size() == 5 && (sqlState.compare(0, 2, "22") == 0 || sqlState.compare(0, 2, "23") == 0))
    return true;
  // The Jet library's row-size refusal carries no SQLSTATE of its own.
  return sqlState == "HY000" && message.find("a row holds at most") != std::string::npos;
}

std::unique_ptr<Destination> connectionPerStatement(std::string connect) {
  return std::make_unique<PerStatement>(std::move(connect));
}

std::unique_ptr<Destination> connectionPerTable(std::string connect) {
  return std::make_unique<PerTable>(connect);
}

}  // namespace engine
