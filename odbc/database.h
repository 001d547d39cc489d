// The connection and result-set layer the program runs its SQL through:
// open a connection from a connect string, execute statements whose results
// are of no interest, and walk a read-only result set forwards, reading each
// value as text or as a typed value. Every failure is a CDBException.
//
// All connections share one ODBC environment, set up for ODBC 2 behaviour so
// that drivers describe date, time and timestamp columns as 9, 10 and 11.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <exception>
#include <list>
#include <string>
#include <vector>

class CRecordset;

// A failure of the layer: an ODBC return code or one of the layer's own codes.
class CDBException : public std::exception {
public:
  // The layer's own codes.
  static constexpr short kNoSnapshotSupport = 1013;
  static constexpr short kApiConformance = 1014;
  static constexpr short kSqlConformance = 1015;
  static constexpr short kNoDataFound = 1016;  // moving past the end
  static constexpr short kOdbcV2Required = 1018;
  static constexpr short kFieldNotFound = 1026;  // column index out of range

  CDBException(short retCode, std::string error, std::string stateNativeOrigin = {});

  const char* what() const noexcept override { return m_strError.c_str(); }

  short m_nRetCode;
  // The driver's messages without their "[vendor][driver]" origin tags, one per line.
  std::string m_strError;
  // "State:<sqlstate>,Native:<n>,Origin:<tags>" per diagnostic record, one per line.
  std::string m_strStateNativeOrigin;
};

// One typed value. Owns its date, string or binary part.
class CDBVariant {
public:
  enum Kind : uint32_t {
    DBVT_NULL = 0,
    DBVT_BOOL = 1,
    DBVT_UCHAR = 2,
    DBVT_SHORT = 3,
    DBVT_LONG = 4,
    DBVT_SINGLE = 5,
    DBVT_DOUBLE = 6,
    DBVT_DATE = 7,
    DBVT_STRING = 8,
    DBVT_BINARY = 9,
  };

  CDBVariant() = default;
  ~CDBVariant();
  CDBVariant(const CDBVariant& other);
  CDBVariant& operator=(const CDBVariant& other);
  CDBVariant(CDBVariant&& other) noexcept;
  CDBVariant& operator=(CDBVariant&& other) noexcept;

  // Frees the owned part; the kind becomes DBVT_NULL.
  void Clear();

  uint32_t m_dwType = DBVT_NULL;
  union {
    bool m_boolVal;
    unsigned char m_chVal;
    int16_t m_iVal;
    int32_t m_lVal;
    float m_fltVal;
    double m_dblVal = 0;
    TIMESTAMP_STRUCT* m_pdate;
    std::string* m_pstring;
    std::vector<unsigned char>* m_pbinary;
  };

private:
  void copyFrom(const CDBVariant& other);
  void takeFrom(CDBVariant& other) noexcept;
};

// One result column as the driver describes it.
struct CODBCFieldInfo {
  std::string m_strName;
  SQLSMALLINT m_nSQLType = 0;
  SQLULEN m_nPrecision = 0;
  SQLSMALLINT m_nScale = 0;
  SQLSMALLINT m_nNullability = 0;
};

class CDatabase {
public:
  enum OpenOptions : uint32_t {
    openExclusive = 0x1,  // not supported
    openReadOnly = 0x2,
    useCursorLib = 0x4,
    noOdbcDialog = 0x8,
    forceOdbcDialog = 0x10,
  };
  static constexpr uint32_t kQueryTimeoutNotSet = 0xFFFFFFFFu;

  CDatabase();
  virtual ~CDatabase();
  CDatabase(const CDatabase&) = delete;
  CDatabase& operator=(const CDatabase&) = delete;

  // True when open; false when the driver's connect dialog was cancelled.
  // No window exists to own a dialog, so the driver is never asked to prompt:
  // a connect string that lacks information fails with the driver's message.
  bool OpenEx(const std::string& connect, uint32_t options = 0);
  // Runs a statement and discards any rows it returns.
  void ExecuteSQL(const std::string& sql);
  // Closes every result set still open on the connection, then disconnects.
  void Close();

  SQLHDBC m_hdbc = SQL_NULL_HDBC;
  std::string m_strConnect;  // after opening: "ODBC;" + the driver's completed connect string
  bool m_bUpdatable = false;
  uint32_t m_dwLoginTimeout = 15;
  uint32_t m_dwQueryTimeout = 15;

  // Facts read once after connecting.
  SQLUSMALLINT m_nTransactionCapable = 0;
  SQLUSMALLINT m_nCursorCommitBehavior = 0;
  SQLUSMALLINT m_nCursorRollbackBehavior = 0;
  SQLUINTEGER m_dwBookmarkAttributes = 0;
  SQLUINTEGER m_dwGetDataExtensions = 0;
  std::string m_strIdentifierQuoteChar;
  std::string m_strDbmsName;
  std::string m_strDbmsVersion;

private:
  friend class CRecordset;
  void setStatementOptions(SQLHSTMT stmt);
  [[noreturn]] void throwFromDiagnostics(SQLRETURN rc, SQLHSTMT stmt) const;
  void releaseConnection();
  void parkConnection();
  void readConnectionFacts();
  void attach(CRecordset* set);
  void detach(CRecordset* set);
  void freeExecuteStatement();

  std::list<CRecordset*> m_listRecordsets;
  // ExecuteSQL's statement, kept between calls: a program that runs many
  // statements on one connection would otherwise pay the driver manager's
  // allocation and release of a statement for every one.
  SQLHSTMT m_hstmtExecute = SQL_NULL_HSTMT;
  bool m_bReusableHandle = false;  // no attributes set beyond the defaults
  uint32_t m_dwExecuteTimeout = kQueryTimeoutNotSet;  // the timeout that statement carries
};

// The layer's exception for a failed call on a statement handle that a
// program allocated on a connection of its own (CDatabase::m_hdbc).
CDBException statementFailure(SQLRETURN rc, SQLHSTMT stmt);

class CRecordset {
public:
  enum OpenType : int { dynaset = 0, snapshot = 1, forwardOnly = 2, dynamic = 3 };
  enum OpenOptions : uint32_t { none = 0x0, readOnly = 0x4, executeDirect = 0x2000 };
  static constexpr int kDefaultType = -1;    // snapshot
  static constexpr short kDefaultFieldType = 0;  // the column's own type

  // When the connection is open, a statement handle is allocated at once.
  explicit CRecordset(CDatabase* database = nullptr);
  virtual ~CRecordset();
  CRecordset(const CRecordset&) = delete;
  CRecordset& operator=(const CRecordset&) = delete;

  // Runs sql and moves to the first row (or to the end when there is none).
  bool Open(int openType = kDefaultType, const std::string& sql = {}, uint32_t options = none);
  void Close();

  short GetODBCFieldCount() const { return m_nResultCols; }
  void GetODBCFieldInfo(short index, CODBCFieldInfo& info) const;
  bool IsEOF() const { return m_bEOF; }
  void MoveNext();

  // The value as text; empty for NULL. Long values arrive whole; other
  // values longer than the column's precision are cut to it.
  void GetFieldValue(short index, std::string& value);
  // The value typed after the column's SQL type; DBVT_NULL for NULL.
  void GetFieldValue(short index, CDBVariant& value, short fieldType = kDefaultFieldType);

  CDatabase* m_pDatabase;
  SQLHSTMT m_hstmt = SQL_NULL_HSTMT;
  int m_nOpenType = snapshot;
  uint32_t m_dwOptions = none;
  std::string m_strSQL;

private:
  friend class CDatabase;
  void allocateStatement();
  void freeStatement();
  void fetchNext();
  [[noreturn]] void throwFromDiagnostics(SQLRETURN rc) const;
  void checkIndex(short index) const;
  // Reads column index + 1 as cType; long columns are read whole.
  bool readData(short index, SQLSMALLINT cType, std::string& bytes, SQLLEN bufferLength);
  SQLLEN textBufferLength(const CODBCFieldInfo& info) const;

  short m_nResultCols = -1;
  std::vector<CODBCFieldInfo> m_fields;
  bool m_bEOF = true;
  bool m_bBOF = true;
  bool m_bScrollable = false;
  bool m_bReadOnly = true;
};
