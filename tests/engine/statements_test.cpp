// The pure pieces of a table's conversion: names, column types, the table
// statement and the insert statement.
#include <gtest/gtest.h>

#include "engine/identifiers.h"
#include "engine/table_statement.h"
#include "engine/type_mapping.h"

using namespace engine;

namespace {

SourceColumn col(std::string name, int16_t type, std::string typeName, int32_t size = 0,
                 int16_t digits = 0, std::string nullable = "NO") {
  return {std::move(name), type, std::move(typeName), size, digits, std::move(nullable)};
}

std::string def(const SourceColumn& c, KeyRole role = KeyRole::None) {
  return columnDefinition(c, c.name, role);
}

}  // namespace

TEST(Identifiers, QuotingSurvivesTheQuoteCharacterItself) {
  EXPECT_EQ(quoteMySql("a`b"), "`a``b`");
  EXPECT_EQ(quoteMySql("my table"), "`my table`");
  EXPECT_EQ(quoteAccess("it's \"x\""), "[it's \"x\"]");
}

TEST(Identifiers, NamesAccessCannotHoldBecomeValid) {
  EXPECT_EQ(accessName("a.b!c`d[e]f"), "a_b_c_d_e_f");
  EXPECT_EQ(accessName("  lead"), "lead");
  EXPECT_EQ(accessName("tab\there"), "tab_here");
  EXPECT_EQ(accessName("   "), "_");
  // 64 characters at most, counted as characters, never splitting one.
  std::string accents;
  for (int i = 0; i < 70; ++i) accents += "\xC3\xA9";  // é
  std::string cut = accessName(accents);
  EXPECT_EQ(cut.size(), 128u);
  EXPECT_EQ(accessName(std::string(100, 'x')), std::string(64, 'x'));
}

TEST(Identifiers, AllocatedNamesAreUniqueWithoutRegardToCase) {
  NameAllocator names;
  EXPECT_EQ(names.allocate("Counter"), "Counter");
  EXPECT_EQ(names.allocate("counter"), "counter_1");
  EXPECT_EQ(names.allocate("COUNTER"), "COUNTER_2");
  EXPECT_EQ(names.allocate("\xC3\x89t\xC3\xA9"), "\xC3\x89t\xC3\xA9");  // Été
  EXPECT_EQ(names.allocate("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9_1");
  // A long name made unique still fits in 64 characters.
  std::string longName(64, 'y');
  EXPECT_EQ(names.allocate(longName), longName);
  std::string second = names.allocate(longName + "z");
  EXPECT_EQ(second, std::string(62, 'y') + "_1");
  // Renaming can collide with a name that is really there: still unique.
  EXPECT_EQ(names.allocate("a.b"), "a_b");
  EXPECT_EQ(names.allocate("a_b"), "a_b_1");
}

TEST(TypeMapping, IntegersKeepEveryValueOfTheirRange) {
  EXPECT_EQ(mapColumnType(col("t", -6, "TINYINT")).typeWord, "SMALLINT");
  EXPECT_EQ(mapColumnType(col("t", -6, "TINYINT UNSIGNED")).typeWord, "byte");
  EXPECT_EQ(mapColumnType(col("m", 4, "MEDIUMINT UNSIGNED")).typeWord, "INTEGER");
  EXPECT_EQ(def(col("i", 4, "INT UNSIGNED")), "[i] DECIMAL(10,0) NOT NULL");
  EXPECT_EQ(def(col("b", -5, "BIGINT", 19, 0, "YES")), "[b] DECIMAL(19,0) NULL");
  EXPECT_EQ(def(col("b", -5, "BIGINT UNSIGNED", 20)), "[b] DECIMAL(20,0) NOT NULL");
}

TEST(TypeMapping, FractionsAndDecimalsKeepTheirDigits) {
  EXPECT_EQ(def(col("d", 8, "DOUBLE", 0, 0, "YES")), "[d] DOUBLE  NULL");
  EXPECT_EQ(def(col("f", 7, "FLOAT", 0, 0, "YES")), "[f] REAL  NULL");
  EXPECT_EQ(def(col("m", 3, "DECIMAL", 28, 10, "YES")), "[m] DECIMAL(28,10) NULL");
  EXPECT_EQ(def(col("n", 2, "NUMERIC", 12, 2, "YES")), "[n] DECIMAL(12,2) ");
  // Beyond 28 digits the value travels as text: digits, sign and point.
  auto wide = mapColumnType(col("w", 3, "DECIMAL", 65, 30));
  EXPECT_EQ(wide.typeWord, "VARCHAR");
  EXPECT_EQ(*wide.size, "67");
  EXPECT_EQ(wide.style, ValueStyle::NumberText);
}

TEST(TypeMapping, TextSizesFollowTheColumn) {
  EXPECT_EQ(def(col("name", 12, "varchar", 200, 0, "YES")), "[name] varchar(200) NULL");
  EXPECT_EQ(def(col("name", 12, "varchar", 300, 0, "YES")), "[name] Memo  NULL");
  EXPECT_EQ(def(col("w", -9, "VARCHAR", 255, 0, "YES")), "[w] VARCHAR(255) NULL");
  EXPECT_EQ(def(col("w", -9, "VARCHAR", 256, 0, "YES")), "[w] Memo  NULL");
}

TEST(TypeMapping, BitsBinariesDatesAndUnknownTypes) {
  EXPECT_EQ(def(col("flag", -7, "BIT", 1, 0, "YES")), "[flag] BYTE  NULL");
  EXPECT_EQ(def(col("flag", -7, "BIT", 1, 0, "NO")), "[flag] bit  NOT NULL");
  EXPECT_EQ(def(col("at", 93, "DATETIME", 19, 0, "yes")), "[at] DATETIME  NULL");
  EXPECT_EQ(def(col("odd", 1234, "GEOMETRY", 0, 0, "YES")), "[odd] MEMO  NULL");
  EXPECT_EQ(def(col("x", -9, "VARCHAR", 10, 0, "")), "[x] VARCHAR(10) NOT NULL");
}

TEST(TypeMapping, KeyColumnsTakeTheKeyNullClause) {
  EXPECT_EQ(def(col("id", 4, "INT"), KeyRole::SoleKey), "[id] INTEGER PRIMARY KEY ");
  EXPECT_EQ(def(col("id", 5, "SMALLINT"), KeyRole::SoleKey), "[id] INTEGER PRIMARY KEY NOT NULL");
  EXPECT_EQ(def(col("k", -9, "VARCHAR", 20), KeyRole::SoleKey), "[k] VARCHAR(20)PRIMARY KEY NOT NULL");
  EXPECT_EQ(def(col("k", -9, "VARCHAR", 20), KeyRole::PartOfKey), "[k] VARCHAR(20) NOT NULL");
}

TEST(TableStatement, CountersQuotedNamesAndKeys) {
  TablePlan plan;
  plan.sourceName = "counter";
  plan.columns = {col("id", 4, "INT"), col("name", -9, "VARCHAR", 50, 0, "YES")};
  plan.keyColumns = {"id"};
  NameAllocator tables;
  nameTable(plan, tables);
  EXPECT_EQ(plan.destinationName, "countr");
  EXPECT_TRUE(plan.renames.empty());
  EXPECT_EQ(createTableStatement(plan),
            "Create Table [countr]([id] INTEGER PRIMARY KEY , [name] VARCHAR(50) NULL)");

  TablePlan other;
  other.sourceName = "Counter";
  other.columns = {col("a", 4, "INT"), col("b.c", 4, "INT"), col("B_c", 4, "INT"),
                   col("n", 4, "INT", 0, 0, "YES")};
  other.keyColumns = {"B_c", "a"};
  nameTable(other, tables);
  EXPECT_EQ(other.destinationName, "Counter");
  ASSERT_EQ(other.accessColumnNames.size(), 4u);
  EXPECT_EQ(other.accessColumnNames[1], "b_c");
  EXPECT_EQ(other.accessColumnNames[2], "B_c_1");
  ASSERT_EQ(other.renames.size(), 2u);
  EXPECT_EQ(other.renames[0], "column b.c -> b_c");
  // Every column of a composite key is kept, in key order.
  EXPECT_EQ(createTableStatement(other),
            "Create Table [Counter]([a] INTEGER  , [b_c] INTEGER  NOT NULL, [B_c_1] INTEGER  , "
            "[n] INTEGER  NULL, CONSTRAINT [PrimaryKey] PRIMARY KEY ([B_c_1], [a]))");

  // A key column the catalogue does not list is left out rather than named empty.
  TablePlan stale;
  stale.sourceName = "s";
  stale.columns = {col("x", 4, "INT")};
  stale.keyColumns = {"gone", "x"};
  nameTable(stale, tables);
  EXPECT_EQ(createTableStatement(stale), "Create Table [s]([x] INTEGER PRIMARY KEY )");

  // Access cannot index long text or bytes: the rows are kept, the key is not.
  TablePlan prefix;
  prefix.sourceName = "p";
  prefix.columns = {col("body", -10, "TEXT"), col("n", 4, "INT")};
  prefix.keyColumns = {"n", "body"};
  nameTable(prefix, tables);
  dropKeyAccessCannotHold(prefix);
  EXPECT_NE(prefix.note.find("body"), std::string::npos);
  EXPECT_EQ(createTableStatement(prefix), "Create Table [p]([body] MEMO  NOT NULL, [n] INTEGER  NOT NULL)");
}

// Access keeps MSys... for its own tables: a source table of such a name
// would collide with them (or hide among them) and gets a name of its own.
TEST(TableStatement, NamesAccessKeepsForItselfAreReplacedAndReported) {
  NameAllocator tables;
  std::vector<std::string> given;
  for (std::string source : {"MSysObjects", "msysqueries", " MSYSAnything", "MSys", "_MSysObjects",
                             "MSy", "myMSys"}) {
    TablePlan plan;
    plan.sourceName = source;
    nameTable(plan, tables);
    EXPECT_FALSE(accessSystemName(plan.destinationName)) << source;
    given.push_back(plan.destinationName);
    if (plan.destinationName != source) {
      ASSERT_EQ(plan.renames.size(), 1u) << source;
      EXPECT_EQ(plan.renames[0], "table " + source + " -> " + plan.destinationName);
    } else {
      EXPECT_TRUE(plan.renames.empty()) << source;
    }
  }
  EXPECT_EQ(given, (std::vector<std::string>{"_MSysObjects", "_msysqueries", "_MSYSAnything",
                                             "_MSys", "_MSysObjects_1", "MSy", "myMSys"}));
}

TEST(TableStatement, QueriesAndInserts) {
  EXPECT_EQ(sourceQuery("my `odd` table"), "Select * from `my ``odd`` table`");
  EXPECT_EQ(insertStatement("customer", {"17", "'it''s'", "NULL"}),
            "INSERT INTO [customer] values(17, 'it''s', NULL )");
  EXPECT_EQ(insertStatement("one", {"1"}), "INSERT INTO [one] values(1 )");
}
