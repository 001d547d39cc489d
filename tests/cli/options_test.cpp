// Command-line parsing and the report: what scripts rely on.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "cli/options.h"
#include "cli/report.h"

using cli::parseOptions;

TEST(Options, RequiredOptionsAndRefusedForms) {
  auto options = parseOptions({"--database", "shop", "--user=me", "--output", "out/Shop.MDB",
                               "--tables", "b, a,,c ,a", "--report", "json", "--bulk", "--overwrite"});
  EXPECT_EQ(options.database, "shop");
  EXPECT_EQ(options.user, "me");
  // Blanks around a name belong to the list.
  EXPECT_EQ(options.tables, (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_TRUE(options.json && options.overwrite);
  EXPECT_FALSE(options.connectPerRow);  // --bulk is the default
  EXPECT_TRUE(parseOptions({"--database", "d", "--user", "u", "--output", "x", "--connect-per-row"}).connectPerRow);
  EXPECT_EQ(parseOptions({"--database", "d", "--user", "u", "--output", "x", "--chunk-rows=500"}).chunkRows, 500u);
  EXPECT_EQ(cli::destinationWithoutSuffix(options.output), "out/Shop");
  EXPECT_EQ(cli::destinationWithoutSuffix("plain"), "plain");
  EXPECT_TRUE(parseOptions({"--help"}).help);
  EXPECT_TRUE(options.fullSchema);
  EXPECT_FALSE(options.views);
  auto plain = parseOptions({"--database", "shop", "--user", "me", "--output", "x", "--schema=plain", "--views"});
  EXPECT_FALSE(plain.fullSchema);
  EXPECT_TRUE(plain.views);

  const std::vector<std::vector<std::string>> refused = {
      {"--database", "shop", "--user", "me"},                                   // no output
      {"--database", "shop", "--output", "x"},                                  // no user
      {"--database", "shop", "--user", "me", "--output", "x", "--password", "s"},
      {"--database", "shop", "--user", "me", "--output", "x", "--report", "xml"},
      {"--database", "shop", "--user", "me", "--output", "x", "--tables", ","},
      {"--database", "shop", "--user", "me", "--output", ".mdb"},
      {"--database", "shop", "--user", "me", "--output", "out/"},         // a folder
      {"--database", "shop", "--user", "me", "--output", "out/.MDB"},
      {"--database", "shop", "--user", "me", "--output", "say \"hi\""},  // the driver cannot be given it
      {"--database", "shop", "--user", "me", "--output", "two\nlines"},
      {"--database", "shop", "--user", "me", "--output", "x", "--tables", " , "},
      {"--database", "shop", "--user", "me", "--output", "x", "--bulk=yes"},
      {"--database", "shop", "--user", "me", "--output", "x", "--bulk", "--connect-per-row"},
      {"--database", "shop", "--user", "me", "--output", "x", "--chunk-rows", "0"},
      {"--database", "shop", "--user", "me", "--output", "x", "--chunk-rows", "-5"},
      {"--database", "shop", "--user", "me", "--output", "x", "--chunk-rows", "12k"},
      {"--database", "shop", "--user", "me", "--output", "x", "--schema", "none"},
      {"--database", "shop", "--user", "me", "--output", "x", "--views=yes"},
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
  auto outcome = [](std::string source, std::string destination, uint64_t read, uint64_t written, bool ok,
                    std::string message, std::vector<std::string> renames) {
    engine::TableOutcome made;
    made.source = std::move(source);
    made.destination = std::move(destination);
    made.rowsRead = read;
    made.rowsWritten = written;
    made.ok = ok;
    made.message = std::move(message);
    made.renames = std::move(renames);
    return made;
  };
  engine::TableOutcome ok = outcome("counter", "countr", 3, 3, true, "", {});
  engine::TableOutcome failed = outcome("x.y", "x_y", 5, 4, false, "copying the rows: row 5: bad", {"table x.y -> x_y"});
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
  engine::TableOutcome odd = outcome("bad\xFF", "bad\xFF", 0, 0, true, "", {});
  EXPECT_NO_THROW(nlohmann::json::parse(cli::jsonReport("shop", "x", {odd})));

  std::string text = cli::textReport("shop", "out/shop.mdb", {ok, failed});
  EXPECT_NE(text.find("Conversion failed for 1 of 2 tables"), std::string::npos);
  EXPECT_EQ(text.find("Compleated"), std::string::npos);
  EXPECT_NE(cli::textReport("shop", "x", {ok}).find("Database Conversion Compleated Successfully"),
            std::string::npos);

  // An interrupted run says so, and that the file holds what is listed.
  EXPECT_EQ(nlohmann::json::parse(cli::jsonReport("shop", "x", {ok}))["interrupted"], false);
  EXPECT_EQ(nlohmann::json::parse(cli::jsonReport("shop", "x", {ok}, true))["interrupted"], true);
  std::string stopped = cli::textReport("shop", "x", {ok}, true);
  EXPECT_NE(stopped.find("Interrupted: the file holds the tables listed above"), std::string::npos) << stopped;
  EXPECT_EQ(stopped.find("Compleated"), std::string::npos);
}

TEST(Options, ServerTlsAndDataSource) {
  const std::vector<std::string> base = {"--database", "shop", "--user", "me", "--output", "x"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> arguments = base;
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return parseOptions(arguments);
  };
  auto plain = with({});
  EXPECT_EQ(plain.server.host, "localhost");
  EXPECT_EQ(plain.server.port, 0);
  EXPECT_FALSE(plain.server.requireTls || plain.quiet);

  auto remote = with({"--host", "db.example.org", "--port=3307", "--ssl-ca", "ca.pem", "--quiet"});
  EXPECT_EQ(remote.server.host, "db.example.org");
  EXPECT_EQ(remote.server.port, 3307);
  EXPECT_TRUE(remote.server.requireTls) << "a certificate authority is there to be checked against";
  EXPECT_EQ(remote.server.certificateAuthority, "ca.pem");
  EXPECT_TRUE(remote.quiet);
  EXPECT_EQ(with({"--host", "[::1]:3310"}).server.port, 3310);
  EXPECT_EQ(with({"--host", "[::1]:3310", "--port", "3310"}).server.host, "::1");

  auto named = with({"--source-dsn", "office", "--ssl"});
  EXPECT_EQ(named.server.dataSource, "office");
  EXPECT_TRUE(named.server.requireTls);
  EXPECT_TRUE(named.server.certificateAuthority.empty());

  const std::vector<std::vector<std::string>> refused = {
      {"--port", "0"},        {"--port", "70000"},         {"--port", "33o6"},
      {"--host", ""},         {"--host", "a b"},           {"--host", "db:1", "--port", "2"},
      {"--ssl=1"},            {"--ssl-ca", ""},            {"--source-dsn", "office", "--host", "db"},
      {"--source-dsn", ""},   {"--source-dsn", "o", "--port", "3306"}};
  for (const auto& extra : refused) EXPECT_THROW(with(extra), std::invalid_argument) << extra.front();
}
