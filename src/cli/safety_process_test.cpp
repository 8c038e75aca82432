// The program on a machine it shares: names with any byte in them, links
// other people placed, files and databases it must not change or trust.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

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

// One file of everything is written as any save is: a link is followed to
// the file it names, a pipe or a device is written in place, and a file
// that cannot be written is named with the reason.
TEST(SafetyProcessTest, AnExportToOneFileWritesAsASaveDoes) {
  TempTree t;
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunToEnd(t, {"archive", t.Path("logs"), "--db", db, "--quiet"}).status, 0);
  auto single = [&](const std::string& to) {
    return RunToEnd(t, {"export-archive", "--db", db, "--format", "txt", "--single", to, "-q"});
  };
  t.File("real.txt", "old");
  ASSERT_EQ(::symlink(t.Path("real.txt").c_str(), t.Path("link.txt").c_str()), 0);
  EXPECT_EQ(single(t.Path("link.txt")).status, 0);
  EXPECT_TRUE(fs::is_symlink(t.Path("link.txt")));
  EXPECT_NE(t.Read("real.txt").find("line"), std::string::npos);

  ASSERT_EQ(::mkfifo(t.Path("fifo").c_str(), 0600), 0);
  std::string got;
  std::thread drain([&] { got = ReadFile(t.Path("fifo")); });
  EXPECT_EQ(single(t.Path("fifo")).status, 0);
  drain.join();
  EXPECT_TRUE(fs::is_fifo(t.Path("fifo")));
  EXPECT_NE(got.find("line"), std::string::npos);

  if (::geteuid() == 0) {
    ASSERT_EQ(::mknod(t.Path("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    EXPECT_EQ(single(t.Path("null")).status, 0);
    EXPECT_TRUE(fs::is_character_file(t.Path("null")));
  }

  t.Folder("folder");
  const std::pair<std::string, std::string> refused[] = {
      {t.Path("nodir/x.txt"), "No such file or directory"},
      {t.Path("folder"), "Is a directory"},
      {t.Path("real.txt/x.txt"), "Not a directory"},
  };
  for (const auto& [to, why] : refused) {
    Ran r = single(to);
    EXPECT_EQ(r.status, 1) << to;
    EXPECT_NE(r.err.find("Could not write " + to + " (" + why + ")"), std::string::npos) << r.err;
  }
  Ran folder = RunToEnd(t, {"export-archive", "--db", db, "--format", "txt", "--output",
                            t.Path("real.txt/out"), "-q"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.err.find("Could not write " + t.Path("real.txt/out/") + " (Not a directory)"),
            std::string::npos)
      << folder.err;
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
    if (S_ISREG(st.st_mode)) {
      EXPECT_EQ(st.st_mode & 0777, 0600u) << e.path();  // the manifest and the lock too
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
  ASSERT_EQ(::chmod((db + ".index").c_str(), 0644), 0);  // its full-text index
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
