// The copy of one table's rows between its reading thread and the calling
// thread, against the rig's server and a destination that refuses chosen
// rows: rows refused on their own are skipped and listed, any other failure
// (of the destination or of the source) ends the copy on the calling
// thread with the counts so far, and the reading thread never outlives it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/column_catalogue.h"
#include "engine/identifiers.h"
#include "engine/row_copy.h"
#include "engine/table_read.h"
#include "odbc/database.h"
#include "odbc/source_catalogue.h"
#include "support/rig.h"

namespace {

// Stores statements in memory; refuses the calls named in `refusals`
// (1-based) with the SQLSTATE and message given.
struct ScriptedDestination : engine::Destination {
  std::map<uint64_t, std::pair<std::string, std::string>> refusals;
  uint64_t failAt = 0;  // a call that fails as a lost connection would
  std::vector<std::string> stored;
  uint64_t calls = 0;

  void execute(const std::string& sql) override {
    ++calls;
    if (calls == failAt)
      throw CDBException(SQL_ERROR, "Lost connection to the destination\n", "State:08S01,Native:0,Origin:\n");
    auto refusal = refusals.find(calls);
    if (refusal != refusals.end())
      throw engine::DestinationError(refusal->second.first, refusal->second.second);
    stored.push_back(sql);
  }
};

// A source that fails after `failAfter` rows, as a server going away would.
struct FailingSource : engine::RowSource {
  engine::RowSource& inner;
  uint64_t failAfter;
  uint64_t moved = 0;
  FailingSource(engine::RowSource& source, uint64_t after) : inner(source), failAfter(after) {}
  CRecordset& rows() override { return inner.rows(); }
  bool atEnd() const override { return inner.atEnd(); }
  void next(std::size_t bytes) override {
    if (++moved == failAfter) throw std::runtime_error("server has gone away");
    inner.next(bytes);
  }
};

constexpr uint64_t kRows = 5000;  // more than the batches between the threads hold

class RowCopy : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!tabulex::test::rigAvailable()) return;
    config_ = new tabulex::test::PrivateOdbcConfig();
    tabulex::test::rigSql(
        "DROP DATABASE IF EXISTS engine_copy; CREATE DATABASE engine_copy CHARACTER SET utf8mb4;"
        "USE engine_copy;"
        "CREATE TABLE keyed (id INT NOT NULL PRIMARY KEY, name VARCHAR(20) NULL);"
        "INSERT INTO keyed SELECT seq, CONCAT('n', seq) FROM seq_1_to_" + std::to_string(kRows) + ";");
    auto rig = tabulex::test::rigEnvironment();
    ConversionSettings settings{"engine_copy", rig->user, rig->password, ""};
    ListTables(settings, [](const std::string&) {});  // registers the source data source
    connect_ = new std::string(engine::sourceConnectString(settings));
  }
  static void TearDownTestSuite() {
    delete connect_;
    delete config_;
    connect_ = nullptr;
    config_ = nullptr;
  }
  void SetUp() override { TABULEX_REQUIRE_RIG(); }

  engine::TablePlan plan() {
    engine::TablePlan plan;
    plan.sourceName = plan.destinationName = "keyed";
    engine::ColumnCatalogue catalogue(*connect_);
    plan.columns = catalogue.columns("keyed");
    return plan;
  }

  // Copies the table to `destination` on the calling thread's behalf.
  void copy(engine::RowSource* wrapper, engine::TableRead& read, ScriptedDestination& destination,
            const std::vector<std::string>& rowKey, engine::CopyCounts& counts) {
    engine::TablePlan table = plan();
    auto styles = engine::resultStyles(read.rows(), table, read.extraColumns());
    const auto caller = std::this_thread::get_id();
    engine::copyRows(wrapper ? *wrapper : read, styles, table, rowKey, destination, counts,
                     [&](uint64_t written) {
                       EXPECT_EQ(std::this_thread::get_id(), caller);
                       lastProgress_ = written;
                     });
  }

  uint64_t lastProgress_ = 0;
  static tabulex::test::PrivateOdbcConfig* config_;
  static std::string* connect_;
};

tabulex::test::PrivateOdbcConfig* RowCopy::config_ = nullptr;
std::string* RowCopy::connect_ = nullptr;

TEST_F(RowCopy, RowsRefusedAloneAreSkippedAndListedWhileTheCopyGoesOn) {
  for (bool keyed : {true, false}) {
    SCOPED_TRACE(keyed ? "listed by key" : "listed by number");
    ScriptedDestination destination;
    destination.refusals = {{2, {"23000", "The index 'PrimaryKey' already holds this value."}},
                            {4, {"22003", "Numeric value out of range."}},
                            {6, {"HY000", "the row needs 5100 bytes; a row holds at most 4060"}}};
    for (uint64_t call = 1000; call < 1020; ++call) destination.refusals[call] = {"22001", "too long"};
    engine::TableRead read(*connect_, "keyed", engine::ReadPlan{});
    engine::CopyCounts counts;
    copy(nullptr, read, destination, keyed ? std::vector<std::string>{"id"} : std::vector<std::string>{},
         counts);

    EXPECT_EQ(counts.read, kRows);
    EXPECT_EQ(counts.skipped, 23u);
    EXPECT_EQ(counts.written, kRows - 23);
    EXPECT_EQ(destination.stored.size(), kRows - 23);
    EXPECT_EQ(lastProgress_, kRows - 23);
    ASSERT_EQ(counts.skippedRows.size(), engine::TableOutcome::kMaxSkippedListed);
    EXPECT_EQ(counts.skippedRows[0].key, keyed ? "id=2" : "row 2");
    EXPECT_EQ(counts.skippedRows[0].reason, "The index 'PrimaryKey' already holds this value.");
    EXPECT_EQ(counts.skippedRows[2].key, keyed ? "id=6" : "row 6");
    EXPECT_EQ(counts.skippedRows[9].key, keyed ? "id=1006" : "row 1006");
    // The statements are exactly the single-row inserts, in the source's order.
    EXPECT_EQ(destination.stored[0], engine::insertStatement("keyed", {"1", "'n1'"}));
    EXPECT_EQ(destination.stored[1], engine::insertStatement("keyed", {"3", "'n3'"}));
    EXPECT_EQ(destination.stored.back(), engine::insertStatement("keyed", {"5000", "'n5000'"}));
  }
}

TEST_F(RowCopy, OtherFailuresEndTheCopyOnTheCallingThreadWithTheCountsSoFar) {
  struct Case {
    const char* what;
    std::pair<std::string, std::string> refusal;  // at row 1500; empty for a lost connection
    uint64_t sourceFailsAfter;                    // 0: the source does not fail
    const char* message;
    uint64_t read, written;
  };
  const Case cases[] = {
      {"the file", {"HY000", "the disk is full"}, 0, "row 1500: the disk is full", 1500, 1499},
      {"a driver refusal of the statement", {"42S02", "The table 'keyed' does not exist."}, 0,
       "row 1500: The table", 1500, 1499},
      {"the connection", {}, 0, "row 1500: Lost connection", 1500, 1499},
      {"the source", {}, 2000, "server has gone away", 2000, 2000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedDestination destination;
    if (c.sourceFailsAfter == 0) {
      if (c.refusal.first.empty())
        destination.failAt = 1500;
      else
        destination.refusals[1500] = c.refusal;
    }
    engine::TableRead read(*connect_, "keyed", engine::ReadPlan{});
    FailingSource failing(read, c.sourceFailsAfter);
    engine::CopyCounts counts;
    try {
      copy(c.sourceFailsAfter ? &failing : nullptr, read, destination, {"id"}, counts);
      ADD_FAILURE() << "the copy did not fail";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(counts.read, c.read);
    EXPECT_EQ(counts.written, c.written);
    EXPECT_EQ(counts.skipped, 0u);
    EXPECT_EQ(destination.stored.size(), c.written);
  }
}

}  // namespace
