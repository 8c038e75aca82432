// The archive database on a machine it shares with others: files that are
// not its own, a crafted archive, two names for one file, texts too long
// for SQLite, and who may read what the run creates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "archive/archive.h"
#include "archive/reader.h"
#include "archive/sqlite_db.h"
#include "platform/posix_env.h"
#include "testing/temp_tree.h"

namespace chatterwick::archive {
namespace {

using chatterwick::testing::SmallLog;
using chatterwick::testing::TempTree;
namespace fs = std::filesystem;

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

class DatabaseSafetyTest : public ::testing::Test {
 protected:
  TempTree t;
  DatabaseSafetyTest() { t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", SmallLog(3)); }
  ArchiveResult Run(const std::string& db, const std::atomic<int>* stop = nullptr) {
    return RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr, stop);
  }
  void MakeDatabase(const std::string& path, const char* sql) {
    Database d;
    ASSERT_TRUE(d.Open(path, false).ok());
    ASSERT_TRUE(d.Exec(sql).ok()) << sql;
  }
};

TEST_F(DatabaseSafetyTest, ARefusedFileKeepsEveryByteAndGetsNoLockFile) {
  t.File("text.sqlite", "a line of text, and no database at all, not even a little bit\n");
  MakeDatabase(t.Path("foreign.sqlite"), "CREATE TABLE notes(x); PRAGMA user_version = 1;");
  MakeDatabase(t.Path("newer.sqlite"), "CREATE TABLE notes(x); PRAGMA user_version = 99;");
  for (const char* name : {"text.sqlite", "foreign.sqlite", "newer.sqlite"}) {
    const std::string db = t.Path(name), before = Bytes(db);
    EXPECT_EQ(Run(db).outcome, ArchiveOutcome::kDatabaseError) << name;
    EXPECT_EQ(Bytes(db), before) << name;
    EXPECT_FALSE(fs::exists(db + ".lock")) << name;
    EXPECT_FALSE(fs::exists(db + "-wal")) << name;
  }
}

TEST_F(DatabaseSafetyTest, ACraftedArchiveRunsNoCodeOfItsOwn) {
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(Run(db).outcome, ArchiveOutcome::kDone);
  // Code planted in the file: a trigger the next run would fire.
  MakeDatabase(db,
               "CREATE TABLE planted(x); CREATE TRIGGER planted_t AFTER INSERT ON message "
               "BEGIN INSERT INTO planted VALUES (1); END;");
  t.File("logs/p/a/c/2022-10-01.100000+0000UTC.html", SmallLog(2));
  const ArchiveResult r = Run(db);
  EXPECT_EQ(r.outcome, ArchiveOutcome::kDatabaseError);
  EXPECT_EQ(r.why.message(), "an archive with triggers or views this program did not make");

  // A reader makes the same check before any query: a file whose tables are
  // endless views, or an archive whose chat view is one, is refused at once.
  const std::string crafted = t.Path("crafted.sqlite");
  MakeDatabase(crafted,
               "CREATE VIEW protocol AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 "
               "FROM r) SELECT n AS id, '' AS name, '' AS display_name FROM r WHERE n < 0; "
               "PRAGMA user_version = 2;");
  std::unique_ptr<ArchiveReader> reader;
  Status s = ArchiveReader::Open(crafted, &reader);
  EXPECT_TRUE(s.IsInvalidData()) << s.message();
  const std::string endless = t.Path("endless.sqlite");
  ASSERT_EQ(Run(endless).outcome, ArchiveOutcome::kDone);
  MakeDatabase(endless,
               "DROP VIEW chat; CREATE VIEW chat AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL "
               "SELECT n + 1 FROM r) SELECT * FROM message, r;");
  const auto start = std::chrono::steady_clock::now();
  s = ArchiveReader::Open(endless, &reader);
  EXPECT_EQ(s.message(), "an archive with triggers or views this program did not make");
  SearchOptions everything;
  EXPECT_TRUE(Search(endless, everything, [](const SearchHit&) { return true; }).IsInvalidData());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(DatabaseSafetyTest, OneLockForOneFileHoweverItIsNamed) {
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(Run(db).outcome, ArchiveOutcome::kDone);
  ASSERT_EQ(::symlink(db.c_str(), t.Path("link.sqlite").c_str()), 0);
  std::unique_ptr<FileLock> held;
  ASSERT_TRUE(PosixEnv()->LockFile(db + ".lock", &held).ok());
  EXPECT_EQ(Run(t.Path("link.sqlite")).outcome, ArchiveOutcome::kBusy);
  EXPECT_FALSE(fs::exists(t.Path("link.sqlite.lock")));
}

TEST_F(DatabaseSafetyTest, WhatTheRunCreatesIsItsOwnersAlone) {
  const std::string db = t.Path("new/a.sqlite");
  ASSERT_TRUE(PosixEnv()->CreateFolders(t.Path("new/")).ok());
  ASSERT_EQ(Run(db).outcome, ArchiveOutcome::kDone);
  EXPECT_EQ(Mode(t.Path("new")), 0700u);
  EXPECT_EQ(Mode(db), 0600u);
  EXPECT_EQ(Mode(db + ".lock"), 0600u);
}

TEST_F(DatabaseSafetyTest, ATextTooLongForTheDatabaseIsStoredCut) {
  const std::string huge(kMaxMessageBytes + 1000, 'x');
  t.File("logs/p/a/c/2022-10-01.100000+0000UTC.html",
         "<title>t</title>\n<font size=\"2\">(10:00:00)</font> <b>Bob:</b> " + huge + "\n");
  const std::string db = t.Path("a.sqlite");
  ArchiveResult r = Run(db);
  ASSERT_EQ(r.outcome, ArchiveOutcome::kDone) << r.why.message();
  EXPECT_EQ(r.summary.messages_total, 4);
  Database d;
  ASSERT_TRUE(d.Open(db, true).ok());
  int64_t longest = 0;
  ASSERT_TRUE(d.QueryInt("SELECT max(length(body)) FROM message", &longest).ok());
  EXPECT_LT(longest, static_cast<int64_t>(kMaxMessageBytes + 100));
  EXPECT_EQ(Run(db).summary.unchanged_logs, 2);
}

TEST_F(DatabaseSafetyTest, AStopInsideAHugeLogEndsTheRunAndKeepsTheLogsBefore) {
  std::string lines = "<title>t</title>\n";
  for (int i = 0; i < 400000; ++i) lines += "<font size=\"2\">(10:00:00)</font> <b>Bob:</b> hi\n";
  t.File("logs/p/a/d/2022-10-01.100000+0000UTC.html", lines);
  std::atomic<int> stop{0};
  // Raised halfway through reading the huge log, the second of the two. The
  // reader runs at most a few pieces ahead of what is stored, so by then
  // the first log is stored, whichever thread gets where first.
  struct RaiseMidway : EnvWrapper {
    std::atomic<int>* stop;
    size_t half;
    RaiseMidway(Env* e, std::atomic<int>* s, size_t h) : EnvWrapper(e), stop(s), half(h) {}
    Status NewSequentialFile(const std::string& p, std::unique_ptr<SequentialFile>* r) override {
      Status s = EnvWrapper::NewSequentialFile(p, r);
      if (s.ok() && p.find("/d/") != std::string::npos) r->reset(new Counting(std::move(*r), this));
      return s;
    }
    struct Counting : SequentialFile {
      std::unique_ptr<SequentialFile> file;
      RaiseMidway* env;
      size_t read = 0;
      Counting(std::unique_ptr<SequentialFile> f, RaiseMidway* e) : file(std::move(f)), env(e) {}
      Status Read(size_t n, char* scratch, size_t* got) override {
        Status s = file->Read(n, scratch, got);
        if ((read += *got) > env->half) env->stop->store(2);
        return s;
      }
    };
  } env(PosixEnv(), &stop, lines.size() / 2);
  const std::string db = t.Path("a.sqlite");
  const ArchiveResult r = RunArchive(env, t.Path("logs/"), db, "*.html", nullptr, &stop);
  EXPECT_EQ(r.outcome, ArchiveOutcome::kStopped);
  EXPECT_EQ(r.summary.messages_total, 3);
}

}  // namespace
}  // namespace chatterwick::archive
