// The conversion run against the real server and the real Access driver:
// what the observer is told, per-table outcomes when tables fail, and a
// second run into a file that already holds the tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "engine/conversion_run.h"
#include "odbc/data_source_lock.h"
#include "odbc/data_source_registration.h"
#include "odbc/source_catalogue.h"
#include "support/readback.h"
#include "support/rig.h"

namespace rb = tabulex::readback;
using nlohmann::json;

namespace {

// The Access driver the rig registers, built in this build folder.
std::string accessDriverMissing() {
  if (std::filesystem::exists(std::string(TABULEX_BINARY_DIR) + "/drivers/access/libtabulexaccess.so"))
    return {};
  return "the Access driver is not built (target tabulexaccess)";
}

struct Recorder : engine::ConversionObserver {
  int pleaseSelect = 0;
  std::vector<std::string> statusTexts;
  std::vector<int> progress;  // lower, upper, then each step, then the final position
  std::vector<engine::TableOutcome> finished;
  std::vector<engine::TableOutcome> notice;
  bool noticeShown = false;

  void pleaseSelectTable() override { ++pleaseSelect; }
  void startProgress(int lower, int upper) override { progress = {lower, upper}; }
  void setStatusText(const std::string& text) override { statusTexts.push_back(text); }
  void stepProgress(int step) override { progress.push_back(step); }
  void setProgressPosition(int position) override { progress.push_back(-position); }
  void tableFinished(const engine::TableOutcome& outcome) override { finished.push_back(outcome); }
  void conversionFinished(const std::vector<engine::TableOutcome>& outcomes) override {
    noticeShown = true;
    notice = outcomes;
  }
};

class ConversionRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tabulex::test::rigAvailable()) config_ = new tabulex::test::PrivateOdbcConfig();
  }
  static void TearDownTestSuite() {
    delete config_;
    config_ = nullptr;
  }
  void SetUp() override {
    TABULEX_REQUIRE_RIG();
    for (const std::string& missing : {rb::mdbtoolsMissing(), rb::mdbReaderMissing(), rb::jetcheckMissing(), accessDriverMissing()})
      if (!missing.empty()) GTEST_SKIP() << missing;
  }

  ConversionSettings settingsFor(const std::string& database, const std::string& file) {
    auto rig = tabulex::test::rigEnvironment();
    ConversionSettings settings{database, rig->user, rig->password, (config_->folder() / file).string()};
    std::vector<std::string> tables;
    ListTables(settings, [&](const std::string& name) { tables.push_back(name); });
    return settings;
  }

  static tabulex::test::PrivateOdbcConfig* config_;
};

tabulex::test::PrivateOdbcConfig* ConversionRunTest::config_ = nullptr;

// Each test has a database of its own, so that tests may run side by side.
std::string runSql(const std::string& database) {
  return "DROP DATABASE IF EXISTS " + database + "; CREATE DATABASE " + database +
         " CHARACTER SET utf8mb4; USE " + database + ";" + R"(
CREATE TABLE pairs (a INT NOT NULL, b VARCHAR(10) NOT NULL, PRIMARY KEY (a, b));
INSERT INTO pairs VALUES (1, 'x'), (1, 'y'), (2, 'x');
-- Distinct in MySQL, one key for Access, which compares text without regard
-- to letter case: the second row is refused on its own and skipped.
CREATE TABLE casekey (k VARCHAR(5) COLLATE utf8mb4_bin NOT NULL PRIMARY KEY, n INT);
INSERT INTO casekey VALUES ('A', 1), ('a', 2), ('b', 3);
CREATE TABLE tail (id INT NOT NULL PRIMARY KEY);
INSERT INTO tail VALUES (1), (2);
)";
}

rb::ExpectedTable pairsTable() {
  return {"pairs", {"a", "b"}, {json::array({1, "x"}), json::array({1, "y"}), json::array({2, "x"})}, true};
}

TEST_F(ConversionRunTest, FailingTablesAndSkippedRowsAreReportedAndTheRestStillConverts) {
  tabulex::test::rigSql(runSql("engine_run"));
  for (bool bulk : {false, true}) {
    SCOPED_TRACE(bulk ? "one connection per table" : "one connection per row");
    std::string file = bulk ? "failing-bulk" : "failing";
    ConversionSettings settings = settingsFor("engine_run", file);
    Recorder recorder;
    engine::RunOptions options;
    options.bulk = bulk;
    auto outcomes = engine::ConversionRun({"pairs", "casekey", "missing", "tail"}, settings, recorder, options);

    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_TRUE(outcomes[0].ok) << outcomes[0].message;
    EXPECT_EQ(outcomes[0].rowsWritten, 3u);
    EXPECT_TRUE(outcomes[1].ok) << outcomes[1].message;
    EXPECT_STREQ(outcomes[1].status(), "partial");
    EXPECT_EQ(outcomes[1].rowsRead, 3u);
    EXPECT_EQ(outcomes[1].rowsWritten, 2u);
    EXPECT_EQ(outcomes[1].rowsSkipped, 1u);
    ASSERT_EQ(outcomes[1].skipped.size(), 1u);
    EXPECT_EQ(outcomes[1].skipped[0].key, "k='a'");
    EXPECT_FALSE(outcomes[1].skipped[0].reason.empty());
    EXPECT_FALSE(outcomes[2].ok);
    EXPECT_FALSE(outcomes[2].message.empty());
    EXPECT_TRUE(outcomes[3].ok) << outcomes[3].message;

    EXPECT_EQ(recorder.finished.size(), 4u);
    EXPECT_TRUE(recorder.noticeShown);
    EXPECT_EQ(recorder.notice.size(), 4u);
    // Tables abandoned after their columns were listed take no step; the bar
    // still ends full.
    EXPECT_EQ(recorder.progress, (std::vector<int>{40, 650, 162, 162, 162, -650}));
    ASSERT_FALSE(recorder.statusTexts.empty());
    EXPECT_EQ(recorder.statusTexts.front(), "Converting Database...");
    EXPECT_EQ(recorder.statusTexts[1], "Converting....Tables   pairs");
    EXPECT_NE(recorder.statusTexts.back(), "Database Conversion Compleated");

    rb::ExpectedTable casekey{"casekey", {"k", "n"}, {json::array({"A", 1}), json::array({"b", 3})}, true};
    rb::ExpectedTable tail{"tail", {"id"}, {json::array({1}), json::array({2})}, true};
    EXPECT_TRUE(rb::fileMatches(settings.destinationPath + ".mdb", {pairsTable(), casekey, tail}));
  }
}

// Tables larger than a chunk, read in chunks by key and by position (a
// small chunk size stands in for a large table), give the file exactly the
// rows of one SELECT; a row refused on its own inside a chunk is skipped.
TEST_F(ConversionRunTest, TablesReadInChunksConvertExactly) {
  tabulex::test::rigSql(R"(
DROP DATABASE IF EXISTS engine_chunked; CREATE DATABASE engine_chunked CHARACTER SET utf8mb4; USE engine_chunked;
CREATE TABLE names (a VARCHAR(10) COLLATE utf8mb4_bin NOT NULL, b INT NOT NULL, PRIMARY KEY (a, b));
INSERT INTO names VALUES ('Ab', 1), ('ab', 1), ('x', 1), ('X', 2), ('x', 2);
INSERT INTO names SELECT 'f', seq FROM seq_1_to_8;
CREATE TABLE loose (v INT, w VARCHAR(5)) ENGINE=MyISAM;
INSERT INTO loose SELECT seq % 4, IF(seq % 2, 'x', NULL) FROM seq_1_to_11;
ANALYZE TABLE names, loose;
)");
  ConversionSettings settings = settingsFor("engine_chunked", "chunked");
  Recorder recorder;
  engine::RunOptions options;
  options.bulk = true;
  options.chunkRows = 3;
  auto outcomes = engine::ConversionRun({"names", "loose"}, settings, recorder, options);
  ASSERT_EQ(outcomes.size(), 2u);
  // 'Ab' and 'ab' are one key to Access: the later of each pair in key
  // order is skipped.
  EXPECT_TRUE(outcomes[0].ok) << outcomes[0].message;
  EXPECT_EQ(outcomes[0].rowsRead, 13u);
  EXPECT_EQ(outcomes[0].rowsSkipped, 2u);
  ASSERT_EQ(outcomes[0].skipped.size(), 2u);
  EXPECT_EQ(outcomes[0].skipped[0].key, "a='ab', b=1");
  EXPECT_EQ(outcomes[0].skipped[1].key, "a='x', b=2");
  EXPECT_TRUE(outcomes[1].ok) << outcomes[1].message;
  EXPECT_EQ(outcomes[1].rowsWritten, 11u);

  rb::ExpectedTable names{"names", {"a", "b"},
                          {json::array({"Ab", 1}), json::array({"x", 1}), json::array({"X", 2})}, true};
  for (int seq = 1; seq <= 8; ++seq) names.rows.push_back(json::array({"f", seq}));
  rb::ExpectedTable loose{"loose", {"v", "w"}, {}, true};
  for (int seq = 1; seq <= 11; ++seq)
    loose.rows.push_back(json::array({seq % 4, seq % 2 ? json("x") : json(nullptr)}));
  EXPECT_TRUE(rb::fileMatches(settings.destinationPath + ".mdb", {names, loose}));
}

TEST_F(ConversionRunTest, SecondRunIntoTheSameFileFailsEachTableAndKeepsTheFirstRunsRows) {
  tabulex::test::rigSql(runSql("engine_twice"));
  ConversionSettings settings = settingsFor("engine_twice", "twice");
  Recorder first;
  auto firstOutcomes = engine::ConversionRun({"pairs"}, settings, first);
  ASSERT_EQ(firstOutcomes.size(), 1u);
  ASSERT_TRUE(firstOutcomes[0].ok) << firstOutcomes[0].message;
  EXPECT_EQ(first.statusTexts.back(), "Database Conversion Compleated");

  tabulex::test::rigSql("USE engine_twice; INSERT INTO pairs VALUES (3, 'z');");
  Recorder second;
  auto secondOutcomes = engine::ConversionRun({"pairs"}, settings, second);
  ASSERT_EQ(secondOutcomes.size(), 1u);
  EXPECT_FALSE(secondOutcomes[0].ok);
  EXPECT_EQ(secondOutcomes[0].rowsWritten, 0u);
  EXPECT_NE(secondOutcomes[0].message.find("exist"), std::string::npos) << secondOutcomes[0].message;
  EXPECT_NE(second.statusTexts.back(), "Database Conversion Compleated");
  EXPECT_TRUE(rb::fileMatches(settings.destinationPath + ".mdb", {pairsTable()}));
}

TEST_F(ConversionRunTest, NothingSelectedCreatesNothing) {
  ConversionSettings settings = settingsFor("mysql", "nothing");
  Recorder recorder;
  EXPECT_TRUE(engine::ConversionRun({}, settings, recorder).empty());
  EXPECT_EQ(recorder.pleaseSelect, 1);
  EXPECT_TRUE(recorder.progress.empty());
  EXPECT_FALSE(recorder.noticeShown);
  EXPECT_FALSE(std::filesystem::exists(settings.destinationPath + ".mdb"));
}

// The wizard's run: it waits while another run holds the data sources,
// points "dsnms" at its own database whatever another wizard's listing left
// there, and removes what it registered when it is done.
TEST_F(ConversionRunTest, AWizardRunWaitsForTheDataSourcesAndRemovesWhatItRegistered) {
  tabulex::test::rigSql(runSql("engine_mine") + runSql("engine_other") +
                        "DELETE FROM engine_other.pairs WHERE a = 1;");
  ConversionSettings settings = settingsFor("engine_mine", "mine");
  // Another wizard listed its own database's tables since.
  ASSERT_TRUE(AddMySqlDataSource("engine_other", kSourceDataSource, ""));

  Recorder recorder;
  std::vector<engine::TableOutcome> outcomes;
  std::atomic<bool> finished{false};
  auto other = std::make_unique<DataSourceLock>();
  std::thread run([&] {
    outcomes = engine::ConversionRun({"pairs"}, settings, recorder);
    finished = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(finished);
  other.reset();
  run.join();

  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].ok) << outcomes[0].message;
  ASSERT_FALSE(recorder.statusTexts.empty());
  EXPECT_EQ(recorder.statusTexts.front(), kWaitingForDataSourcesText);
  EXPECT_TRUE(rb::fileMatches(settings.destinationPath + ".mdb", {pairsTable()}));
  const std::string ini = tabulex::test::readTextFile(config_->userIni());
  EXPECT_EQ(ini.find("[dsnms]"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("[dsna]"), std::string::npos) << ini;
}

}  // namespace
