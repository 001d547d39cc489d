// The read-back harness itself: mdbtools and mdb-reader read the Access
// samples to the same typed values, known values come out exactly, and a
// wrong expectation is reported at its row and column.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jet/database.h"
#include "support/readback.h"

namespace {

namespace fs = std::filesystem;
namespace rb = tabulex::readback;
using nlohmann::json;

std::string sample(const std::string& name) {
  return (fs::path(TABULEX_SOURCE_DIR) / "tests/data/jet4" / name).string();
}

void skipWithoutReaders() {
  for (const std::string& why : {rb::mdbtoolsMissing(), rb::mdbReaderMissing()})
    if (!why.empty()) GTEST_SKIP() << why;
}

// Expected contents taken from an mdb-reader dump.
std::vector<rb::ExpectedTable> expectedFromDump(const json& dump) {
  std::vector<rb::ExpectedTable> tables;
  for (const json& t : dump.at("tables")) {
    rb::ExpectedTable e;
    e.name = t.at("name").get<std::string>();
    for (const json& c : t.at("columns")) e.columns.push_back(c.at("name").get<std::string>());
    for (const json& r : t.at("rows")) e.rows.push_back(r);
    tables.push_back(std::move(e));
  }
  return tables;
}

rb::ExpectedTable expectedTable(const std::string& file, const std::string& table) {
  for (auto& t : expectedFromDump(rb::mdbReaderDump(sample(file))))
    if (t.name == table) return t;
  ADD_FAILURE() << "no table " << table << " in " << file;
  return {};
}

TEST(Readback, BothReadersAgreeOnEveryAccessSample) {
  skipWithoutReaders();
  for (const char* file :
       {"jackcess-compIndexTestV2000.mdb", "jackcess-indexTestV2000.mdb",
        "jackcess-test2V2000.mdb", "jackcess-test2V2003.mdb", "jackcess-testUnicodeCompV2003.mdb",
        "jackcess-fixedNumericTestV2000.mdb", "jackcess-overflowTestV2000.mdb",
        "jackcess-bigIndexTestV2000.mdb", "jackcess-empty2000.mdb"}) {
    SCOPED_TRACE(file);
    const std::string path = sample(file);
    auto tables = expectedFromDump(rb::mdbReaderDump(path));
    std::vector<std::string> names;
    for (const auto& t : tables) {
      names.push_back(t.name);
      EXPECT_TRUE(rb::mdbtoolsMatches(path, t));
    }
    auto listed = rb::mdbTables(path);
    std::sort(listed.begin(), listed.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(listed, names);
    if (rb::jetcheckMissing().empty()) {
      EXPECT_TRUE(rb::fileMatches(path, tables));
    }
  }
}

TEST(Readback, DumpGivesExactTypedValues) {
  skipWithoutReaders();
  json comp = rb::dumpTable(rb::mdbReaderDump(sample("jackcess-compIndexTestV2000.mdb")), "Table1");
  EXPECT_EQ(comp.at("rowCount"), 512);
  EXPECT_EQ(comp.at("rows")[0], json::parse(R"([19, "abc", "def"])"));
  EXPECT_EQ(comp.at("columns")[0].at("type"), "long");
  json slice = rb::mdbReaderTable(sample("jackcess-compIndexTestV2000.mdb"), "Table1", 510, 5);
  ASSERT_EQ(slice.at("rows").size(), 2u);
  EXPECT_EQ(slice.at("rows")[1], comp.at("rows")[511]);

  json uni = rb::dumpTable(rb::mdbReaderDump(sample("jackcess-testUnicodeCompV2003.mdb")), "Table");
  EXPECT_EQ(uni.at("rows")[2], json::parse(R"([3, "Мир"])"));
  EXPECT_EQ(uni.at("rows")[4], json::parse(R"([5, "漢字仮名交じり文"])"));

  json proj = rb::dumpTable(rb::mdbReaderDump(sample("jackcess-test2V2000.mdb")), "MSP_PROJECTS");
  std::map<std::string, json> row;
  for (size_t i = 0; i < proj.at("columns").size(); ++i)
    row[proj.at("columns")[i].at("name").get<std::string>()] = proj.at("rows")[0][i];
  EXPECT_EQ(row["PROJ_OPT_CALC_ACT_COSTS"], true);
  EXPECT_EQ(row["PROJ_INFO_CURRENT_DATE"], "2006-02-03 08:00:00");
  EXPECT_EQ(row["PROJ_CREATION_DATE_EX"], "2006-02-03 22:11:05");
  EXPECT_EQ(row["PROJ_OPT_CURRENCY_SYMBOL"], "£");
  EXPECT_TRUE(row["PROJ_INFO_STATUS_DATE"].is_null());
  EXPECT_EQ(row["RESERVED_BINARY_DATA"].get<std::string>().substr(0, 16), "151C2D0002000000");

  json numeric = rb::dumpTable(rb::mdbReaderDump(sample("jackcess-fixedNumericTestV2000.mdb")), "test");
  EXPECT_EQ(numeric.at("rows")[0], json::parse(R"(["some data", "1", "0", "0", "4", "-1", "1"])"));
  EXPECT_EQ(numeric.at("columns")[1].at("precision"), 18);

  auto exported = rb::mdbExport(sample("jackcess-test2V2000.mdb"), "MSP_PROJECTS");
  ASSERT_EQ(exported.rows.size(), 1u);
  auto col = std::find(exported.columns.begin(), exported.columns.end(), "PROJ_PROP_KEYWORDS");
  ASSERT_NE(col, exported.columns.end());
  EXPECT_FALSE(exported.rows[0][size_t(col - exported.columns.begin())].has_value());
  EXPECT_EQ(rb::mdbCount(sample("jackcess-compIndexTestV2000.mdb"), "Table1"), 512);
  EXPECT_NE(rb::mdbSchema(sample("jackcess-compIndexTestV2000.mdb")).find("CREATE TABLE [Table1]"),
            std::string::npos);
}

TEST(Readback, ReportsTheFirstDifferenceAtItsRowAndColumn) {
  skipWithoutReaders();
  const std::string path = sample("jackcess-compIndexTestV2000.mdb");
  rb::ExpectedTable table = expectedTable("jackcess-compIndexTestV2000.mdb", "Table1");
  ASSERT_EQ(table.rows.size(), 512u);

  rb::ExpectedTable wrongValue = table;
  wrongValue.rows[3][0] = 44;
  auto reader = rb::mdbReaderMatches(path, wrongValue);
  EXPECT_FALSE(reader);
  EXPECT_NE(std::string(reader.message()).find("row 3, column CD_AGENTE (long): expected 44, found 43"),
            std::string::npos) << reader.message();
  auto tools = rb::mdbtoolsMatches(path, wrongValue);
  EXPECT_FALSE(tools);
  EXPECT_NE(std::string(tools.message()).find("mdbtools, table Table1, row 3, column CD_AGENTE"),
            std::string::npos) << tools.message();

  rb::ExpectedTable nullInstead = table;
  nullInstead.rows[0][1] = nullptr;
  EXPECT_FALSE(rb::mdbReaderMatches(path, nullInstead));
  EXPECT_FALSE(rb::mdbtoolsMatches(path, nullInstead));

  rb::ExpectedTable missingRow = table;
  missingRow.rows.pop_back();
  auto count = rb::mdbReaderMatches(path, missingRow);
  EXPECT_FALSE(count);
  EXPECT_NE(std::string(count.message()).find("512"), std::string::npos) << count.message();

  // Storage order matters unless the test says otherwise.
  rb::ExpectedTable reversed = table;
  std::reverse(reversed.rows.begin(), reversed.rows.end());
  EXPECT_FALSE(rb::mdbReaderMatches(path, reversed));
  reversed.anyOrder = true;
  EXPECT_TRUE(rb::mdbReaderMatches(path, reversed));
  EXPECT_TRUE(rb::mdbtoolsMatches(path, reversed));
}

TEST(Readback, ComparesNumbersByTheirExactValue) {
  skipWithoutReaders();
  // Decimals compare by value whatever the trailing zeros; doubles compare
  // bit for bit, so -0.0 is not 0.
  const std::string numericPath = sample("jackcess-fixedNumericTestV2000.mdb");
  rb::ExpectedTable numeric = expectedTable("jackcess-fixedNumericTestV2000.mdb", "test");
  numeric.rows[0][1] = "1.000";
  numeric.rows[0][5] = "-1.0";
  EXPECT_TRUE(rb::mdbReaderMatches(numericPath, numeric));
  EXPECT_TRUE(rb::mdbtoolsMatches(numericPath, numeric));
  numeric.rows[0][1] = "1.0001";
  EXPECT_FALSE(rb::mdbReaderMatches(numericPath, numeric));
  EXPECT_FALSE(rb::mdbtoolsMatches(numericPath, numeric));

  const std::string projPath = sample("jackcess-test2V2000.mdb");
  rb::ExpectedTable proj = expectedTable("jackcess-test2V2000.mdb", "MSP_PROJECTS");
  size_t rate = size_t(std::find(proj.columns.begin(), proj.columns.end(), "PROJ_OPT_DEF_OVT_RATE") -
                       proj.columns.begin());
  ASSERT_LT(rate, proj.columns.size());
  proj.rows[0][rate] = 0.0;
  EXPECT_TRUE(rb::mdbReaderMatches(projPath, proj));
  proj.rows[0][rate] = -0.0;
  EXPECT_FALSE(rb::mdbReaderMatches(projPath, proj));
  proj.rows[0][rate] = 5e-324;  // the smallest double differs from 0 in its bits
  EXPECT_FALSE(rb::mdbReaderMatches(projPath, proj));
}

// A file our own library writes, with the values each reader finds hard,
// passes the whole read-back; a wrong expectation still fails it.
TEST(Readback, WholeFileCheckOfAWrittenDatabase) {
  skipWithoutReaders();
  if (auto why = rb::jetcheckMissing(); !why.empty()) GTEST_SKIP() << why;
  fs::path file = fs::temp_directory_path() / ("readback-" + std::to_string(::getpid()) + ".mdb");
  fs::remove(file);
  {
    auto db = jet::Database::create(file.string());
    jet::TableSpec spec;
    spec.name = "Hard values";
    auto column = [&](const char* name, jet::ColumnType type, uint16_t length = 0) {
      jet::ColumnSpec c;
      c.name = name;
      c.type = type;
      c.length = length;
      spec.columns.push_back(c);
    };
    column("id", jet::ColumnType::Long);
    column("when", jet::ColumnType::DateTime);
    column("ratio", jet::ColumnType::Double);
    column("bytes, raw", jet::ColumnType::Binary, 10);
    column("note \"quoted\"", jet::ColumnType::Memo);
    column("blob", jet::ColumnType::OLE);
    db->createTable(spec);
    const std::string big(300000, 'q');
    db->insertRow(spec.name, {int64_t(1), jet::toOleDate(1000, 1, 1, 13, 14, 15), 0.1 + 0.2,
                              jet::Bytes{0, 1, 2}, big, jet::Bytes(70000, 0xAB)});
    db->insertRow(spec.name, {int64_t(2), jet::toOleDate(1899, 12, 29, 6, 0, 0), -0.0,
                              jet::Bytes{7, 0, 9}, std::string(), jet::Bytes{}});
    db->insertRow(spec.name, {int64_t(3), jet::toOleDate(9999, 12, 31, 23, 59, 59), 5e-324,
                              jet::Null{}, jet::Null{}, jet::Null{}});
  }
  std::string blobHex;
  for (int i = 0; i < 70000; ++i) blobHex += "AB";
  rb::ExpectedTable table{
      "Hard values", {"id", "when", "ratio", "bytes, raw", "note \"quoted\"", "blob"}, {}, false};
  table.rows.push_back(
      {1, "1000-01-01 13:14:15", 0.1 + 0.2, "000102", std::string(300000, 'q'), blobHex});
  table.rows.push_back({2, "1899-12-29 06:00:00", -0.0, "070009", "", ""});
  table.rows.push_back({3, "9999-12-31 23:59:59", 5e-324, nullptr, nullptr, nullptr});
  EXPECT_TRUE(rb::fileMatches(file.string(), {table}));

  rb::ExpectedTable wrongDate = table;
  wrongDate.rows[0][1] = "1000-01-02 13:14:15";
  EXPECT_FALSE(rb::fileMatches(file.string(), {wrongDate}));
  rb::ExpectedTable wrongDouble = table;
  wrongDouble.rows[0][2] = 0.3;
  EXPECT_FALSE(rb::fileMatches(file.string(), {wrongDouble}));
  fs::remove(file);
}

// Expected rows built straight from the inserted values read back equal
// through both readers, for every column type.
TEST(Readback, TypedValuesOfEveryColumnType) {
  skipWithoutReaders();
  if (auto why = rb::jetcheckMissing(); !why.empty()) GTEST_SKIP() << why;
  fs::path file = fs::temp_directory_path() / ("typed-" + std::to_string(::getpid()) + ".mdb");
  fs::remove(file);
  jet::TableSpec spec;
  spec.name = "Every type";
  using T = jet::ColumnType;
  const std::vector<std::pair<const char*, T>> columns = {
      {"yes", T::Boolean}, {"byte", T::Byte},       {"int", T::Integer}, {"long", T::Long},
      {"money", T::Currency}, {"single", T::Single}, {"double", T::Double},
      {"when", T::DateTime}, {"bin", T::Binary},     {"text", T::Text},   {"ole", T::OLE},
      {"memo", T::Memo},   {"guid", T::GUID},        {"dec", T::Numeric}};
  for (auto [name, type] : columns) {
    jet::ColumnSpec c;
    c.name = name;
    c.type = type;
    c.length = (type == T::Text || type == T::Binary) ? 40 : 0;
    c.precision = 28;
    c.scale = 6;
    spec.columns.push_back(c);
  }
  jet::Guid guid;
  for (int i = 0; i < 16; ++i) guid.bytes[i] = uint8_t(0x10 * i + i);
  jet::Numeric dec{true, (unsigned __int128)123456789012345678ULL * 1000000000ULL + 987654321ULL, 6};
  std::vector<std::vector<jet::Value>> rows = {
      {true, int64_t(255), int64_t(-32768), int64_t(2147483647), jet::Currency{-922337203685477580},
       double(0.1f), 1.0 / 3.0, jet::toOleDate(2024, 2, 29, 23, 59, 59), jet::Bytes{0xFF, 0x10},
       std::string("Grüße, 日本, مرحبا, 🙂"), jet::Bytes{1, 2, 3}, std::string(5000, 'm'), guid, dec},
      {false, int64_t(0), int64_t(0), int64_t(-2147483648LL), jet::Currency{0}, -0.0, 1e-300,
       jet::toOleDate(1753, 1, 1), jet::Null{}, std::string("a,b\n\"c\"\r\td'' \\"), jet::Null{}, jet::Null{},
       jet::Null{}, jet::Numeric{false, 0, 6}},
  };
  {
    auto db = jet::Database::create(file.string());
    db->createTable(spec);
    for (const auto& r : rows) db->insertRow(spec.name, r);
  }
  rb::ExpectedTable expected{spec.name, {}, {}, false};
  for (auto [name, type] : columns) expected.columns.push_back(name);
  for (const auto& r : rows) expected.rows.push_back(rb::typedRow(r));
  EXPECT_EQ(expected.rows[0][4], "-92233720368547.7580");
  EXPECT_EQ(expected.rows[0][12], "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  EXPECT_EQ(expected.rows[0][13], "-123456789012345678987.654321");
  EXPECT_EQ(expected.rows[1][7], "1753-01-01 00:00:00");
  EXPECT_TRUE(rb::fileMatches(file.string(), {expected}));
  fs::remove(file);
}

TEST(Readback, ToolFailuresAreErrorsNotEmptyResults) {
  skipWithoutReaders();
  EXPECT_THROW(rb::mdbCount(sample("jackcess-compIndexTestV2000.mdb"), "NoSuchTable"), rb::ReadbackError);
  EXPECT_THROW(rb::mdbReaderDump(sample("no-such-file.mdb")), rb::ReadbackError);
  auto result = rb::mdbReaderMatches(sample("jackcess-compIndexTestV2000.mdb"),
                                     rb::ExpectedTable{"NoSuchTable", {}, {}, false});
  EXPECT_FALSE(result);
}

}  // namespace
