// Database creation, data sources, connections and the call sequence of the
// access layer, all through the driver manager and the installer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "support/access_odbc.h"
#include "support/readback.h"

namespace tabulex::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path dir() { return AccessOdbcConfig::instance().folder(); }

std::string dbq(const fs::path& path) {
  return "DRIVER={" + std::string(kAccessDriver) + "};DBQ=" + path.string();
}

TEST(CreateDb, MakesBlankFilesAndNeverTouchesAnExistingOne) {
  std::string error;
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + (dir() / "new").string() + "\"",
                               &error))
      << error;
  ASSERT_TRUE(fs::exists(dir() / "new.mdb"));
  EXPECT_TRUE(readback::fileMatches((dir() / "new.mdb").string(), {}));

  // A suffix already there is kept; blanks in the path are fine.
  ASSERT_TRUE(configDataSource(
      ODBC_ADD_DSN, "CREATE_DB=\"" + (dir() / "with blank.mdb").string() + "\"", &error))
      << error;
  EXPECT_TRUE(fs::exists(dir() / "with blank.mdb"));
  EXPECT_FALSE(fs::exists(dir() / "with blank.mdb.mdb"));

  // An existing file: refused, and its bytes stay as they were.
  std::ofstream(dir() / "taken.mdb") << "not a database, but someone's file";
  EXPECT_FALSE(configDataSource(ODBC_ADD_DSN,
                                "CREATE_DB=\"" + (dir() / "taken").string() + "\"", &error));
  EXPECT_NE(error.find("already exists"), std::string::npos) << error;
  EXPECT_EQ(slurp(dir() / "taken.mdb"), "not a database, but someone's file");

  // A folder that does not exist, and one nobody may write into.
  EXPECT_FALSE(configDataSource(
      ODBC_ADD_DSN, "CREATE_DB=\"" + (dir() / "no such folder" / "x").string() + "\"", &error));
  EXPECT_NE(error.find("no such folder"), std::string::npos) << error;
  EXPECT_FALSE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"/proc/tabulex-cannot\"", &error));
  EXPECT_NE(error.find("/proc"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists("/proc/tabulex-cannot.mdb"));
}

TEST(DataSources, AddTrimsBlanksAndRemoveTakesThemAway) {
  std::string error;
  std::string base = (dir() / "registered").string();
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + base + "\"", &error)) << error;
  // The converter's list: blanks after the name and the description, and
  // the path without its suffix.
  std::string list = "DSN=dsnreg ;DESCRIPTION= ;DBQ=" + base;
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, list, &error)) << error;
  std::string ini = slurp(AccessOdbcConfig::instance().userIni());
  EXPECT_NE(ini.find("[dsnreg]"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("[dsnreg ]"), std::string::npos) << ini;
  EXPECT_NE(ini.find("DBQ=" + base), std::string::npos) << ini;
  {
    Connection c("DSN=dsnreg");
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    EXPECT_NE(c.completedString().find("DBQ=" + base + ".mdb"), std::string::npos)
        << c.completedString();
    EXPECT_TRUE(c.exec("CREATE TABLE t (x INT)").ok());
  }
  ASSERT_TRUE(configDataSource(ODBC_REMOVE_DSN, list, &error)) << error;
  EXPECT_EQ(slurp(AccessOdbcConfig::instance().userIni()).find("[dsnreg"), std::string::npos);
  EXPECT_FALSE(configDataSource(ODBC_REMOVE_DSN, list, &error));
  EXPECT_FALSE(configDataSource(ODBC_ADD_DSN, "DSN=broken;DESCRIPTION", &error));
  EXPECT_TRUE(fs::exists(base + ".mdb")) << "removing a data source keeps its file";
}

// A second conversion in the same process re-points "dsna" at another
// file; the next connection must reach the new file, never the old one.
TEST(DataSources, ReRegisteredNameReachesTheNewFile) {
  std::string error;
  std::string first = (dir() / "first").string(), second = (dir() / "second").string();
  for (const auto& base : {first, second})
    ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + base + "\"", &error)) << error;
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "DSN=dsnre ;DESCRIPTION= ;DBQ=" + first, &error));
  {
    Connection c("DSN=dsnre");
    ASSERT_TRUE(c.exec("CREATE TABLE one (x INT)").ok());
  }
  ASSERT_TRUE(configDataSource(ODBC_REMOVE_DSN, "DSN=dsnre ;DESCRIPTION= ;DBQ=" + first, &error));
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "DSN=dsnre ;DESCRIPTION= ;DBQ=" + second, &error));
  {
    Connection c("DSN=dsnre");
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    EXPECT_EQ(c.count("one"), -1) << "still connected to the first file";
    ASSERT_TRUE(c.exec("CREATE TABLE two (x INT)").ok());
  }
  EXPECT_EQ(readback::mdbTables(first + ".mdb"), std::vector<std::string>{"one"});
  EXPECT_EQ(readback::mdbTables(second + ".mdb"), std::vector<std::string>{"two"});
}

TEST(Connect, MissingOrForeignFilesFailWithAClearMessage) {
  Connection missing(dbq(dir() / "nowhere.mdb"));
  EXPECT_FALSE(missing.connected());
  EXPECT_EQ(missing.connectOutcome().state, "08001");
  EXPECT_NE(missing.connectOutcome().message.find("nowhere.mdb"), std::string::npos)
      << missing.connectOutcome().message;
  EXPECT_EQ(missing.connectOutcome().message.rfind("[Tabulex][Access Driver] ", 0), 0u);

  // Not a whole number of pages, as most foreign files are.
  std::vector<char> noise(10000);
  std::mt19937 random(7);
  for (auto& b : noise) b = static_cast<char>(random());
  std::ofstream(dir() / "random.mdb", std::ios::binary).write(noise.data(), noise.size());
  Connection foreign(dbq(dir() / "random.mdb"));
  EXPECT_FALSE(foreign.connected());
  EXPECT_EQ(foreign.connectOutcome().state, "08001");
  EXPECT_NE(foreign.connectOutcome().message.find("random.mdb"), std::string::npos)
      << foreign.connectOutcome().message;
  std::string after = slurp(dir() / "random.mdb");
  EXPECT_EQ(after, std::string(noise.begin(), noise.end())) << "a foreign file is left untouched";
  std::ofstream(dir() / "tiny.mdb") << "hello";
  Connection tiny(dbq(dir() / "tiny.mdb"));
  EXPECT_FALSE(tiny.connected());
  EXPECT_EQ(slurp(dir() / "tiny.mdb"), "hello");

  std::string error;
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "DSN=nodbq;DESCRIPTION=x", &error)) << error;
  Connection noDbq("DSN=nodbq");
  EXPECT_FALSE(noDbq.connected());
  EXPECT_NE(noDbq.connectOutcome().message.find("DBQ"), std::string::npos)
      << noDbq.connectOutcome().message;
}

// What the access layer does with its ODBC 2 environment, static cursors
// and text reads; the answers it checks.
TEST(LayerSequence, Odbc2CursorsAndTextReads) {
  std::string error;
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + (dir() / "layer").string() + "\"",
                               &error));
  Connection c(dbq(dir() / "layer.mdb"), SQL_OV_ODBC2);
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  SQLHDBC dbc = c.dbc();

  SQLUSMALLINT u16 = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_ODBC_API_CONFORMANCE, &u16, sizeof u16, nullptr), SQL_SUCCESS);
  EXPECT_GE(u16, SQL_OAC_LEVEL1);
  SQLUINTEGER u32 = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_SCROLL_OPTIONS, &u32, sizeof u32, nullptr), SQL_SUCCESS);
  EXPECT_TRUE(u32 & SQL_SO_STATIC);
  char text[64] = {0};
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DATA_SOURCE_READ_ONLY, text, sizeof text, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(text, "N");
  // The catalogue is the file's path without its extension; a short buffer
  // gets a terminated prefix, the full length and a truncation warning.
  const std::string catalog = (dir() / "layer").string();
  SQLSMALLINT textLength = 0;
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DATABASE_NAME, text, sizeof text, &textLength), SQL_SUCCESS);
  EXPECT_EQ(std::string(text), catalog.substr(0, sizeof text - 1));
  EXPECT_EQ(textLength, static_cast<SQLSMALLINT>(catalog.size()));
  char shortText[4] = {'x', 'x', 'x', 'x'};
  ASSERT_EQ(SQLGetInfo(dbc, SQL_DRIVER_NAME, shortText, sizeof shortText, &textLength),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(shortText, "lib");
  EXPECT_EQ(textLength, static_cast<SQLSMALLINT>(std::strlen("libtabulexaccess.so")));
  SQLUSMALLINT exists = SQL_FALSE;
  SQLGetFunctions(dbc, SQL_API_SQLEXTENDEDFETCH, &exists);
  EXPECT_EQ(exists, SQL_TRUE);

  std::string memo(300000, 'm');
  memo[0] = 'A';
  memo.back() = 'Z';
  ASSERT_TRUE(c.exec("CREATE TABLE t (id INTEGER, name VARCHAR(10), notes MEMO, at DATETIME)").ok());
  ASSERT_TRUE(c.exec("INSERT INTO t VALUES (1, NULL, '" + memo + "', '7/3/2009 14:05:00')").ok());
  ASSERT_TRUE(c.exec("INSERT INTO t VALUES (2, 'two', '', NULL)").ok());

  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_QUERY_TIMEOUT, 15), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(diagnose(SQL_HANDLE_STMT, stmt, SQL_SUCCESS_WITH_INFO).state, "01S02");
  SQLULEN timeout = 99;
  SQLGetStmtOption(stmt, SQL_QUERY_TIMEOUT, &timeout);
  EXPECT_EQ(timeout, 0u);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_CONCURRENCY, SQL_CONCUR_READ_ONLY), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(stmt, (SQLCHAR*)"Select * from t", SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS);

  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  ASSERT_EQ(columns, 4);
  SQLSMALLINT types[4];
  for (SQLUSMALLINT i = 0; i < 4; ++i) {
    SQLCHAR name[256];
    SQLSMALLINT nameLength, digits, nullable;
    SQLULEN size;
    SQLDescribeCol(stmt, i + 1, name, sizeof name, &nameLength, &types[i], &size, &digits,
                   &nullable);
  }
  EXPECT_EQ(types[0], SQL_INTEGER);
  EXPECT_EQ(types[1], SQL_VARCHAR);
  EXPECT_EQ(types[2], SQL_LONGVARCHAR);
  EXPECT_EQ(types[3], SQL_TIMESTAMP) << "ODBC 2 code 11, not 93";

  SQLULEN fetched = 0;
  SQLUSMALLINT status[1];
  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_SUCCESS);
  EXPECT_EQ(fetched, 1u);
  // A long text read the layer's way: a one-byte buffer first, then the rest.
  char one[1];
  SQLLEN indicator = 0;
  EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_CHAR, one, sizeof one, &indicator), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(indicator, static_cast<SQLLEN>(memo.size()));
  std::string rest(memo.size() + 1, '\0');
  EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_CHAR, rest.data(), rest.size(), &indicator), SQL_SUCCESS);
  EXPECT_EQ(rest.c_str(), memo);
  EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_CHAR, rest.data(), rest.size(), &indicator), SQL_NO_DATA);
  EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, text, sizeof text, &indicator), SQL_SUCCESS);
  EXPECT_EQ(indicator, SQL_NULL_DATA);
  TIMESTAMP_STRUCT ts{};
  EXPECT_EQ(SQLGetData(stmt, 4, SQL_C_TIMESTAMP, &ts, sizeof ts, &indicator), SQL_SUCCESS);
  EXPECT_EQ(ts.year, 2009);
  EXPECT_EQ(ts.month, 3);
  EXPECT_EQ(ts.day, 7);
  EXPECT_EQ(ts.hour, 14);

  ASSERT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_SUCCESS);
  // A varchar read into a short buffer is cut, and says so.
  char small[3];
  EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, small, sizeof small, &indicator),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(small, "tw");
  EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_NO_DATA);
  SQLFreeStmt(stmt, SQL_DROP);

  // A statement that returns rows through the execute-and-drain path, and an
  // empty result.
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  ASSERT_EQ(SQLExecDirect(stmt, (SQLCHAR*)"SELECT COUNT(*) FROM t", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
  SQLINTEGER count = 0;
  SQLGetData(stmt, 1, SQL_C_SLONG, &count, 0, nullptr);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
  EXPECT_EQ(SQLMoreResults(stmt), SQL_NO_DATA);
  ASSERT_TRUE(c.exec("CREATE TABLE empty (x INT)").ok());
  SQLSetStmtOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC);
  ASSERT_EQ(SQLExecDirect(stmt, (SQLCHAR*)"SELECT x FROM empty", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &fetched, status), SQL_NO_DATA);
  SQLFreeStmt(stmt, SQL_DROP);
}

// Another program meets the lock while we hold the file; between our
// connections it may write, and the next connection sees what it wrote.
TEST(Sharing, LockAcrossProcessesAndRevalidationAfterOtherWriters) {
  if (readback::runCommand({"sh", "-c", "command -v isql"}).status != 0)
    GTEST_SKIP() << "isql is not installed";
  std::string error;
  std::string base = (dir() / "shared").string();
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + base + "\"", &error)) << error;
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "DSN=dsnshare;DBQ=" + base, &error)) << error;
  auto isql = [](const std::string& sql) {
    // isql reads statements from a file given as its standard input.
    std::string script = (dir() / "isql-input.sql").string();
    std::ofstream(script) << sql << "\n";
    return readback::runCommand({"sh", "-c", "isql -b -v dsnshare < '" + script + "'"});
  };
  {
    Connection c("DSN=dsnshare");
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_TRUE(c.exec("CREATE TABLE t (id INTEGER, name TEXT(20))").ok());
    ASSERT_TRUE(c.exec("INSERT INTO t VALUES (1, 'ours')").ok());
    auto blocked = isql("INSERT INTO t VALUES (2, 'theirs')");
    EXPECT_NE(blocked.out.find("in use"), std::string::npos) << blocked.out << blocked.err;
  }
  // The file is let go shortly after our last connection closes.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  auto wrote = isql("INSERT INTO t VALUES (2, 'theirs')\nSELECT * FROM t");
  EXPECT_EQ(wrote.status, 0) << wrote.out << wrote.err;
  EXPECT_NE(wrote.out.find("theirs"), std::string::npos) << wrote.out;
  // isql ended straight after its statements; the file was still finished
  // properly, with no journal left beside it.
  EXPECT_FALSE(fs::exists(base + ".mdb-journal"));
  {
    Connection c("DSN=dsnshare");
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    EXPECT_EQ(c.count("t"), 2);
  }
  // A file deleted and made anew at the same path while our copy is still
  // cached: the next connection works on the new file.
  fs::remove(base + ".mdb");
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + base + "\"", &error)) << error;
  {
    Connection c("DSN=dsnshare");
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    EXPECT_EQ(c.count("t"), -1) << "the old file's table must not show";
    ASSERT_TRUE(c.exec("CREATE TABLE fresh (x INT)").ok());
    ASSERT_TRUE(c.exec("INSERT INTO fresh VALUES (5)").ok());
  }
  EXPECT_TRUE(readback::fileMatches(base + ".mdb", {{"fresh", {"x"}, {nlohmann::json::array({5})}}}));
}

// A child made by fork() (without exec) shares its parent's open files.
// Neither may keep the other from the database once it is done with it.
TEST(Sharing, ForkedChildAndParentTakeTurns) {
  std::string error;
  std::string base = (dir() / "forked").string();
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + base + "\"", &error)) << error;
  std::string cs = dbq(base + ".mdb");
  {
    Connection c(cs);
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_TRUE(c.exec("CREATE TABLE t (who TEXT(10))").ok());
    ASSERT_TRUE(c.exec("INSERT INTO t VALUES ('parent')").ok());
  }
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // By now the parent has let the file go.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    bool ok;
    {
      Connection c(cs);
      ok = c.connected() && c.exec("INSERT INTO t VALUES ('child')").ok();
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not write";
  Connection c(cs);
  ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
  EXPECT_EQ(c.count("t"), 2);
}

// Another program swaps a new file in at the path of a copy we still hold.
// Every connection from then on must see the new file, and the old copy must
// still be let go, however often the converter reconnects.
TEST(Sharing, FileReplacedWhileCachedIsSeenAndTheOldCopyLetGo) {
  std::string error;
  std::string swap = (dir() / "swap").string(), other = (dir() / "swapin").string();
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + swap + "\"", &error)) << error;
  ASSERT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + other + "\"", &error)) << error;
  {
    Connection c(dbq(other + ".mdb"));
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_TRUE(c.exec("CREATE TABLE theirs (x INT)").ok());
    ASSERT_TRUE(c.exec("INSERT INTO theirs VALUES (7)").ok());
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  {
    Connection c(dbq(swap + ".mdb"));
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_TRUE(c.exec("CREATE TABLE ours (x INT)").ok());
  }
  fs::copy_file(other + ".mdb", swap + ".tmp");
  fs::rename(swap + ".tmp", swap + ".mdb");

  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(800);
  int rounds = 0;
  while (std::chrono::steady_clock::now() < until) {
    Connection c(dbq(swap + ".mdb"));
    ASSERT_TRUE(c.connected()) << c.connectOutcome().message;
    ASSERT_EQ(c.count("theirs"), 1) << "round " << rounds;
    ASSERT_EQ(c.count("ours"), -1) << "round " << rounds;
    ++rounds;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::vector<std::string> held;
  for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    std::string target = fs::read_symlink(fd.path(), ec).string();
    if (target.find("(deleted)") != std::string::npos && target.find("swap.mdb (deleted)") != std::string::npos)
      held.push_back(target);
  }
  EXPECT_TRUE(held.empty()) << "still open: " << held.front() << " and " << held.size() - 1 << " more";
}

// Whatever makes the path of a cached copy name another file, the very
// next connection works on that file: the file moved away and another put
// in its place, a folder on the way moved and made anew, a link on the way
// pointed elsewhere.
TEST(Sharing, PathNamingAnotherFileIsSeenAtTheNextConnect) {
  std::string error;
  auto make = [&](const fs::path& folder, const std::string& table) {
    fs::create_directories(folder);
    std::string base = (folder / "data").string();
    EXPECT_TRUE(configDataSource(ODBC_ADD_DSN, "CREATE_DB=\"" + base + "\"", &error)) << error;
    Connection c(dbq(base + ".mdb"));
    EXPECT_TRUE(c.connected()) << c.connectOutcome().message;
    EXPECT_TRUE(c.exec("CREATE TABLE " + table + " (x INT)").ok());
    return base + ".mdb";
  };
  auto sees = [](const std::string& path, const std::string& table) {
    Connection c(dbq(path));
    EXPECT_TRUE(c.connected()) << c.connectOutcome().message;
    return c.count(table) == 0;
  };
  // Older copies let go, then the path's copy cached and used once more:
  // the state of a conversion's connections, which the change must not fool.
  auto settle = [&](const std::string& path, const std::string& table) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    return sees(path, table) && sees(path, table);
  };
  fs::path root = dir() / "renamed";
  std::string path = make(root / "a", "first");
  std::string spare = make(root / "spare", "second");

  ASSERT_TRUE(settle(path, "first"));
  fs::rename(path, root / "a" / "moved.mdb");
  fs::copy_file(spare, path);
  EXPECT_TRUE(sees(path, "second")) << "file moved away";

  ASSERT_TRUE(settle(path, "second"));
  fs::rename(root / "a", root / "a-old");
  fs::create_directories(root / "a");
  fs::copy_file(root / "a-old" / "moved.mdb", path);
  EXPECT_TRUE(sees(path, "first")) << "folder moved away";

  fs::create_directory_symlink(root / "a", root / "link");
  std::string linked = (root / "link" / "data.mdb").string();
  ASSERT_TRUE(settle(linked, "first"));
  fs::remove(root / "link");
  fs::create_directory_symlink(root / "spare", root / "link");
  EXPECT_TRUE(sees(linked, "second")) << "link pointed elsewhere";
}

}  // namespace
}  // namespace tabulex::test
