// The program on a machine it shares: names with any byte in them, links
// other people placed, files and databases it must not change or trust.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/process_test_util.h"

namespace chatterwick {
namespace {

namespace fs = std::filesystem;
using testing::TempTree;

TEST(SafetyProcessTest, ABackslashOnTheCommandLineIsPartOfTheName) {
  TempTree t;
  t.File("logs/irc/me/nick\\away/1.html", testing::SmallLog(3));
  Ran view = RunToEnd(t, {"view", t.Path("logs/irc/me/nick\\away/1.html")});
  EXPECT_EQ(view.status, 0) << view.err;
  t.Folder("out");
  Ran save = RunToEnd(
      t, {"export", t.Path("logs/irc/me/nick\\away/1.html"), "--text", t.Path("out/a\\b.txt")});
  EXPECT_EQ(save.status, 0) << save.err;
  EXPECT_TRUE(fs::exists(t.Path("out/a\\b.txt")));
  EXPECT_FALSE(fs::exists(t.Path("out/a")));
  Ran archive = RunToEnd(t, {"archive", t.Path("logs"), "--db", t.Path("a.sqlite"), "--quiet"});
  EXPECT_EQ(archive.status, 0) << archive.err;
  EXPECT_NE(archive.out.find("Logs found: 1"), std::string::npos) << archive.out;
}

TEST(SafetyProcessTest, LinksAreFollowedOnlyWhereTheSystemWouldFollowThem) {
  TempTree t;
  t.File("1.html", testing::SmallLog(3));
  t.File("notes.txt", "mine");
  t.Folder("out");
  ASSERT_EQ(::symlink(t.Path("out/missing.csv").c_str(), t.Path("out/dangling.csv").c_str()), 0);
  Ran dangling = RunToEnd(t, {"export", t.Path("1.html"), "--csv", t.Path("out/dangling.csv")});
  EXPECT_EQ(dangling.status, 1);
  EXPECT_NE(dangling.err.find("dangling symbolic link"), std::string::npos) << dangling.err;
  EXPECT_FALSE(fs::exists(t.Path("out/missing.csv")));

  // One's own link is followed, and the file it points to replaced.
  ASSERT_EQ(::symlink(t.Path("notes.txt").c_str(), t.Path("out/mine.txt").c_str()), 0);
  Ran own = RunToEnd(t, {"export", t.Path("1.html"), "--text", t.Path("out/mine.txt")});
  EXPECT_EQ(own.status, 0) << own.err;
  EXPECT_TRUE(fs::is_symlink(t.Path("out/mine.txt")));
  EXPECT_NE(t.Read("notes.txt"), "mine");

  if (::geteuid() != 0) GTEST_SKIP() << "a link of another user's needs root to make";
  t.File("notes.txt", "mine");
  t.Folder("shared");
  ASSERT_EQ(::chmod(t.Path("shared").c_str(), 01777), 0);
  const std::string link = t.Path("shared/report.txt");
  ASSERT_EQ(::symlink(t.Path("notes.txt").c_str(), link.c_str()), 0);
  ASSERT_EQ(::lchown(link.c_str(), kNobody, kNobody), 0);
  Ran planted = RunToEnd(t, {"export", t.Path("1.html"), "--text", link});
  EXPECT_EQ(planted.status, 1);
  EXPECT_NE(planted.err.find("Permission denied"), std::string::npos) << planted.err;
  EXPECT_EQ(t.Read("notes.txt"), "mine");
}

TEST(SafetyProcessTest, AFileThatMayNotBeWrittenIsNotReplaced) {
  if (!CanRunAsNobody()) GTEST_SKIP() << "this machine has no user " << kNobody << " to run as";
  TempTree t;
  t.File("1.html", testing::SmallLog(3));
  t.File("out/kept.txt", "kept");
  ASSERT_EQ(::chmod(t.root().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(t.Path("1.html").c_str(), 0644), 0);
  ASSERT_EQ(::chmod(t.Path("out").c_str(), 0777), 0);
  ASSERT_EQ(::chmod(t.Path("out/kept.txt").c_str(), 0444), 0);
  Ran r = RunToEnd(t, {"export", t.Path("1.html"), "--text", t.Path("out/kept.txt")}, true);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
  EXPECT_EQ(t.Read("out/kept.txt"), "kept");
}

TEST(SafetyProcessTest, ReplacedFilesKeepTheirPermissionsAndNewPrivateOnesAreTheOwners) {
  TempTree t;
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  ASSERT_EQ(RunToEnd(t, {"catalogue", t.Path("logs"), "--output", t.Path("out")}).status, 0);
  ASSERT_EQ(::chmod(t.Path("out/chat.csv").c_str(), 0600), 0);
  ASSERT_EQ(RunToEnd(t, {"catalogue", t.Path("logs"), "--output", t.Path("out")}).status, 0);
  struct stat st {};
  ASSERT_EQ(::stat(t.Path("out/chat.csv").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(t.Path("out").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  t.Folder("db");
  ASSERT_EQ(RunToEnd(t, {"archive", t.Path("logs"), "--db", t.Path("db/a.sqlite")}).status, 0);
  Ran exported = RunToEnd(t, {"export-archive", "--db", t.Path("db/a.sqlite"), "--format", "txt",
                              "--output", t.Path("export")});
  ASSERT_EQ(exported.status, 0) << exported.err;
  for (const auto& e : fs::recursive_directory_iterator(t.Path("export"))) {
    ASSERT_EQ(::stat(e.path().c_str(), &st), 0);
    if (S_ISREG(st.st_mode) && e.path().extension() == ".txt") {
      EXPECT_EQ(st.st_mode & 0777, 0600u) << e.path();
    }
  }
}

// A save killed before its rename leaves its temporary file; the next save
// of that file removes it, but never one a running save still writes.
TEST(SafetyProcessTest, TheNextSaveRemovesWhatAKilledOneLeft) {
  TempTree t;
  t.File("1.html", testing::SmallLog(3));
  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(Wait({ended, "", ""}), 0);
  const std::string killed = ".notes.txt.chatterwick-" + std::to_string(ended) + "-1";
  const std::string running = ".notes.txt.chatterwick-" + std::to_string(::getpid()) + "-1";
  t.File("out/" + killed, "half");
  t.File("out/" + running, "being written");
  Ran r = RunToEnd(t, {"export", t.Path("1.html"), "--text", t.Path("out/notes.txt")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(t.Path("out/" + killed)));
  EXPECT_TRUE(fs::exists(t.Path("out/" + running)));

  // So does the next export of the archive, in each folder it writes.
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  ASSERT_EQ(RunToEnd(t, {"archive", t.Path("logs"), "--db", t.Path("a.sqlite")}).status, 0);
  const std::string left =
      "export/p/a/c/.2022-09-30 10.00.00.txt.chatterwick-" + std::to_string(ended) + "-7";
  t.File(left, "half");
  Ran exported = RunToEnd(t, {"export-archive", "--db", t.Path("a.sqlite"), "--format", "txt",
                              "--output", t.Path("export")});
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_FALSE(fs::exists(t.Path(left)));
  EXPECT_TRUE(fs::exists(t.Path("export/p/a/c/2022-09-30 10.00.00.txt")));
}

// Another user's archive, or one on read-only media, can be searched: the
// reader needs no file of its own beside the database.
TEST(SafetyProcessTest, AnArchiveInAFolderThatMayNotBeWrittenCanBeSearched) {
  if (!CanRunAsNobody()) GTEST_SKIP() << "this machine has no user " << kNobody << " to run as";
  TempTree t;
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  const std::string db = t.Path("ro/a.sqlite");
  t.Folder("ro");
  Ran made = RunToEnd(t, {"archive", t.Path("logs"), "--db", db, "--quiet"});
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(::chmod(t.root().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(db.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(t.Path("ro").c_str(), ::geteuid() == 0 ? 0755 : 0555), 0);
  // As root, the run is another user's; the output goes where that user may write.
  t.Folder("out");
  ASSERT_EQ(::chmod(t.Path("out").c_str(), 0777), 0);
  Process p = Start(t, {"search", db, "line"}, t.Path("out/hits"), true);
  EXPECT_EQ(Wait(p), 0) << ReadFile(p.err_path);
  EXPECT_NE(ReadFile(t.Path("out/hits")).find("line"), std::string::npos);
  EXPECT_FALSE(fs::exists(db + "-shm"));
  ASSERT_EQ(::chmod(t.Path("ro").c_str(), 0755), 0);
}

}  // namespace
}  // namespace chatterwick
