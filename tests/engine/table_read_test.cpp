// Large tables read in chunks: which read a table gets, the text of the
// chunk queries, and, against the rig's server, that the chunks together
// give exactly the rows one SELECT gives, for keys of every kind that orders
// chunks (text under case- and accent-insensitive, space-padding collations
// included), for tables read by position, and that the chunks see one
// moment of the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/column_catalogue.h"
#include "engine/row_copy.h"
#include "engine/table_read.h"
#include "odbc/source_catalogue.h"
#include "support/rig.h"

using engine::BoundaryKind;
using engine::ReadPlan;
using engine::SourceTableInfo;

namespace {

// What the catalogue says about a table, reduced to what the read uses.
SourceTableInfo tableInfo(const std::string& storage, uint64_t rows,
                          const std::vector<std::pair<std::string, std::string>>& keyColumns,
                          bool primary = true) {
  SourceTableInfo info;
  info.engine = storage;
  info.rowEstimate = rows;
  engine::SourceIndex key;
  key.name = primary ? "PRIMARY" : "code";
  key.primary = primary;
  key.unique = true;
  key.type = "BTREE";
  for (const auto& [name, type] : keyColumns) {
    engine::SourceIndexColumn column;
    column.name = name;
    column.nullable = false;
    key.columns.push_back(column);
    engine::SourceColumnExtra extra;
    extra.name = name;
    extra.columnType = type;
    info.columns.push_back(extra);
  }
  if (!keyColumns.empty()) info.indexes.push_back(key);
  return info;
}

}  // namespace

TEST(TableReadPlan, KeysThatOrderChunksAndTheReadsOfTheOthers) {
  // Below one chunk: one SELECT, no snapshot.
  ReadPlan small = engine::planTableRead(tableInfo("InnoDB", 99, {{"id", "int(11)"}}), 100);
  EXPECT_EQ(small.mode, ReadPlan::Mode::Whole);
  EXPECT_FALSE(small.snapshot || small.readLock);

  ReadPlan keyed = engine::planTableRead(
      tableInfo("InnoDB", 100, {{"a", "varchar(10)"}, {"b", "bigint(20) unsigned"}, {"c", "datetime(6)"},
                                {"d", "varbinary(8)"}, {"e", "decimal(12,3)"}, {"f", "TIME"}}),
      100);
  EXPECT_EQ(keyed.mode, ReadPlan::Mode::ByKey);
  EXPECT_TRUE(keyed.snapshot);
  EXPECT_FALSE(keyed.readLock);
  ASSERT_EQ(keyed.key.size(), 6u);
  EXPECT_EQ(keyed.key[0].kind, BoundaryKind::Text);
  EXPECT_EQ(keyed.key[1].kind, BoundaryKind::Number);
  EXPECT_EQ(keyed.key[2].kind, BoundaryKind::Temporal);
  EXPECT_EQ(keyed.key[3].kind, BoundaryKind::Binary);
  EXPECT_EQ(keyed.key[4].kind, BoundaryKind::Number);
  EXPECT_EQ(keyed.key[5].kind, BoundaryKind::Temporal);

  // Keys whose order and comparison disagree, or whose text is not exact,
  // and tables without a key, are read by position; engines without
  // transactions are locked instead.
  for (const char* type : {"double", "float", "timestamp", "enum('b','a')", "set('x')", "bit(1)", "text",
                           "blob", "uuid"}) {
    ReadPlan plan = engine::planTableRead(tableInfo("InnoDB", 1000, {{"id", "int"}, {"k", type}}), 10);
    EXPECT_EQ(plan.mode, ReadPlan::Mode::ByPosition) << type;
    EXPECT_TRUE(plan.key.empty()) << type;
  }
  SourceTableInfo hashed = tableInfo("MEMORY", 1000, {{"id", "int"}});
  hashed.indexes[0].type = "HASH";
  EXPECT_EQ(engine::planTableRead(hashed, 10).mode, ReadPlan::Mode::ByPosition);
  ReadPlan unkeyed = engine::planTableRead(tableInfo("MyISAM", 1000, {}), 10);
  EXPECT_EQ(unkeyed.mode, ReadPlan::Mode::ByPosition);
  EXPECT_TRUE(unkeyed.readLock);
  EXPECT_FALSE(unkeyed.snapshot);
  EXPECT_TRUE(engine::planTableRead(tableInfo("Aria", 1000, {{"id", "int"}}), 10).readLock);

  // A view has no estimate: chunked whatever its size, in a snapshot.
  SourceTableInfo view = tableInfo("", 0, {});
  view.isView = true;
  ReadPlan viewPlan = engine::planTableRead(view, 10);
  EXPECT_EQ(viewPlan.mode, ReadPlan::Mode::ByPosition);
  EXPECT_TRUE(viewPlan.snapshot);
}

TEST(TableReadPlan, ChunkQueriesStartAfterTheLastRowsKeyWithLiteralsThatCannotEscape) {
  ReadPlan plan = engine::planTableRead(
      tableInfo("InnoDB", 100, {{"a`b", "varchar(10)"}, {"n", "int"}, {"d", "date"}}), 10);
  EXPECT_EQ(engine::chunkQuery("t", plan, {}, 0, 10),
            "Select *, HEX(CONVERT(`a``b` USING utf8mb4)), CAST(`n` AS CHAR), CAST(`d` AS CHAR) from `t` "
            "ORDER BY `a``b`, `n`, `d` LIMIT 10");
  std::vector<std::string> boundary = {engine::boundaryLiteral(BoundaryKind::Text, "27205C"),
                                       engine::boundaryLiteral(BoundaryKind::Number, "-5"),
                                       engine::boundaryLiteral(BoundaryKind::Temporal, "2020-01-02")};
  EXPECT_EQ(engine::chunkQuery("t", plan, boundary, 10, 7),
            "Select *, HEX(CONVERT(`a``b` USING utf8mb4)), CAST(`n` AS CHAR), CAST(`d` AS CHAR) from `t` "
            "WHERE `a``b` >= _utf8mb4 X'27205C' AND ((`a``b` > _utf8mb4 X'27205C') OR "
            "(`a``b` = _utf8mb4 X'27205C' AND `n` > -5) OR "
            "(`a``b` = _utf8mb4 X'27205C' AND `n` = -5 AND `d` > '2020-01-02')) "
            "ORDER BY `a``b`, `n`, `d` LIMIT 7");
  EXPECT_EQ(engine::boundaryLiteral(BoundaryKind::Text, ""), "_utf8mb4 X''");
  EXPECT_EQ(engine::boundaryLiteral(BoundaryKind::Binary, "00FF"), "X'00FF'");
  for (auto [kind, text] : std::vector<std::pair<BoundaryKind, std::string>>{
           {BoundaryKind::Number, "1 OR 1=1"}, {BoundaryKind::Number, ""},
           {BoundaryKind::Temporal, "2020-01-01' OR '1"}, {BoundaryKind::Text, "ABC"},
           {BoundaryKind::Binary, "0x00"}})
    EXPECT_THROW(engine::boundaryLiteral(kind, text), std::runtime_error) << text;

  ReadPlan byPosition = engine::planTableRead(tableInfo("InnoDB", 100, {}), 10);
  EXPECT_EQ(engine::chunkQuery("t", byPosition, {}, 20, 10), "Select * from `t` LIMIT 20, 10");
}

namespace {

struct Recording : engine::Destination {
  std::vector<std::string> stored;
  void execute(const std::string& sql) override { stored.push_back(sql); }
};

class TableReadRig : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!tabulex::test::rigAvailable()) return;
    config_ = new tabulex::test::PrivateOdbcConfig();
    tabulex::test::rigSql(R"(
DROP DATABASE IF EXISTS engine_chunks; CREATE DATABASE engine_chunks CHARACTER SET utf8mb4; USE engine_chunks;
CREATE TABLE intkey (id INT NOT NULL PRIMARY KEY, v VARCHAR(10));
INSERT INTO intkey SELECT CAST(seq AS SIGNED) * 3 - 40, CONCAT('v', seq) FROM seq_1_to_53;
-- Case- and accent-insensitive, space-padding: 'a' = 'A' = 'a ' and 'e' = 'É',
-- so each key below is distinct only as the collation sees it.
CREATE TABLE textkey (a VARCHAR(12) COLLATE utf8mb4_general_ci NOT NULL, b INT NOT NULL, v INT,
                      PRIMARY KEY (a, b));
INSERT INTO textkey SELECT k.a, s.seq, s.seq FROM
  (SELECT 'a ' AS a UNION ALL SELECT 'B' UNION ALL SELECT 'É' UNION ALL SELECT '' UNION ALL
   SELECT ' x' UNION ALL SELECT 'it''s\\' UNION ALL SELECT 'Ö' UNION ALL SELECT 'z\t' UNION ALL
   SELECT 'émile' UNION ALL SELECT '😀') k, seq_1_to_5 s;
CREATE TABLE latin (name CHAR(6) CHARACTER SET latin1 COLLATE latin1_swedish_ci NOT NULL PRIMARY KEY);
INSERT INTO latin VALUES ('Åsa'), ('aa'), ('Ö'), ('y'), ('x  '), ('Z'), ('é'), ('Ä');
CREATE TABLE uniq (id INT NULL, code DECIMAL(12,3) NOT NULL, UNIQUE KEY code (code));
INSERT INTO uniq SELECT IF(seq % 4 = 0, NULL, seq), (CAST(seq AS SIGNED) - 20) * 1.125 FROM seq_1_to_41;
CREATE TABLE bytes (k VARBINARY(8) NOT NULL, f BINARY(3) NOT NULL, PRIMARY KEY (k, f));
INSERT INTO bytes SELECT UNHEX(LPAD(HEX(seq * 37), (seq % 3) * 2 + 2, '0')), UNHEX(IF(seq % 2, '00', 'FF00'))
  FROM seq_1_to_30 ON DUPLICATE KEY UPDATE f = VALUES(f);
INSERT INTO bytes VALUES ('', ''), (0x00, 0x00), (0xFF, 0xFFFFFF);
CREATE TABLE moments (d DATETIME(6) NOT NULL, day DATE NOT NULL, t TIME NOT NULL, y YEAR NOT NULL,
                      big BIGINT UNSIGNED NOT NULL, PRIMARY KEY (d, day, t, y, big));
INSERT INTO moments SELECT '2020-01-01 00:00:00' + INTERVAL seq * 250000 MICROSECOND, '2020-02-29',
  IF(seq % 2, '-838:59:59', '838:59:59'), 1901 + seq % 3, 18446744073709551615 - seq % 2 FROM seq_1_to_24;
INSERT INTO moments VALUES ('0000-00-00 00:00:00', '0000-00-00', '00:00:00', 0, 0);
-- 'a', 'A' and 'á' are one value to the collation, told apart by b.
CREATE TABLE folded (a VARCHAR(5) COLLATE utf8mb4_general_ci NOT NULL, b INT NOT NULL, v VARCHAR(5),
                     PRIMARY KEY (a, b));
INSERT INTO folded VALUES ('a', 3, 'a'), ('A', 1, 'A'), ('á', 2, 'á'), ('Á', 4, 'Á'), ('b', 1, 'b'),
  ('B', 0, 'B'), ('à', 5, NULL), ('ä', 0, 'ä'), ('ab', 1, 'ab'), ('A b', 1, 'A b'), ('aB', 2, 'aB');
-- Accents tell keys apart, case does not: 'a' < 'á' < 'b' to the server.
CREATE TABLE accents (a VARCHAR(5) COLLATE utf8mb4_uca1400_as_ci NOT NULL PRIMARY KEY, v INT);
INSERT INTO accents VALUES ('a', 1), ('á', 2), ('À', 3), ('â', 4), ('Ä', 5), ('B', 6), ('c', 7), ('Ç', 8),
  ('e', 9), ('É', 10), ('è', 11), ('ae', 12), ('Æ', 13);
-- Zero and partial dates order before and between the whole ones.
SET SESSION sql_mode = '';
CREATE TABLE zerodays (d DATE NOT NULL, t DATETIME NOT NULL, v INT, PRIMARY KEY (d, t));
INSERT INTO zerodays VALUES ('0000-00-00', '0000-00-00 00:00:00', 1), ('0000-00-00', '2020-00-00 10:00:00', 2),
  ('2020-00-15', '2020-05-00 01:02:03', 3), ('2020-05-00', '0000-01-01 00:00:00', 4),
  ('2020-05-01', '2020-05-01 00:00:00', 5), ('0001-01-01', '0100-01-01 23:59:59', 6),
  ('2020-00-00', '2020-01-01 00:00:00', 7), ('2020-05-00', '2020-05-00 00:00:00', 8);
SET SESSION sql_mode = DEFAULT;
CREATE TABLE nokey (v INT, w VARCHAR(5));
INSERT INTO nokey SELECT seq % 7, IF(seq % 3, 'x', NULL) FROM seq_1_to_45;
CREATE TABLE plain (id INT NOT NULL PRIMARY KEY, v VARCHAR(10)) ENGINE=MyISAM;
INSERT INTO plain SELECT seq, CONCAT('m', seq) FROM seq_1_to_29;
)");
    auto rig = tabulex::test::rigEnvironment();
    ConversionSettings settings{"engine_chunks", rig->user, rig->password, ""};
    ListTables(settings, [](const std::string&) {});
    connect_ = new std::string(engine::sourceConnectString(settings));
  }
  static void TearDownTestSuite() {
    delete connect_;
    delete config_;
    connect_ = nullptr;
    config_ = nullptr;
  }
  void SetUp() override { TABULEX_REQUIRE_RIG(); }

  // Every row of the table rendered as its insert statement, read with `plan`.
  std::vector<std::string> readAll(const std::string& table, const ReadPlan& plan) {
    engine::TablePlan tablePlan;
    tablePlan.sourceName = tablePlan.destinationName = table;
    tablePlan.columns = engine::ColumnCatalogue(*connect_).columns(table);
    engine::TableRead read(*connect_, table, plan);
    auto styles = engine::resultStyles(read.rows(), tablePlan, read.extraColumns());
    Recording destination;
    engine::CopyCounts counts;
    engine::copyRows(read, styles, tablePlan, {}, destination, counts, {});
    EXPECT_EQ(counts.written, destination.stored.size());
    return destination.stored;
  }

  static tabulex::test::PrivateOdbcConfig* config_;
  static std::string* connect_;
};

tabulex::test::PrivateOdbcConfig* TableReadRig::config_ = nullptr;
std::string* TableReadRig::connect_ = nullptr;

TEST_F(TableReadRig, ChunksGiveExactlyTheRowsOfOneSelect) {
  struct Case {
    std::string table;
    SourceTableInfo info;
    ReadPlan::Mode mode;
  };
  const std::vector<Case> cases = {
      {"intkey", tableInfo("InnoDB", 53, {{"id", "int(11)"}}), ReadPlan::Mode::ByKey},
      {"textkey", tableInfo("InnoDB", 50, {{"a", "varchar(12)"}, {"b", "int(11)"}}), ReadPlan::Mode::ByKey},
      {"latin", tableInfo("InnoDB", 8, {{"name", "char(6)"}}), ReadPlan::Mode::ByKey},
      {"uniq", tableInfo("InnoDB", 41, {{"code", "decimal(12,3)"}}, false), ReadPlan::Mode::ByKey},
      {"bytes", tableInfo("InnoDB", 33, {{"k", "varbinary(8)"}, {"f", "binary(3)"}}), ReadPlan::Mode::ByKey},
      {"moments",
       tableInfo("InnoDB", 25, {{"d", "datetime(6)"}, {"day", "date"}, {"t", "time"}, {"y", "year(4)"},
                                {"big", "bigint(20) unsigned"}}),
       ReadPlan::Mode::ByKey},
      {"folded", tableInfo("InnoDB", 11, {{"a", "varchar(5)"}, {"b", "int(11)"}}), ReadPlan::Mode::ByKey},
      {"accents", tableInfo("InnoDB", 13, {{"a", "varchar(5)"}}), ReadPlan::Mode::ByKey},
      {"zerodays", tableInfo("InnoDB", 8, {{"d", "date"}, {"t", "datetime"}}), ReadPlan::Mode::ByKey},
      {"nokey", tableInfo("InnoDB", 45, {}), ReadPlan::Mode::ByPosition},
      {"plain", tableInfo("MyISAM", 29, {{"id", "int(11)"}}), ReadPlan::Mode::ByKey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    std::vector<std::string> whole = readAll(c.table, ReadPlan{});
    ASSERT_FALSE(whole.empty());
    // The order chunks must keep: the server's own ORDER BY of the key in
    // one query (a single chunk as large as the table).
    ReadPlan oneChunk = engine::planTableRead(c.info, 1);
    oneChunk.chunkRows = whole.size();
    const std::vector<std::string> ordered = c.mode == ReadPlan::Mode::ByKey ? readAll(c.table, oneChunk) : whole;
    std::sort(whole.begin(), whole.end());
    for (uint64_t chunkRows : {1, 2, 4, 1000}) {
      SCOPED_TRACE(chunkRows);
      ReadPlan plan = engine::planTableRead(c.info, chunkRows);
      ASSERT_EQ(plan.mode, chunkRows > c.info.rowEstimate ? ReadPlan::Mode::Whole : c.mode);
      std::vector<std::string> chunked = readAll(c.table, plan);
      if (plan.mode != ReadPlan::Mode::Whole) EXPECT_EQ(chunked, ordered);
      std::sort(chunked.begin(), chunked.end());
      EXPECT_EQ(chunked, whole);
    }
  }
}

TEST_F(TableReadRig, TheChunksSeeOneMomentOfTheTable) {
  std::vector<std::string> before = readAll("intkey", ReadPlan{});
  ReadPlan plan = engine::planTableRead(tableInfo("InnoDB", 53, {{"id", "int(11)"}}), 5);
  {
    engine::TablePlan tablePlan;
    tablePlan.sourceName = tablePlan.destinationName = "intkey";
    tablePlan.columns = engine::ColumnCatalogue(*connect_).columns("intkey");
    engine::TableRead read(*connect_, "intkey", plan);
    // Changes committed once the read has begun stay out of it.
    tabulex::test::rigSql(
        "USE engine_chunks; INSERT INTO intkey VALUES (1000, 'late'); DELETE FROM intkey WHERE id = 20;"
        "UPDATE intkey SET v = 'changed' WHERE id = 110;");
    auto styles = engine::resultStyles(read.rows(), tablePlan, read.extraColumns());
    Recording destination;
    engine::CopyCounts counts;
    engine::copyRows(read, styles, tablePlan, {"id"}, destination, counts, {});
    EXPECT_EQ(destination.stored, before);  // and in key order
  }
  std::vector<std::string> after = readAll("intkey", ReadPlan{});
  EXPECT_EQ(after.size(), before.size());
  EXPECT_NE(after, before);

  // A table without transactions is locked for reading while it is read.
  {
    engine::TableRead read(*connect_, "plain",
                           engine::planTableRead(tableInfo("MyISAM", 29, {{"id", "int(11)"}}), 5));
    EXPECT_TRUE(read.notes().empty());
    EXPECT_THROW(tabulex::test::rigSql("USE engine_chunks; SET SESSION lock_wait_timeout = 1;"
                                       "INSERT INTO plain VALUES (100, 'late');"),
                 std::runtime_error);
  }
  tabulex::test::rigSql("USE engine_chunks; INSERT INTO plain VALUES (100, 'late'); DELETE FROM plain WHERE id = 100;");
}

}  // namespace
