// A writer killed at any instant leaves a file that opens, passes the
// structural check and holds every row whose insert had returned.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <random>

#include "jet_files.h"
#include "jet/bytes.h"

namespace {

using namespace jettest;
using jet::ColumnType;
using jet::Value;

std::vector<Value> rowFor(int64_t id) {
  // Every few rows carry a long value that spans pages, so a kill often
  // lands inside a multi-page operation.
  Value doc = id % 7 == 0 ? Value(std::string(size_t(id % 5) * 4000 + 100, char('a' + id % 26))) : Value(jet::Null{});
  return {id, "payload " + std::to_string(id * 31), doc};
}

jet::TableSpec table(const std::string& name) {
  jet::TableSpec s;
  s.name = name;
  s.columns = {{"Id", ColumnType::Long}, {"Payload", ColumnType::Text, 100}, {"Doc", ColumnType::Memo}};
  s.indexes = {{"PrimaryKey", {"Id"}, {}, true}, {"ByPayload", {"Payload"}, {}, false, false}};
  return s;
}

[[noreturn]] void writer(const std::string& path, int ackFd) {
  try {
    auto db = jet::Database::open(path, true);
    int64_t id = db->rowCount("T");
    for (;;) {
      ++id;
      if (id % 400 == 0) db->createTable(table("Extra" + std::to_string(id)));
      db->insertRow("T", rowFor(id));
      int32_t ack = int32_t(id);
      if (write(ackFd, &ack, sizeof ack) != sizeof ack) _exit(3);
    }
  } catch (...) {
    _exit(2);
  }
}

TEST(Crash, KilledWritersLoseNoAcknowledgedRow) {
  ScratchDir dir;
  std::string path = dir.file("crash.mdb");
  jet::Database::create(path)->createTable(table("T"));
  std::mt19937 random(20261208);
  int64_t acknowledged = 0;
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      writer(path, fds[1]);
    }
    close(fds[1]);
    // The kill comes at a random moment after the writer's first row: an
    // instrumented or busy writer may take a while to open the file.
    pollfd started{fds[0], POLLIN, 0};
    poll(&started, 1, 10000);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(30 + random() % 250);
    auto drain = [&](int timeoutMs) {
      pollfd p{fds[0], POLLIN, 0};
      while (poll(&p, 1, timeoutMs) > 0) {
        int32_t ack;
        ssize_t n = read(fds[0], &ack, sizeof ack);
        if (n != sizeof ack) break;
        acknowledged = std::max<int64_t>(acknowledged, ack);
        if (timeoutMs > 0 && std::chrono::steady_clock::now() >= deadline) break;
      }
    };
    drain(20);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself, status " << status;
    drain(0);
    close(fds[0]);

    auto db = jet::Database::open(path, true);  // rolls back the unfinished operation
    auto rows = allRows(*db, "T");
    ASSERT_GE(int64_t(rows.size()), acknowledged);
    EXPECT_EQ(rows.size(), db->rowCount("T"));
    for (size_t i = 0; i < rows.size(); ++i)
      ASSERT_EQ(rows[i], rowFor(int64_t(i + 1))) << "row " << i;
    db.reset();
    EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
  }
  EXPECT_GT(acknowledged, 100);
  EXPECT_EQ(tabulex::readback::mdbCount(path, "T"), long(jet::Database::open(path, false)->rowCount("T")));
}

// Kills writers of path until one dies inside an operation, leaving a
// pending journal; returns that journal's bytes.
std::vector<uint8_t> killUntilJournalPending(const std::string& path) {
  std::mt19937 random(7);
  for (int attempt = 0; attempt < 200; ++attempt) {
    pid_t child = fork();
    if (child == 0) writer(path, open("/dev/null", O_WRONLY));
    usleep(20000 + random() % 20000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    auto journal = readFile(path + "-journal");
    if (journal.size() >= 12 && journal[8] == 1) return journal;
  }
  ADD_FAILURE() << "no kill landed inside an operation";
  return {};
}

// A writer killed between two operations leaves its file longer than the
// pages in use: the zero pages it claimed ahead. The next open, a reader's
// included, cuts them off; no row goes with them.
TEST(Crash, ZeroPagesClaimedAheadAreCutOffByTheNextOpen) {
  ScratchDir dir;
  std::string path = dir.file("ahead.mdb");
  jet::Database::create(path)->createTable(table("T"));
  std::mt19937 random(11);
  uint64_t committed = 0;
  for (int attempt = 0; attempt < 200 && committed == 0; ++attempt) {
    pid_t child = fork();
    if (child == 0) writer(path, open("/dev/null", O_WRONLY));
    usleep(20000 + random() % 20000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    auto journal = readFile(path + "-journal");
    struct stat st;
    if (journal.size() >= 64 && journal[8] == 0 && stat(path.c_str(), &st) == 0 &&
        uint64_t(st.st_size) > uint64_t(jet::get32(journal.data() + 48)) * 4096)
      committed = jet::get32(journal.data() + 48);
    else
      jet::Database::open(path, true);  // undoes an unfinished operation
  }
  ASSERT_NE(committed, 0u) << "no kill landed between operations of a grown file";
  {
    auto db = jet::Database::open(path, false);
    EXPECT_FALSE(db->rolledBackOnOpen());
    EXPECT_EQ(allRows(*db, "T").size(), db->rowCount("T"));
  }
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(uint64_t(st.st_size), committed * 4096);
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
  EXPECT_EQ(tabulex::readback::mdbCount(path, "T"), long(jet::Database::open(path, false)->rowCount("T")));
}

// A journal that outlives its file (the file was replaced after a crash)
// must not be applied to the new file, even when the new file got the old
// one's inode, as a file made right after a delete usually does.
TEST(Crash, AJournalOfAnotherFileIsNeverApplied) {
  ScratchDir dir;
  std::string path = dir.file("replaced.mdb");
  jet::Database::create(path)->createTable(table("T"));
  std::vector<uint8_t> journal = killUntilJournalPending(path);
  ASSERT_FALSE(journal.empty());

  // Renamed over the old file: another inode.
  std::string other = dir.file("other.mdb");
  jet::Database::create(other)->createTable(table("Other"));
  auto replacement = readFile(other);
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  {
    auto db = jet::Database::open(path, true);
    EXPECT_FALSE(db->rolledBackOnOpen());
    EXPECT_EQ(db->tableNames(), std::vector<std::string>{"Other"});
  }
  EXPECT_EQ(readFile(path), replacement);

  // Deleted and made anew at the same path: creating removes the journal
  // left there...
  writeFile(path + "-journal", journal);
  ASSERT_EQ(unlink(path.c_str()), 0);
  jet::Database::create(path)->createTable(table("Fresh"));
  struct stat st;
  EXPECT_NE(lstat((path + "-journal").c_str(), &st), 0) << "the old journal survived the new file";
  // ...and one that comes back carrying the new file's inode and device
  // still does not match the file's own identity.
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  jet::put64(journal.data() + 24, uint64_t(st.st_ino));
  jet::put64(journal.data() + 32, uint64_t(st.st_dev));
  writeFile(path + "-journal", journal);
  auto fresh = readFile(path);
  {
    auto db = jet::Database::open(path, true);
    EXPECT_FALSE(db->rolledBackOnOpen());
    EXPECT_EQ(db->tableNames(), std::vector<std::string>{"Fresh"});
  }
  EXPECT_EQ(readFile(path), fresh);
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
}

// Whatever opens the file next undoes a killed writer's unfinished change:
// a read-only open (the driver's first look, readers) and the checker too,
// which says so instead of passing the file silently.
TEST(Crash, ReadersAndTheCheckerRollBackAnInterruptedWrite) {
  ScratchDir dir;
  std::string path = dir.file("interrupted.mdb");
  jet::Database::create(path)->createTable(table("T"));
  ASSERT_FALSE(killUntilJournalPending(path).empty());
  {
    auto db = jet::Database::open(path, false);
    EXPECT_TRUE(db->rolledBackOnOpen());
    EXPECT_EQ(allRows(*db, "T").size(), db->rowCount("T"));
  }
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});

  ASSERT_FALSE(killUntilJournalPending(path).empty());
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path),
            std::vector<std::string>{"interrupted write, rolled back"});
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
  struct stat st;
  EXPECT_NE(lstat((path + "-journal").c_str(), &st), 0);
}

// The journal is created beside the file under a name anyone who can write
// the folder can take first. Whatever is planted there is refused, never
// written through.
TEST(Crash, APlantedJournalIsRefused) {
  ScratchDir dir;
  std::string path = dir.file("planted.mdb");
  jet::Database::create(path)->createTable(table("T"));
  std::string victim = dir.file("victim.txt");
  writeFile(victim, {'k', 'e', 'e', 'p'});
  std::string journal = path + "-journal";

  auto refused = [&](const char* what) {
    SCOPED_TRACE(what);
    for (bool writable : {true, false}) {
      try {
        auto db = jet::Database::open(path, writable);
        if (writable) db->insertRow("T", rowFor(1));
        ADD_FAILURE() << "the open went through the planted journal (writable " << writable << ")";
      } catch (const jet::Error& e) {
        EXPECT_NE(std::string(e.what()).find("journal"), std::string::npos) << e.what();
      }
    }
    EXPECT_EQ(readFile(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    struct stat st;
    EXPECT_EQ(lstat(journal.c_str(), &st), 0) << "the planted entry was removed";
  };

  ASSERT_EQ(symlink(victim.c_str(), journal.c_str()), 0);
  refused("a symbolic link to a file");
  ASSERT_EQ(unlink(journal.c_str()), 0);
  ASSERT_EQ(symlink(dir.file("absent").c_str(), journal.c_str()), 0);
  refused("a dangling symbolic link");
  struct stat st;
  EXPECT_NE(lstat(dir.file("absent").c_str(), &st), 0) << "a file was created through the link";
  ASSERT_EQ(unlink(journal.c_str()), 0);
  ASSERT_EQ(link(victim.c_str(), journal.c_str()), 0);
  refused("a hard link to another file");
  ASSERT_EQ(unlink(journal.c_str()), 0);
  ASSERT_EQ(mkdir(journal.c_str(), 0755), 0);
  refused("a folder");
  ASSERT_EQ(rmdir(journal.c_str()), 0);

  // With the way clear, the file works as before.
  jet::Database::open(path, true)->insertRow("T", rowFor(1));
  EXPECT_EQ(tabulex::readback::jetcheckProblems(path), std::vector<std::string>{});
}

}  // namespace
