// A writer killed at any instant leaves a file that opens, passes the
// structural check and holds every row whose insert had returned.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <random>

#include "jet_files.h"

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

// A journal that outlives its file (the file was replaced after a crash)
// must not be applied to the new file.
TEST(Crash, AJournalBesideAReplacedFileIsLeftAlone) {
  ScratchDir dir;
  std::string path = dir.file("replaced.mdb");
  jet::Database::create(path)->createTable(table("T"));
  std::mt19937 random(7);
  bool pending = false;
  for (int attempt = 0; attempt < 200 && !pending; ++attempt) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) writer(path, open("/dev/null", O_WRONLY));
    usleep(20000 + random() % 20000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    auto journal = readFile(path + "-journal");
    pending = journal.size() >= 12 && journal[8] == 1;
  }
  ASSERT_TRUE(pending) << "no kill landed inside an operation";
  std::string other = dir.file("other.mdb");
  jet::Database::create(other)->createTable(table("Other"));
  auto replacement = readFile(other);
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  {
    auto db = jet::Database::open(path, true);
    EXPECT_EQ(db->tableNames(), std::vector<std::string>{"Other"});
  }
  EXPECT_EQ(readFile(path), replacement);
}

}  // namespace
