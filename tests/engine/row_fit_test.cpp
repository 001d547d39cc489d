// The column plan for rows wider than a Jet row: the worst-case row as the
// Jet library counts it, and the text columns made Memo so that it fits.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdlib.h>

#include "drivers/access/sql_parser.h"
#include "drivers/access/values.h"
#include "engine/row_fit.h"
#include "engine/source_schema.h"
#include "engine/table_schema.h"
#include "engine/table_statement.h"
#include "jet/database.h"

using namespace engine;

namespace {

SourceColumn col(std::string name, int16_t type, std::string typeName, int32_t size = 0,
                 int16_t digits = 0) {
  return {std::move(name), type, std::move(typeName), size, digits, "YES"};
}

TablePlan planOf(std::vector<SourceColumn> columns, std::vector<std::string> key = {}) {
  TablePlan plan;
  plan.sourceName = "t";
  plan.destinationName = "t";
  plan.columns = std::move(columns);
  plan.keyColumns = std::move(key);
  nameColumns(plan);
  return plan;
}

// The value of a column that takes the most room in a row: text that
// cannot be compressed, a long value just small enough to stay in the row.
jet::Value widest(const jet::ColumnSpec& c) {
  std::string letters;
  switch (c.type) {
    case jet::ColumnType::Text:
      for (int i = 0; i < c.length; ++i) letters += "\xD0\x96";  // U+0416, two bytes stored
      return letters;
    case jet::ColumnType::Memo:
      for (int i = 0; i < 32; ++i) letters += "\xD0\x96";
      return letters;
    case jet::ColumnType::OLE:
      return jet::Bytes(64, 0xAB);
    case jet::ColumnType::Numeric:
      return jet::Numeric{false, 1, c.scale};
    case jet::ColumnType::DateTime:
      return jet::toOleDate(2000, 1, 1);
    case jet::ColumnType::Boolean:
      return true;
    case jet::ColumnType::Double:
    case jet::ColumnType::Single:
      return 1.5;
    default:
      return int64_t{1};
  }
}

// What the Jet library says about the widest row of the table the plan
// defines: the bytes it needs, or 0 when it stored it.
std::size_t jetRowBytes(const TablePlan& plan) {
  auto parsed = tabulex::access::parseStatement(createTableStatement(plan));
  const auto& create = std::get<tabulex::access::CreateTable>(parsed);
  jet::TableSpec spec;
  spec.name = "t";
  std::vector<jet::Value> row;
  for (const auto& definition : create.columns) {
    jet::ColumnSpec column;
    column.name = definition.name;
    tabulex::access::applyTypeName(definition.type, column);
    spec.columns.push_back(column);
    row.push_back(widest(column));
  }
  std::string folder = (std::filesystem::temp_directory_path() / "tabulex-fit-XXXXXX").string();
  if (!mkdtemp(folder.data())) throw std::runtime_error("no scratch folder");
  std::size_t needed = 0;
  {
    auto db = jet::Database::create(folder + "/fit.mdb");
    db->createTable(spec);
    try {
      db->insertRow("t", row);
    } catch (const jet::Error& e) {
      std::string what = e.what();
      std::size_t at = what.find("needs ");
      needed = at == std::string::npos ? 1 : std::stoul(what.substr(at + 6));
    }
  }
  std::filesystem::remove_all(folder);
  return needed;
}

std::vector<SourceColumn> texts(int count, int32_t size, const std::string& prefix) {
  std::vector<SourceColumn> out;
  for (int i = 1; i <= count; ++i) out.push_back(col(prefix + std::to_string(i), -9, "VARCHAR", size));
  return out;
}

}  // namespace

// The engine's count agrees with the library's, one byte either side of the
// limit and for every kind of column the mapping gives.
TEST(RowFit, WorstCaseRowIsCountedAsJetCountsIt) {
  std::vector<SourceColumn> mixed = {col("id", 4, "INT"),           col("b", -7, "BIT"),
                                     col("small", 5, "SMALLINT"),   col("tiny", -6, "TINYINT UNSIGNED"),
                                     col("dec", 3, "DECIMAL", 12, 2), col("dbl", 8, "DOUBLE"),
                                     col("flt", 7, "FLOAT"),        col("when", 93, "DATETIME"),
                                     col("day", 91, "DATE"),        col("blob", -4, "BLOB"),
                                     col("memo", -10, "TEXT")};
  for (int32_t size : {1, 100, 255}) {
    auto columns = mixed;
    for (const SourceColumn& c : texts(7, size, "v")) columns.push_back(c);
    TablePlan plan = planOf(columns);
    const std::size_t counted = worstCaseRowBytes(plan.columns);
    const std::size_t jet = jetRowBytes(plan);
    if (counted <= kJetRowLimit)
      EXPECT_EQ(jet, 0u) << "Jet refused a row the plan counts at " << counted;
    else
      EXPECT_EQ(jet, counted);
  }
  // Two bytes of column count, the null mask, two bytes an offset and two
  // more for the offset count and the end, two bytes a character.
  TablePlan atLimit = planOf({col("a", -9, "VARCHAR", 255), col("b", -9, "VARCHAR", 255)});
  EXPECT_EQ(worstCaseRowBytes(atLimit.columns), 2u + 1u + 8u + 1020u);
  std::vector<SourceColumn> edge = texts(7, 255, "w");
  edge.push_back(col("x", -9, "VARCHAR", 231));  // 2 + 2 + 2 * 11 + 2 * 2017
  edge.push_back(col("y", -9, "VARCHAR", 1));
  EXPECT_EQ(worstCaseRowBytes(edge), kJetRowLimit);
  EXPECT_EQ(jetRowBytes(planOf(edge)), 0u);
  edge.back().columnSize = 2;
  EXPECT_EQ(worstCaseRowBytes(edge), kJetRowLimit + 2);
  EXPECT_EQ(jetRowBytes(planOf(edge)), kJetRowLimit + 2);
}

// Ten VARCHAR(255) columns of Cyrillic text need about 5,100 bytes: the
// widest unindexed ones become Memo, one after the other, until a row fits.
TEST(RowFit, WidestUnindexedTextBecomesMemoUntilTheRowFits) {
  std::vector<SourceColumn> columns = {col("id", 4, "INT"), col("narrow", -9, "VARCHAR", 100)};
  for (const SourceColumn& c : texts(10, 255, "c")) columns.push_back(c);
  TablePlan plan = planOf(columns, {"c1"});
  fitRowIntoJet(plan, {"id", "c1"});
  EXPECT_LE(worstCaseRowBytes(plan.columns), kJetRowLimit);
  EXPECT_EQ(jetRowBytes(plan), 0u);
  std::vector<std::string> memos;
  for (const SourceColumn& c : plan.columns)
    if (c.memo) memos.push_back(c.name);
  EXPECT_EQ(memos, (std::vector<std::string>{"c2", "c3", "c4"}));
  ASSERT_EQ(plan.notes.size(), 3u);
  EXPECT_NE(plan.notes[0].find("column c2 made Memo"), std::string::npos) << plan.notes[0];
  EXPECT_NE(createTableStatement(plan).find("[c2] Memo"), std::string::npos);
  EXPECT_NE(createTableStatement(plan).find("[c1] VARCHAR(255)PRIMARY KEY"), std::string::npos);

  // A table that fits is left alone.
  TablePlan small = planOf(texts(3, 255, "s"));
  fitRowIntoJet(small, {});
  EXPECT_TRUE(small.notes.empty());
  for (const SourceColumn& c : small.columns) EXPECT_FALSE(c.memo);
}

TEST(RowFit, IndexedColumnsAloneTooWideAreRefusedWithTheReason) {
  std::vector<SourceColumn> columns = texts(8, 255, "k");
  columns.push_back(col("free", -9, "VARCHAR", 255));
  TablePlan plan = planOf(columns);
  std::vector<std::string> indexed;
  for (int i = 1; i <= 8; ++i) indexed.push_back("k" + std::to_string(i));
  try {
    fitRowIntoJet(plan, indexed);
    FAIL() << "no plan fits";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("4060"), std::string::npos) << e.what();
  }
}

// The other indexes and the foreign keys keep their columns out of Memo when
// the row can fit so; when it cannot, only the key stays, and the index over
// a column made Memo is left out with its reason instead of losing the rows.
TEST(RowFit, IndexedColumnsStayIndexableWhileTheRowCanFit) {
  SourceTableInfo info;
  SourceIndex primary{"PRIMARY", true, true, "BTREE", {{"id"}}};
  SourceIndex byName{"by_name", false, false, "BTREE", {{"c1"}, {"c2", 10}}};
  SourceIndex words{"words", false, false, "FULLTEXT", {{"c3"}}};
  info.indexes = {primary, byName, words};
  SourceForeignKey owner;
  owner.name = "owner";
  owner.referencedTable = "people";
  owner.columns = {"c4"};
  owner.referencedColumns = {"name"};
  info.foreignKeys = {owner};
  EXPECT_EQ(indexedColumns(info), (std::vector<std::string>{"id", "c1", "c2", "c4"}));

  std::vector<SourceColumn> columns = {col("id", 4, "INT")};
  for (const SourceColumn& c : texts(10, 255, "c")) columns.push_back(c);
  TablePlan plan = planOf(columns, {"id"});
  fitRowKeepingIndexes(plan, indexedColumns(info));
  std::vector<std::string> memos;
  for (const SourceColumn& c : plan.columns)
    if (c.memo) memos.push_back(c.name);
  EXPECT_EQ(memos, (std::vector<std::string>{"c3", "c5", "c6"}));
  EXPECT_EQ(plan.notes.size(), 3u);
  EXPECT_EQ(jetRowBytes(plan), 0u);

  // Nine indexed VARCHAR(255) columns cannot all stay Text: the key alone
  // is kept, and the plan of the indexes says which one was lost.
  SourceIndex wide{"wide", false, false, "BTREE", {}};
  for (int i = 1; i <= 9; ++i) wide.columns.push_back({"c" + std::to_string(i)});
  info.indexes = {primary, wide};
  info.foreignKeys.clear();
  TablePlan tight = planOf(columns, {"id"});
  fitRowKeepingIndexes(tight, indexedColumns(info));
  EXPECT_LE(worstCaseRowBytes(tight.columns), kJetRowLimit);
  EXPECT_FALSE(tight.columns[0].memo);
  EXPECT_TRUE(tight.columns[1].memo);
  EXPECT_EQ(tight.notes.size(), 3u) << "only as many Memo columns as the row needs";
  TableSchemaPlan schema = planTableSchema(tight, info, 0);
  EXPECT_TRUE(schema.indexes.empty());
  ASSERT_EQ(schema.notes.size(), 1u);
  EXPECT_NE(schema.notes[0].find("index wide left out: Access cannot index the Memo column c"),
            std::string::npos)
      << schema.notes[0];
}
