// Command-line parsing and the report: what scripts rely on.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "cli/options.h"
#include "cli/report.h"

using cli::parseOptions;

TEST(Options, RequiredOptionsAndRefusedForms) {
  auto options = parseOptions({"--database", "shop", "--user=me", "--output", "out/Shop.MDB",
                               "--tables", "b,a,,c,a", "--report", "json", "--bulk", "--overwrite"});
  EXPECT_EQ(options.database, "shop");
  EXPECT_EQ(options.user, "me");
  EXPECT_EQ(options.tables, (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_TRUE(options.json && options.bulk && options.overwrite);
  EXPECT_EQ(cli::destinationWithoutSuffix(options.output), "out/Shop");
  EXPECT_EQ(cli::destinationWithoutSuffix("plain"), "plain");
  EXPECT_TRUE(parseOptions({"--help"}).help);

  const std::vector<std::vector<std::string>> refused = {
      {"--database", "shop", "--user", "me"},                                   // no output
      {"--database", "shop", "--output", "x"},                                  // no user
      {"--database", "shop", "--user", "me", "--output", "x", "--password", "s"},
      {"--database", "shop", "--user", "me", "--output", "x", "--report", "xml"},
      {"--database", "shop", "--user", "me", "--output", "x", "--tables", ","},
      {"--database", "shop", "--user", "me", "--output", ".mdb"},
      {"--database", "shop", "--user", "me", "--output", "x", "--bulk=yes"},
      {"--database", "shop", "--user", "me", "--output", "x", "stray"},
      {"--database"}};
  for (const auto& arguments : refused)
    EXPECT_THROW(parseOptions(arguments), std::invalid_argument) << arguments.back();
}

TEST(Options, DefaultTableOrderIsTheTablePagesOrder) {
  std::vector<std::string> names{"orders", "Counter", "b", "counter", "A", "_x"};
  cli::sortAsTablePage(names);
  EXPECT_EQ(names, (std::vector<std::string>{"_x", "A", "b", "Counter", "counter", "orders"}));
}

TEST(Report, JsonNamesEveryTableWithItsOutcome) {
  engine::TableOutcome ok{"counter", "countr", 3, 3, true, "", {}};
  engine::TableOutcome failed{"x.y", "x_y", 5, 4, false, "copying the rows: row 5: bad", {"table x.y -> x_y"}};
  auto report = nlohmann::json::parse(cli::jsonReport("shop", "out/shop.mdb", {ok, failed}));
  EXPECT_EQ(report["database"], "shop");
  EXPECT_EQ(report["output"], "out/shop.mdb");
  ASSERT_EQ(report["tables"].size(), 2u);
  EXPECT_EQ(report["tables"][0]["destination"], "countr");
  EXPECT_EQ(report["tables"][0]["status"], "ok");
  EXPECT_EQ(report["tables"][1]["status"], "failed");
  EXPECT_EQ(report["tables"][1]["rows_read"], 5);
  EXPECT_EQ(report["tables"][1]["rows_written"], 4);
  EXPECT_EQ(report["tables"][1]["message"], "copying the rows: row 5: bad");
  // A name that is not valid UTF-8 still gives a report that parses.
  engine::TableOutcome odd{"bad\xFF", "bad\xFF", 0, 0, true, "", {}};
  EXPECT_NO_THROW(nlohmann::json::parse(cli::jsonReport("shop", "x", {odd})));

  std::string text = cli::textReport("shop", "out/shop.mdb", {ok, failed});
  EXPECT_NE(text.find("Conversion failed for 1 of 2 tables"), std::string::npos);
  EXPECT_EQ(text.find("Compleated"), std::string::npos);
  EXPECT_NE(cli::textReport("shop", "x", {ok}).find("Database Conversion Compleated Successfully"),
            std::string::npos);
}
