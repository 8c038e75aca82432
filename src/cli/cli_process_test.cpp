// The command-line program as a process: signals, a second run at once, a
// full disk, standard output that cannot be written. Each check ends in the
// same question: is every earlier result still whole?
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "cli/process_test_util.h"
#include "core/catalogue.h"
#include "testing/temp_tree.h"

namespace chatterwick {
namespace {

namespace fs = std::filesystem;
using testing::TempTree;
using Clock = std::chrono::steady_clock;

using FileSet = std::map<std::string, std::string>;

// The five files as they stand in folder (absent ones missing).
FileSet Catalogue(const std::string& folder) {
  FileSet set;
  for (const char* f : kCatalogueFiles)
    if (fs::exists(folder + f)) set[f] = ReadFile(folder + f);
  return set;
}

std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with(".chatterwick-") && name != kCatalogueLockFile) found.push_back(name);
  }
  return found;
}

void CopySet(const FileSet& set, const std::string& folder) {
  fs::create_directories(folder);
  for (const auto& [name, bytes] : set) {
    FILE* f = std::fopen((folder + name).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// Enough logs that a run takes a while, all in one tree shape.
void MakeTree(TempTree& t, const std::string& root, int logs, int lines) {
  const std::string log = testing::SmallLog(lines);
  for (int i = 0; i < logs; ++i)
    t.File(root + "/p" + std::to_string(i % 3) + "/acct/c" + std::to_string(i % 40) + "/" +
               std::to_string(i) + ".html",
           log);
}

class CliProcessTest : public ::testing::Test {
 protected:
  TempTree t;
  FileSet old_set, new_set;
  double new_run_seconds = 0;

  // The earlier result (of a small tree) and the reference new one (of a big tree).
  void MakeSets() {
    MakeTree(t, "small", 30, 3);
    MakeTree(t, "big", 2500, 20);
    ASSERT_EQ(RunToEnd(t, {"catalogue", t.Path("small"), "--output", t.Path("old")}).status, 0);
    const auto start = Clock::now();
    Ran r = RunToEnd(t, {"catalogue", t.Path("big"), "--output", t.Path("new")});
    new_run_seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.err;
    old_set = Catalogue(t.Path("old/"));
    new_set = Catalogue(t.Path("new/"));
    ASSERT_EQ(old_set.size(), 5u);
    ASSERT_EQ(new_set.size(), 5u);
  }
};

TEST_F(CliProcessTest, AKilledRunLeavesTheOldSetOrTheNewOneNeverAMix) {
  MakeSets();
  int saw_old = 0, saw_new = 0, run = 0;
  for (int sig : {SIGKILL, SIGINT, SIGTERM}) {
    for (double at : {0.02, 0.2, 0.45, 0.7, 0.9, 0.98, 1.3}) {
      const std::string out = t.Path("run" + std::to_string(++run) + "/");
      CopySet(old_set, out);
      Process p = Start(t, {"catalogue", t.Path("big"), "--output", out, "--quiet"});
      std::this_thread::sleep_for(std::chrono::duration<double>(at * new_run_seconds));
      ::kill(p.pid, sig);
      const int status = Wait(p);
      SCOPED_TRACE("signal " + std::to_string(sig) + " at " + std::to_string(at));
      const FileSet now = Catalogue(out);
      EXPECT_TRUE(now == old_set || now == new_set) << "a mix or a partial file";
      saw_old += now == old_set;
      saw_new += now == new_set;
      if (sig == SIGKILL) {
        EXPECT_TRUE(status == 128 + SIGKILL || status == 0) << status;
        // The next run recognises what the killed one left, and removes it.
        ASSERT_EQ(RunToEnd(t, {"catalogue", t.Path("small"), "--output", out}).status, 0);
        EXPECT_EQ(Catalogue(out), old_set);
      } else {
        // Stopped by the handler (128 + the signal), ended by the signal
        // before the handler was in place, or done before it came.
        EXPECT_TRUE(status == 128 + sig || status == 0) << status;
        if (status == 128 + sig) {
          EXPECT_EQ(ReadFile(p.err_path).find("Files written"), std::string::npos);
        }
      }
      EXPECT_TRUE(Leftovers(out).empty()) << Leftovers(out)[0];
    }
  }
  // The signals came both before and after the new set was in place.
  EXPECT_GT(saw_old, 0);
  EXPECT_GT(saw_new, 0);
}

TEST_F(CliProcessTest, ASecondRunIntoTheSameFolderIsRefusedAtOnce) {
  MakeSets();
  const std::string out = t.Path("shared/");
  CopySet(old_set, out);
  // One run holding the folder, as a test holds its lock.
  int fd = ::open((out + kCatalogueLockFile).c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  Ran r = RunToEnd(t, {"catalogue", t.Path("small"), "--output", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Another run is writing into " + out +
                       "; nothing was changed. Try again when it has finished.\n");
  EXPECT_EQ(Catalogue(out), old_set);
  ::close(fd);

  // Two real runs: the second starts while the first writes.
  Process first = Start(t, {"catalogue", t.Path("big"), "--output", out});
  while (Leftovers(out).empty() && ::waitpid(first.pid, nullptr, WNOHANG) == 0)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  Ran second = RunToEnd(t, {"catalogue", t.Path("small"), "--output", out});
  EXPECT_EQ(Wait(first), 0);
  if (second.status == 0) GTEST_SKIP() << "the first run ended before the second began";
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(Catalogue(out), new_set);
}

// A small file system that fills up while the new set is written.
TEST_F(CliProcessTest, AFullDiskKeepsTheEarlierSetWhole) {
  MakeSets();
  const std::string disk = t.Path("disk/");
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{disk};
  CopySet(old_set, disk);
  Ran r = RunToEnd(t, {"catalogue", t.Path("big"), "--output", disk});
  EXPECT_EQ(r.status, 1);
  // The reason once, on stderr; the summary on stdout.
  EXPECT_NE(r.err.find("(No space left on device)\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("No space"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Nothing was replaced: the earlier files in " + disk +
                       " are kept as they were.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(Catalogue(disk), old_set);
  EXPECT_TRUE(Leftovers(disk).empty());

  // A CSV save that does not fit leaves the file as it was.
  const std::string before = ReadFile(disk + "chat.csv");
  t.File("log.html", testing::SmallLog(9000));
  r = RunToEnd(t, {"export", t.Path("log.html"), "--csv", disk + "chat.csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Could not write " + disk + "chat.csv (No space left on device)\n");
  EXPECT_EQ(ReadFile(disk + "chat.csv"), before);
  EXPECT_TRUE(Leftovers(disk).empty());
}

TEST_F(CliProcessTest, StandardOutputThatCannotBeWrittenIsAFailure) {
  t.File("a.html", testing::SmallLog(3));
  Process p = Start(t, {"view", t.Path("a.html")}, "/dev/full");
  EXPECT_EQ(Wait(p), 1);
  EXPECT_EQ(ReadFile(p.err_path), "chatterwick-cli: could not write to standard output\n");
}

// Runs the program with args, its standard output a pipe whose reader has
// gone (head after its first line), stderr into err; returns how it ended.
int WithClosedPipe(const std::vector<std::string>& args, const std::string& err) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  std::vector<const char*> argv = {CHATTERWICK_CLI};
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::dup2(fds[1], 1);
    const int to = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(to, 2);
    ::execv(CHATTERWICK_CLI, const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  ::close(fds[0]);
  ::close(fds[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// A reader that went away (head) ends every command quietly, with the
// status a shell gives a program that SIGPIPE ended.
TEST_F(CliProcessTest, AClosedPipeIsQuietForEveryCommand) {
  MakeTree(t, "logs", 30, 40);
  const std::string log = t.Path("logs/p0/acct/c0/0.html");
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunToEnd(t, {"archive", t.Path("logs"), "--db", db, "--quiet"}).status, 0);
  const std::vector<std::vector<std::string>> commands = {
      {"view", log},
      {"search", db, "line"},
      {"search", db, "line", "--csv"},
      {"export-archive", "--db", db, "--format", "jsonl", "--single", "-"},
      {"export-archive", "--db", db, "--format", "txt", "--single", "-"},
      {"people", "--db", db},
      {"people", "--db", db, "--csv"},
      {"sources", "--db", db},
      {"archive", "--db", db},
      {"catalogue", t.Path("logs"), "-o", t.Path("out"), "-q"},
  };
  for (const auto& args : commands) {
    const std::string err = t.Path("err.txt");
    EXPECT_EQ(WithClosedPipe(args, err), 141) << args[0] << " " << args[1];
    EXPECT_EQ(ReadFile(err), "") << args[0] << " " << args[1];
  }
}

// A killed archive run leaves a database the next run completes.
TEST_F(CliProcessTest, AKilledArchiveRunIsCompletedByTheNext) {
  MakeTree(t, "big", 2500, 20);
  const std::string db = t.Path("a.sqlite");
  Ran full = RunToEnd(t, {"archive", t.Path("big"), "--db", t.Path("whole.sqlite"), "--quiet"});
  ASSERT_EQ(full.status, 0) << full.err;
  const std::string total = full.out.substr(full.out.find("Messages in the archive: "));
  for (int sig : {SIGKILL, SIGINT}) {
    std::filesystem::remove(db);
    Process p = Start(t, {"archive", t.Path("big"), "--db", db, "--quiet"});
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::kill(p.pid, sig);
    const int status = Wait(p);
    EXPECT_TRUE(status == 128 + sig || status == 0) << status;
    Ran next = RunToEnd(t, {"archive", t.Path("big"), "--db", db, "--quiet"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.out.substr(next.out.find("Messages in the archive: "), total.find('\n')),
              total.substr(0, total.find('\n')));
    Ran check = RunToEnd(t, {"search", db, "line", "--limit", "1"});
    EXPECT_EQ(check.status, 0) << check.err;
  }
}

}  // namespace
}  // namespace chatterwick
