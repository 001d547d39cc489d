// The source table's catalogue entry as the server gives it: names that
// hold quotes, backslashes and non-ASCII text reach the right table, tables
// whose names differ only in letter case stay apart, and every kind of
// index, key and column detail comes back in the order the schema needs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/column_catalogue.h"
#include "engine/source_schema.h"
#include "odbc/conversion_settings.h"
#include "odbc/source_catalogue.h"
#include "support/rig.h"

namespace {

class SourceSchemaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tabulex::test::rigAvailable()) config_ = new tabulex::test::PrivateOdbcConfig();
  }
  static void TearDownTestSuite() {
    delete config_;
    config_ = nullptr;
  }
  void SetUp() override { TABULEX_REQUIRE_RIG(); }

  // The run's source connect string; listing the tables registers the
  // data source it names.
  std::string connectTo(const std::string& database) {
    auto rig = tabulex::test::rigEnvironment();
    ConversionSettings settings{database, rig->user, rig->password, "unused"};
    ListTables(settings, [](const std::string&) {});
    return engine::sourceConnectString(settings);
  }

  static tabulex::test::PrivateOdbcConfig* config_;
};

tabulex::test::PrivateOdbcConfig* SourceSchemaTest::config_ = nullptr;

const engine::SourceIndex* findIndex(const engine::SourceTableInfo& info, const std::string& name) {
  for (const auto& index : info.indexes)
    if (index.name == name) return &index;
  return nullptr;
}

TEST_F(SourceSchemaTest, ReadsTheWholeEntryOfTheNamedTableOnly) {
  const std::string database = "schema_o'dd\\db";
  // Names as the server holds them: quote, backslash, non-ASCII.
  const std::string parent = "Eltern'\\ü";
  tabulex::test::rigSql(R"(
SET sql_mode = '';
DROP DATABASE IF EXISTS `schema_o'dd\db`;
CREATE DATABASE `schema_o'dd\db` CHARACTER SET utf8mb4;
USE `schema_o'dd\db`;
CREATE TABLE `Eltern'\ü` (
  `id` INT NOT NULL AUTO_INCREMENT,
  `code` VARCHAR(20) NOT NULL DEFAULT 'it''s',
  `note` TEXT COMMENT 'Kommentar "mit" ''Zitat''\nund Zeile',
  PRIMARY KEY (`code`, `id`),
  UNIQUE KEY `u_note` (`note`(10)),
  KEY `z_desc` (`id` DESC, `code`),
  FULLTEXT KEY `ft` (`note`)
) ENGINE=InnoDB AUTO_INCREMENT=77 COMMENT 'Tabelle ''eins''';
CREATE TABLE `eltern'\Ü` (`x` INT) ENGINE=MyISAM;
CREATE TABLE `child` (
  `n` INT NOT NULL,
  `pc` VARCHAR(20),
  `pid` INT,
  `self` INT,
  KEY (`n`),
  CONSTRAINT `fk two` FOREIGN KEY (`pc`, `pid`) REFERENCES `Eltern'\ü` (`code`, `id`)
    ON UPDATE CASCADE ON DELETE SET NULL,
  CONSTRAINT `fk_self` FOREIGN KEY (`self`) REFERENCES `child` (`n`)
) ENGINE=InnoDB;
CREATE VIEW `v` AS SELECT `n` FROM `child`;
)");
  const std::string connect = connectTo(database);

  engine::SourceTableInfo info = engine::readSourceTableInfo(connect, database, parent);
  EXPECT_EQ(info.engine, "InnoDB");
  EXPECT_TRUE(info.transactional());
  EXPECT_FALSE(info.isView);
  ASSERT_TRUE(info.autoIncrement.has_value());
  EXPECT_EQ(*info.autoIncrement, 77u);
  EXPECT_EQ(info.comment, "Tabelle 'eins'");
  ASSERT_EQ(info.columns.size(), 3u);
  EXPECT_EQ(info.columns[0].name, "id");
  EXPECT_EQ(info.columns[0].extra, "auto_increment");
  EXPECT_EQ(info.columns[0].columnType, "int(11)");
  EXPECT_EQ(info.columns[1].defaultValue, std::optional<std::string>("'it''s'"));
  EXPECT_EQ(info.columns[2].comment, "Kommentar \"mit\" 'Zitat'\nund Zeile");

  ASSERT_EQ(info.indexes.size(), 4u);
  EXPECT_EQ(info.indexes[0].name, "PRIMARY");
  EXPECT_TRUE(info.indexes[0].primary);
  ASSERT_EQ(info.indexes[0].columns.size(), 2u);
  EXPECT_EQ(info.indexes[0].columns[0].name, "code");  // key order, not column order
  EXPECT_FALSE(info.indexes[0].columns[0].nullable);
  const engine::SourceIndex* prefix = findIndex(info, "u_note");
  ASSERT_NE(prefix, nullptr);
  EXPECT_TRUE(prefix->unique);
  EXPECT_EQ(prefix->type, "BTREE");
  ASSERT_EQ(prefix->columns.size(), 1u);
  EXPECT_EQ(prefix->columns[0].prefixLength, 10);
  EXPECT_TRUE(prefix->columns[0].nullable);
  const engine::SourceIndex* descending = findIndex(info, "z_desc");
  ASSERT_NE(descending, nullptr);
  EXPECT_FALSE(descending->unique);
  ASSERT_EQ(descending->columns.size(), 2u);
  EXPECT_TRUE(descending->columns[0].descending);
  EXPECT_FALSE(descending->columns[1].descending);
  const engine::SourceIndex* fulltext = findIndex(info, "ft");
  ASSERT_NE(fulltext, nullptr);
  EXPECT_EQ(fulltext->type, "FULLTEXT");
  EXPECT_EQ(engine::chunkKeyColumns(info), (std::vector<std::string>{"code", "id"}));

  // The same name in other letters is another table.
  engine::SourceTableInfo other = engine::readSourceTableInfo(connect, database, "eltern'\\Ü");
  EXPECT_EQ(other.engine, "MyISAM");
  EXPECT_FALSE(other.transactional());
  ASSERT_EQ(other.columns.size(), 1u);
  EXPECT_EQ(other.columns[0].name, "x");
  EXPECT_FALSE(other.autoIncrement.has_value() && *other.autoIncrement > 1);

  engine::SourceTableInfo child = engine::readSourceTableInfo(connect, database, "child");
  ASSERT_EQ(child.foreignKeys.size(), 2u);
  const engine::SourceForeignKey& two = child.foreignKeys[0];
  EXPECT_EQ(two.name, "fk two");
  EXPECT_EQ(two.referencedTable, parent);
  EXPECT_TRUE(two.referencedDatabase.empty());
  EXPECT_EQ(two.columns, (std::vector<std::string>{"pc", "pid"}));
  EXPECT_EQ(two.referencedColumns, (std::vector<std::string>{"code", "id"}));
  EXPECT_EQ(two.onUpdate, "CASCADE");
  EXPECT_EQ(two.onDelete, "SET NULL");
  const engine::SourceForeignKey& self = child.foreignKeys[1];
  EXPECT_EQ(self.referencedTable, "child");
  EXPECT_EQ(self.onUpdate, "RESTRICT");
  EXPECT_EQ(self.onDelete, "RESTRICT");
  EXPECT_TRUE(engine::chunkKeyColumns(child).empty());

  engine::SourceTableInfo view = engine::readSourceTableInfo(connect, database, "v");
  EXPECT_TRUE(view.isView);
  EXPECT_TRUE(view.comment.empty());
  EXPECT_TRUE(view.indexes.empty());

  engine::SourceTableInfo missing = engine::readSourceTableInfo(connect, database, "nothing");
  EXPECT_TRUE(missing.columns.empty());
}

}  // namespace
