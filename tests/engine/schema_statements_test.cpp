// The schema a table carries beyond its columns, as statement text: the
// defaults in Access's syntax from what MariaDB's catalogue shows, the
// AutoNumber, descriptions, indexes and relationships, and what is left out.
#include <gtest/gtest.h>

#include "engine/default_value.h"
#include "engine/relationships.h"
#include "engine/table_schema.h"
#include "engine/table_statement.h"

using namespace engine;

namespace {

SourceColumn col(std::string name, int16_t type, std::string typeName, int32_t size = 0,
                 int16_t digits = 0, std::string nullable = "YES") {
  return {std::move(name), type, std::move(typeName), size, digits, std::move(nullable)};
}

std::string literalFor(const SourceColumn& column, const std::string& given) {
  AccessDefault d = accessDefault(column, given);
  return d.literal.empty() ? "left out: " + d.leftOut : d.literal;
}

// A table plan named as the run names it.
TablePlan planOf(std::vector<SourceColumn> columns, std::vector<std::string> key = {}) {
  TablePlan plan;
  plan.sourceName = plan.destinationName = "t";
  plan.columns = std::move(columns);
  plan.keyColumns = std::move(key);
  nameColumns(plan);
  return plan;
}

SourceIndex index(std::string name, bool unique, std::vector<SourceIndexColumn> columns,
                  std::string type = "BTREE") {
  SourceIndex out;
  out.primary = name == "PRIMARY";
  out.name = std::move(name);
  out.unique = unique;
  out.type = std::move(type);
  out.columns = std::move(columns);
  return out;
}

}  // namespace

TEST(SchemaDefaults, EveryKindOfDefaultInAccessSyntax) {
  const SourceColumn text = col("s", 12, "VARCHAR", 20);
  const SourceColumn memo = col("m", -1, "TEXT", 65535);
  const SourceColumn integer = col("i", 4, "INT");
  const SourceColumn decimal = col("d", 3, "DECIMAL", 5, 2);
  const SourceColumn wide = col("w", 3, "DECIMAL", 40, 2);
  const SourceColumn real = col("r", 8, "DOUBLE");
  const SourceColumn stamp = col("ts", 93, "DATETIME");
  const SourceColumn date = col("dt", 91, "DATE");
  const SourceColumn yesNo = col("yn", -7, "BIT", 1, 0, "NO");
  const SourceColumn nullableBit = col("nb", -7, "BIT", 1, 0, "YES");
  const SourceColumn blob = col("b", -3, "VARBINARY", 10);

  // Quotes are doubled in Access's text; MariaDB's backslash escapes and
  // doubled single quotes are undone first; non-ASCII text stays.
  EXPECT_EQ(literalFor(text, "'it''s \"x\"'"), "\"it's \"\"x\"\"\"");
  EXPECT_EQ(literalFor(text, "'a\\\\b\\nc'"), "\"a\\b\nc\"");
  EXPECT_EQ(literalFor(text, "'\xC3\xBC\xE2\x82\xAC'"), "\"\xC3\xBC\xE2\x82\xAC\"");
  EXPECT_EQ(literalFor(text, "''"), "\"\"");
  EXPECT_EQ(literalFor(text, "'NULL'"), "\"NULL\"");  // the text, not the NULL default
  EXPECT_EQ(literalFor(memo, "'long'"), "\"long\"");
  EXPECT_EQ(literalFor(integer, "-5"), "-5");
  EXPECT_EQ(literalFor(integer, "'7'"), "7");
  EXPECT_EQ(literalFor(decimal, "-1.50"), "-1.50");
  EXPECT_EQ(literalFor(wide, "12.5"), "\"12.5\"");  // a decimal Access keeps as text
  EXPECT_EQ(literalFor(real, "1e3"), "1e3");
  EXPECT_EQ(literalFor(stamp, "'2020-01-02 03:04:05'"), "#2020-01-02 03:04:05#");
  EXPECT_EQ(literalFor(stamp, "'2020-01-02 03:04:05.000'"), "#2020-01-02 03:04:05#");
  EXPECT_EQ(literalFor(stamp, "current_timestamp()"), "Now()");
  EXPECT_EQ(literalFor(stamp, "CURRENT_TIMESTAMP(3)"), "Now()");
  EXPECT_EQ(literalFor(stamp, "current_timestamp"), "Now()");
  EXPECT_EQ(literalFor(date, "curdate()"), "Date()");
  EXPECT_EQ(literalFor(date, "'2020-05-06'"), "\"2020-05-06\"");  // a DATE is Access text
  EXPECT_EQ(literalFor(yesNo, "b'1'"), "-1");
  EXPECT_EQ(literalFor(yesNo, "b'0'"), "0");
  EXPECT_EQ(literalFor(nullableBit, "b'1'"), "1");  // a Byte, not a Yes/No

  // No default at all, or a default of NULL.
  EXPECT_TRUE(accessDefault(integer, std::nullopt).literal.empty());
  EXPECT_TRUE(accessDefault(integer, std::nullopt).leftOut.empty());
  EXPECT_TRUE(accessDefault(text, "NULL").leftOut.empty());
  EXPECT_TRUE(accessDefault(text, "NULL").literal.empty());

  // Left out, each with a reason.
  EXPECT_EQ(literalFor(text, "concat('a','b')"),
            "left out: Access has no equivalent of the expression concat('a','b')");
  EXPECT_EQ(literalFor(integer, "(1 + 2)"), "left out: Access has no equivalent of the expression (1 + 2)");
  EXPECT_NE(literalFor(stamp, "'0000-00-00 00:00:00'").find("left out"), std::string::npos);
  EXPECT_NE(literalFor(stamp, "'2020-01-02 03:04:05.5'").find("fractions"), std::string::npos);
  EXPECT_NE(literalFor(blob, "'ab'").find("OLE Object"), std::string::npos);
  EXPECT_NE(literalFor(text, "'" + std::string(300, 'x') + "'").find("255"), std::string::npos);
}

TEST(SchemaColumns, AutoNumberDefaultsAndDescriptionsInTheTableStatement) {
  TablePlan plan = planOf({col("id", 5, "SMALLINT", 5, 0, "NO"), col("big", -5, "BIGINT", 19, 0, "NO"),
                           col("name", 12, "VARCHAR", 20), col("when", 93, "DATETIME")},
                          {"id"});
  SourceTableInfo info;
  info.autoIncrement = 1000;
  info.comment = "it's the \"table\"\nsecond line \xC3\xBC";
  info.columns = {{"id", std::nullopt, "auto_increment", "", "smallint(6)"},
                  {"big", std::nullopt, "auto_increment", "", "bigint(20)"},
                  {"name", std::string("'x'"), "", "Name's", "varchar(20)"},
                  {"when", std::string("current_timestamp()"), "on update current_timestamp()", "",
                   "datetime"}};
  TableSchemaPlan schema = planTableSchema(plan, info, 0);
  EXPECT_EQ(createTableStatement(plan),
            "Create Table [t]([id] COUNTER(1000, 1) PRIMARY KEY , [big] DECIMAL(19,0) NOT NULL, "
            "[name] VARCHAR(20) NULL DEFAULT \"x\", [when] DATETIME  NULL DEFAULT Now())");
  EXPECT_EQ(schema.defaults, 2);
  ASSERT_EQ(schema.notes.size(), 1u);
  EXPECT_EQ(schema.notes[0],
            "column big stays a number, not an AutoNumber: Access's AutoNumber is a signed Long "
            "Integer and the column is bigint");
  EXPECT_EQ(schema.leftOut, 1);
  ASSERT_EQ(schema.descriptions.size(), 2u);
  EXPECT_EQ(schema.descriptions[0].sql, "COMMENT ON TABLE [t] IS 'it''s the \"table\"\nsecond line \xC3\xBC'");
  EXPECT_EQ(schema.descriptions[1].sql, "COMMENT ON COLUMN [t].[name] IS 'Name''s'");
  EXPECT_EQ(schema.descriptions[1].what, "description of column name");

  // Unsigned stays a number; the seed is never below 1.
  TablePlan unsignedPlan = planOf({col("id", 4, "INT UNSIGNED", 10, 0, "NO")}, {"id"});
  info = {};
  info.columns = {{"id", std::nullopt, "auto_increment", "", "int(10) unsigned"}};
  TableSchemaPlan refused = planTableSchema(unsignedPlan, info, 0);
  ASSERT_EQ(refused.notes.size(), 1u);
  EXPECT_NE(refused.notes[0].find("UNSIGNED"), std::string::npos);
  TablePlan fresh = planOf({col("id", 4, "INT", 10, 0, "NO")}, {"id"});
  info.columns = {{"id", std::nullopt, "auto_increment", "", "int(11)"}};
  planTableSchema(fresh, info, 0);
  EXPECT_EQ(createTableStatement(fresh), "Create Table [t]([id] COUNTER(1, 1) PRIMARY KEY )");

  // A view carries its rows only.
  SourceTableInfo view = info;
  view.isView = true;
  TablePlan viewPlan = planOf({col("id", 4, "INT", 10, 0, "NO")});
  EXPECT_TRUE(planTableSchema(viewPlan, view, 0).notes.empty());
  EXPECT_EQ(createTableStatement(viewPlan), "Create Table [t]([id] INTEGER  NOT NULL)");
}

TEST(SchemaIndexes, CarriedLeftOutRenamedAndLimited) {
  TablePlan plan = planOf({col("id", 4, "INT", 10, 0, "NO"), col("a.b", 12, "VARCHAR", 20),
                           col("c", 4, "INT"), col("body", -1, "TEXT", 65535)},
                          {"id"});
  SourceTableInfo info;
  info.indexes = {
      index("PRIMARY", true, {{"id", 0, false, false}}),  // made with the table
      index("by c", false, {{"c", 0, true}, {"a.b", 0, false}}),
      index("u.prefix", true, {{"a.b", 10, false}}),
      index("ft", false, {{"body", 0, false}}, "FULLTEXT"),
      index("on_body", false, {{"body", 0, false}}),
      index("again", false, {{"c", 0, true}, {"a.b", 0, false}}),
      index("PrimaryKey", false, {{"c", 0, false}}),
  };
  TableSchemaPlan schema = planTableSchema(plan, info, 1);
  std::vector<std::string> sql;
  for (const PlannedStatement& planned : schema.indexes) sql.push_back(planned.sql);
  EXPECT_EQ(sql, (std::vector<std::string>{
                     "CREATE INDEX [by c] ON [t] ([c] DESC, [a_b] ASC)",
                     "CREATE UNIQUE INDEX [u_prefix] ON [t] ([a_b] ASC)",
                     "CREATE INDEX [PrimaryKey_1] ON [t] ([c] ASC)"}));
  EXPECT_EQ(schema.renames,
            (std::vector<std::string>{"index u.prefix -> u_prefix", "index PrimaryKey -> PrimaryKey_1"}));
  EXPECT_EQ(schema.notes, (std::vector<std::string>{
                              "index u.prefix covers whole columns: Access has no index on the start of a column",
                              "index ft left out: Access has no FULLTEXT index",
                              "index on_body left out: Access cannot index the Memo column body",
                              "index again left out: it repeats index by c"}));
  EXPECT_EQ(schema.leftOut, 3);

  // The primary key and the relationships' indexes count against the limit.
  info.indexes.clear();
  for (int i = 0; i < 40; ++i) info.indexes.push_back(index("i" + std::to_string(i), false, {{"c", 0, false}}));
  for (std::size_t i = 0; i < info.indexes.size(); ++i) info.indexes[i].columns[0].descending = i % 2;
  info.indexes[1].columns[0].name = "a.b";
  TableSchemaPlan limited = planTableSchema(plan, info, 5);
  // Two shapes only (c ascending, c descending, a.b...): the rest repeat.
  EXPECT_EQ(limited.indexes.size(), 3u);
  info.indexes.clear();
  for (int i = 0; i < 40; ++i)
    info.indexes.push_back(index("u" + std::to_string(i), true, {{"c", 0, false}}));
  limited = planTableSchema(plan, info, 5);
  EXPECT_EQ(limited.indexes.size(), static_cast<std::size_t>(kJetIndexLimit - 1 - 5));
  EXPECT_NE(limited.notes.back().find("at most 32 indexes"), std::string::npos);
}

TEST(SchemaRelationships, StatementsNamesAndRefusals) {
  std::map<std::string, SourceTableInfo> infos;
  SourceForeignKey composite{"fk.order", "parent", "", {"p1", "p2"}, {"a", "b"}, "CASCADE", "SET NULL"};
  SourceForeignKey self{"fk_self", "child", "", {"up"}, {"id"}, "RESTRICT", "CASCADE"};
  SourceForeignKey outside{"fk_out", "elsewhere", "", {"x"}, {"y"}, "RESTRICT", "RESTRICT"};
  SourceForeignKey otherDatabase{"fk_db", "parent", "otherdb", {"x"}, {"y"}, "RESTRICT", "RESTRICT"};
  infos["child"].foreignKeys = {composite, self, outside, otherDatabase};
  infos["parent"].foreignKeys = {{"FK.ORDER", "child", "", {"a"}, {"id"}, "NO ACTION", "NO ACTION"}};
  NameAllocator names;
  std::vector<RelationshipPlan> plans = planRelationships({"child", "parent"}, infos, names);
  ASSERT_EQ(plans.size(), 3u);
  EXPECT_EQ(plans[0].name, "fk_order");
  EXPECT_EQ(plans[1].name, "fk_self");
  EXPECT_EQ(plans[2].name, "FK_ORDER_1");  // unique in the file, without regard to case

  ConvertedTable child{"Child Table", {{"id", "id"}, {"up", "up"}, {"p1", "p 1"}, {"p2", "p2"}}};
  ConvertedTable parent{"parent", {{"a", "a_"}, {"b", "b"}}};
  std::string why;
  EXPECT_EQ(relationshipStatement(plans[0], child, parent, why),
            "ALTER TABLE [Child Table] ADD CONSTRAINT [fk_order] FOREIGN KEY ([p 1], [p2]) "
            "REFERENCES [parent] ([a_], [b]) ON UPDATE CASCADE");
  EXPECT_EQ(relationshipStatement(plans[1], child, child, why),
            "ALTER TABLE [Child Table] ADD CONSTRAINT [fk_self] FOREIGN KEY ([up]) "
            "REFERENCES [Child Table] ([id]) ON DELETE CASCADE");
  EXPECT_EQ(relationshipStatement(plans[2], ConvertedTable{"parent", {{"b", "b"}}}, child, why), "");
  EXPECT_EQ(why, "the table parent has no column a in Access");
  EXPECT_EQ(cascadeLoss(composite), "ON DELETE SET NULL");
  EXPECT_EQ(cascadeLoss(self), "");

  EXPECT_EQ(notEnforcedReason("23000",
                              "Relationship 'fk_order' cannot be enforced: 3 rows of 'Child Table' "
                              "have no matching row in 'parent'",
                              "child", "parent"),
            "3 rows of child have no matching row in parent");
  EXPECT_EQ(notEnforcedReason("23000", "Relationship 'r' cannot be enforced: 1 row of 'c' has no matching row in 'p'",
                              "c", "p"),
            "1 row of c has no matching row in p");
  EXPECT_EQ(notEnforcedReason("42000",
                              "Relationship 'r' cannot be enforced: the referenced columns of 'p' have "
                              "no unique index",
                              "c", "p"),
            "the referenced columns of p have no unique index in Access");
  EXPECT_EQ(notEnforcedReason("42000", "Syntax error in ALTER TABLE", "c", "p"), "");
  EXPECT_EQ(notEnforcedReason("HY000", "Disk full", "c", "p"), "");
}
