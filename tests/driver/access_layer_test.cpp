// The program's own access layer against the driver: registration, one
// connection per statement, snapshot result sets and failures, exactly as
// a conversion uses them.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "odbc/data_source_registration.h"
#include "odbc/database.h"
#include "support/access_odbc.h"
#include "support/readback.h"

namespace tabulex::test {
namespace {

TEST(AccessLayer, ConversionTrafficRoundTrips) {
  std::string base = AccessOdbcConfig::instance().path("layer db").string();
  ASSERT_TRUE(CreateAccessDatabaseFile(base));
  ASSERT_TRUE(AddAccessDataSource(base, kDestinationDataSource, ""));

  {
    CDatabase db;
    db.OpenEx("DSN=dsna");
    EXPECT_EQ(db.m_strConnect.rfind("ODBC;", 0), 0u);
    EXPECT_NE(db.m_strConnect.find("layer db.mdb"), std::string::npos) << db.m_strConnect;
    db.ExecuteSQL("Create Table customer(\"id\" INTEGER PRIMARY KEY , \"name\" varchar(50) NULL, "
                  "\"seen\" DATETIME  NULL, \"notes\" memo  NOT NULL)");
    db.Close();
  }
  // One connection for every row, as the row copy does.
  const char* rows[] = {"INSERT INTO customer values(1, 'it''s', '7/3/2009 14:05:00', 'a' )",
                        "INSERT INTO customer values(2, NULL, NULL, '' )",
                        "INSERT INTO customer values(3, 'Zoë', '31/12/1999 23:59:59', 'ü' )"};
  for (const char* sql : rows) {
    CDatabase db;
    db.OpenEx("DSN=dsna");
    db.ExecuteSQL(sql);
    db.Close();
  }
  {
    CDatabase db;
    db.OpenEx("DSN=dsna");
    try {
      db.ExecuteSQL("INSERT INTO customer values(1, 'again', NULL, 'b' )");
      ADD_FAILURE() << "a duplicate key was accepted";
    } catch (const CDBException& e) {
      // The layer strips the bracketed origin tags.
      EXPECT_EQ(e.m_strError.find('['), std::string::npos) << e.m_strError;
      EXPECT_NE(e.m_strStateNativeOrigin.find("State:23000"), std::string::npos)
          << e.m_strStateNativeOrigin;
    }
    try {
      db.ExecuteSQL("Create Table customer(\"id\" INTEGER)");
      ADD_FAILURE() << "a second table of the same name was accepted";
    } catch (const CDBException& e) {
      EXPECT_NE(e.m_strError.find("already exists"), std::string::npos) << e.m_strError;
    }

    CRecordset set(&db);
    set.Open(CRecordset::kDefaultType, "Select * from customer", CRecordset::readOnly);
    ASSERT_EQ(set.GetODBCFieldCount(), 4);
    CODBCFieldInfo info;
    set.GetODBCFieldInfo(2, info);
    EXPECT_EQ(info.m_nSQLType, 11) << "timestamps as the ODBC 2 code";
    set.GetODBCFieldInfo(3, info);
    EXPECT_EQ(info.m_nSQLType, SQL_LONGVARCHAR);
    std::vector<std::string> names;
    CDBVariant seen;
    while (!set.IsEOF()) {
      std::string name;
      set.GetFieldValue(1, name);
      names.push_back(name);
      set.GetFieldValue(2, seen);
      if (names.size() == 1) {
        ASSERT_EQ(seen.m_dwType, CDBVariant::DBVT_DATE);
        EXPECT_EQ(seen.m_pdate->year, 2009);
        EXPECT_EQ(seen.m_pdate->month, 3);
        EXPECT_EQ(seen.m_pdate->day, 7);
        EXPECT_EQ(seen.m_pdate->hour, 14);
      }
      if (names.size() == 2) {
        EXPECT_EQ(seen.m_dwType, CDBVariant::DBVT_NULL);
      }
      set.MoveNext();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"it's", "", "Zoë"}));
    // Closing the connection under an open result set is allowed.
    db.Close();
  }
  // Two connections open at once share the file.
  {
    CDatabase a, b;
    a.OpenEx("DSN=dsna");
    b.OpenEx("DSN=dsna");
    a.ExecuteSQL("INSERT INTO customer values(4, 'a', NULL, 'x' )");
    b.ExecuteSQL("INSERT INTO customer values(5, 'b', NULL, 'y' )");
  }
  EXPECT_TRUE(RemoveAccessDataSource(base, kDestinationDataSource, ""));
  using nlohmann::json;
  EXPECT_TRUE(readback::fileMatches(
      base + ".mdb",
      {{"customer",
        {"id", "name", "seen", "notes"},
        {json::array({1, "it's", "2009-03-07 14:05:00", "a"}),
         json::array({2, nullptr, nullptr, ""}),
         json::array({3, "Zoë", "1999-12-31 23:59:59", "ü"}), json::array({4, "a", nullptr, "x"}),
         json::array({5, "b", nullptr, "y"})},
        true}}));
}

// Connection handles are kept for the next connection and one statement for
// the next ExecuteSQL; neither may carry a setting or a failure along.
TEST(AccessLayer, KeptHandlesCarryNothingOver) {
  std::string base = AccessOdbcConfig::instance().path("kept handles").string();
  ASSERT_TRUE(CreateAccessDatabaseFile(base));
  ASSERT_TRUE(AddAccessDataSource(base, kDestinationDataSource, ""));
  {
    CDatabase db;
    db.OpenEx("DSN=dsna");
    db.ExecuteSQL("CREATE TABLE t (id INTEGER PRIMARY KEY)");
  }
  for (int round = 0; round < 2; ++round) {
    CDatabase readOnly;
    readOnly.OpenEx("DSN=dsna", CDatabase::openReadOnly);
    EXPECT_THROW(readOnly.ExecuteSQL("INSERT INTO t VALUES (99)"), CDBException);
    readOnly.Close();

    CDatabase writer;
    writer.OpenEx("DSN=dsna");
    writer.ExecuteSQL("INSERT INTO t VALUES (" + std::to_string(round * 2 + 1) + ")");
    EXPECT_THROW(writer.ExecuteSQL("INSERT INTO t VALUES (1)"), CDBException);
    writer.ExecuteSQL("INSERT INTO t VALUES (" + std::to_string(round * 2 + 2) + ")");
  }
  // More connections at once than are kept when they close.
  {
    std::vector<std::unique_ptr<CDatabase>> open;
    for (int i = 0; i < 8; ++i) {
      open.push_back(std::make_unique<CDatabase>());
      open.back()->OpenEx("DSN=dsna");
    }
    open[7]->ExecuteSQL("INSERT INTO t VALUES (5)");
  }
  EXPECT_TRUE(RemoveAccessDataSource(base, kDestinationDataSource, ""));
  using nlohmann::json;
  EXPECT_TRUE(readback::fileMatches(
      base + ".mdb",
      {{"t", {"id"}, {json::array({1}), json::array({2}), json::array({3}), json::array({4}), json::array({5})}, true}}));
}

}  // namespace
}  // namespace tabulex::test
