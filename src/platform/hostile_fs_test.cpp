// What users' disks hold besides tidy log trees: special files, link loops,
// folders nobody may read, files that change underfoot, huge and oddly named
// files. Each has one defined outcome, and none may hang or crash the walk.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "core/catalogue.h"
#include "core/commands.h"
#include "core/log_view.h"
#include "platform/posix_env.h"
#include "testing/memory_window.h"
#include "testing/temp_tree.h"

namespace chatterwick {
namespace {

using testing::TempTree;

struct RunResult {
  std::string pane;
  int32_t conversations = 0;
  int32_t chat_lines = 0;
};

RunResult RunCatalogue(Env& env, const std::string& root, const std::string& out) {
  LoadedLog log;
  Catalogue catalogue;
  MemoryWindow window;
  Context ctx{log, catalogue, window, env, out};
  (void)commands::FolderRun(ctx, {}, root);
  return {window.pane, catalogue.Conversations.FirstFreeSlot() - 1, catalogue.ChatLines.Count()};
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(HostileTreeTest, SpecialFilesMatchingTheMaskArePassedOver) {
  TempTree t;
  t.Add("logs/p/a/c/real.html");
  t.Folder("out");
  ASSERT_EQ(::mkfifo(t.Path("logs/p/a/c/pipe.html").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("/dev/null", t.Path("logs/p/a/c/device.html").c_str()), 0);
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string sock_path = t.Path("logs/p/a/c/socket.html");
  ASSERT_LT(sock_path.size(), sizeof addr.sun_path);
  std::strcpy(addr.sun_path, sock_path.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

  RunResult r = RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("out/"));
  ::close(sock);
  EXPECT_EQ(r.conversations, 1);
  EXPECT_EQ(r.chat_lines, 2);
  EXPECT_FALSE(Contains(r.pane, "could not")) << r.pane;
}

TEST(HostileTreeTest, LinkLoopsEndAndAreReported) {
  TempTree t;
  t.Add("logs/p/a/c/1.html");
  t.Folder("out");
  ASSERT_EQ(::symlink("..", t.Path("logs/p/a/up").c_str()), 0);    // a contact that is the protocol
  ASSERT_EQ(::symlink("self", t.Path("logs/p/self").c_str()), 0);  // a loop of one link
  ASSERT_EQ(::symlink("loop.html", t.Path("logs/p/a/c/loop.html").c_str()), 0);

  RunResult r = RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("out/"));
  EXPECT_TRUE(Contains(r.pane, "Folder could not be read. (" + t.Path("logs/p//self") +
                                   ": Too many levels of symbolic links)"))
      << r.pane;
  EXPECT_TRUE(
      Contains(r.pane, "File could not be loaded. (" + t.Path("logs/p/a/c/loop.html") + ")"));
  EXPECT_EQ(r.conversations, 2);  // 1.html and the looping link, which keeps its entry
  EXPECT_EQ(r.chat_lines, 2);
}

// Runs fn where permissions hold: as root, in a child that has given up root.
// Returns fn's text, or nullopt (with *why) where that cannot be arranged.
std::optional<std::string> Unprivileged(const std::function<std::string()>& fn, std::string* why) {
  if (::geteuid() != 0) return fn();
  int fds[2];
  if (::pipe(fds) != 0) return *why = "no pipe", std::nullopt;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string out;
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
      out = "\x01" + std::string(std::strerror(errno));
    else out = fn();
    (void)!::write(fds[1], out.data(), out.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
    out.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!out.empty() && out[0] == '\x01')
    return *why = "cannot drop root: " + out.substr(1), std::nullopt;
  return out;
}

TEST(HostileTreeTest, UnreadableFoldersAndLogsAreReportedAtEveryLevel) {
  TempTree t;
  t.Add(R"(
    logs/p/a/c/ok.html
    logs/p/a/c/locked.html
    logs/p/a/shut/1.html
    logs/p/a/noexec/1.html
    logs/p/locked-account/c/1.html
    logs/locked-protocol/a/c/1.html
    locked-root/p/a/c/1.html
  )");
  t.Folder("out");
  for (const char* p : {"", "logs", "logs/p", "logs/p/a", "logs/p/a/c", "out"})
    ::chmod(t.Path(p).c_str(), 0777);
  ::chmod(t.Path("logs/p/a/c/locked.html").c_str(), 0);
  ::chmod(t.Path("logs/p/a/shut").c_str(), 0);
  ::chmod(t.Path("logs/p/a/noexec").c_str(), 0444);
  ::chmod(t.Path("logs/p/locked-account").c_str(), 0);
  ::chmod(t.Path("logs/locked-protocol").c_str(), 0);
  ::chmod(t.Path("locked-root").c_str(), 0);

  std::string why;
  auto pane = Unprivileged(
      [&] {
        RunResult a = RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("out/"));
        RunResult b = RunCatalogue(*PosixEnv(), t.Path("locked-root/"), t.Path("out/"));
        return a.pane + "|" + std::to_string(a.conversations) + "|" + b.pane;
      },
      &why);
  if (!pane) GTEST_SKIP() << why;
  const std::string denied = ": Permission denied)";
  for (const char* folder :
       {"logs/locked-protocol/", "logs/p/locked-account/", "logs/p/a/shut/*.html", "locked-root/"})
    EXPECT_TRUE(Contains(*pane, "Folder could not be read. (" + t.Path(folder) + denied))
        << folder << *pane;
  // A folder that can be listed but not entered: its logs are named, and
  // each reports that it cannot be loaded.
  EXPECT_TRUE(
      Contains(*pane, "File could not be loaded. (" + t.Path("logs/p/a/noexec/1.html") + ")"))
      << *pane;
  EXPECT_TRUE(
      Contains(*pane, "File could not be loaded. (" + t.Path("logs/p/a/c/locked.html") + ")"));
  EXPECT_TRUE(Contains(*pane, "Lines of chat found: 2\r\n")) << *pane;
  EXPECT_TRUE(Contains(*pane, "|3|")) << *pane;  // ok.html, locked.html, noexec/1.html
}

// Deletes the first log and cuts the second in half right after listing them.
class ChangingEnv : public EnvWrapper {
 public:
  ChangingEnv() : EnvWrapper(PosixEnv()) {}
  Status ListFolder(const std::string& pattern, ListKind kind,
                    std::vector<std::string>* names) override {
    Status s = target()->ListFolder(pattern, kind, names);
    if (kind == ListKind::kFilesOnly && names->size() == 2) {
      std::string folder = pattern.substr(0, pattern.rfind('/') + 1);
      std::filesystem::remove(folder + (*names)[0]);
      std::filesystem::resize_file(folder + (*names)[1], 200);
    }
    return s;
  }
};

TEST(HostileTreeTest, LogsThatVanishOrShrinkAfterListing) {
  TempTree t;
  t.File("logs/p/a/c/1.html", testing::SmallLog(3));
  t.File("logs/p/a/c/2.html", testing::SmallLog(3));
  t.Folder("out");
  ChangingEnv env;
  RunResult r = RunCatalogue(env, t.Path("logs/"), t.Path("out/"));
  EXPECT_TRUE(Contains(r.pane, "File could not be loaded. (" + t.Path("logs/p/a/c/1.html") + ")"));
  EXPECT_EQ(r.conversations, 2);
  // What is left of the second: its first chat line, and the cut-off start of
  // the next as text.
  EXPECT_EQ(r.chat_lines, 2);
}

TEST(HostileTreeTest, NamesThatAreNotUtf8KeepTheirBytes) {
  TempTree t;
  t.Add("logs/p\xFF/acc\xC3(/c\xE9/log\xFE.html");
  t.Folder("out");
  RunResult r = RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("out/"));
  EXPECT_EQ(r.chat_lines, 2);
  EXPECT_EQ(t.Read("out/protocols.csv"), "\xEF\xBB\xBF\"1\",\"p\xFF\"\r\n");
  EXPECT_EQ(t.Read("out/conversations.csv"), "\xEF\xBB\xBF\"1\",\"1\",\"log\xFE.html\"\r\n");
}

TEST(HostileTreeTest, BackslashesBelongToNamesAndDanglingLinksAreNamed) {
  TempTree t;
  t.Add("logs/irc/me\\net/nick\\away/a\\b.html");
  t.Folder("out");
  ASSERT_EQ(::symlink("gone", t.Path("logs/irc/me\\net/dangling").c_str()), 0);
  RunResult r = RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("out/"));
  EXPECT_EQ(r.chat_lines, 2) << r.pane;
  EXPECT_EQ(t.Read("out/contacts.csv"), "\xEF\xBB\xBF\"1\",\"1\",\"nick\\away\"\r\n");
  EXPECT_TRUE(Contains(r.pane, "Folder could not be read. (" +
                                   t.Path("logs/irc/me\\net//dangling") +
                                   ": No such file or directory)"))
      << r.pane;
}

TEST(HostileTreeTest, AContactWithMoreLogsThanTheTableHolds) {
  TempTree t;
  t.Folder("logs/p/a/c");
  t.Folder("out");
  for (int i = 0; i < 20000; ++i) {
    std::ofstream(t.Path("logs/p/a/c/" + std::to_string(100000 + i) + ".html"))
        << "<h>\n<i>x</i>\n";
  }
  RunResult r = RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("out/"));
  EXPECT_EQ(r.conversations, kLastConversation);
  EXPECT_EQ(r.chat_lines, kLastConversation);
  EXPECT_TRUE(Contains(r.pane, "The Conversations table is full: 10000 entries were skipped.\r\n"))
      << r.pane;
  EXPECT_TRUE(Contains(t.Read("out/conversations.csv"), "\"10000\",\"1\",\"109999.html\"\r\n"));
}

TEST(HostileTreeTest, OneLogOf200MegabytesInOneLine) {
  TempTree t;
  {
    std::ofstream out(t.Path("huge.html"), std::ios::binary);
    out << "<html><title>huge</title>";
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 200; ++i) out << block;
  }
  LoadedLog log;
  Catalogue catalogue;
  MemoryWindow window;
  Context ctx{log, catalogue, window, *PosixEnv(), t.Path("")};
  EXPECT_TRUE(OpenLog(ctx, t.Path("huge.html")).ok());
  EXPECT_EQ(log.LineCount, 1);
  EXPECT_EQ(window.title, "huge");
  EXPECT_EQ(window.pane, "");
  EXPECT_EQ(log.RawLines[0].size(), 200u * (1 << 20) + 25);
}

// The output folder is made ready before the walk: one that cannot take the
// files is reported before any log is read, and nothing is catalogued.
TEST(HostileTreeTest, OutputFolderMissingReadOnlyOrAFile) {
  TempTree t;
  t.Add("logs/p/a/c/1.html");
  RunResult r = RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("missing/new/"));
  EXPECT_TRUE(Contains(r.pane, "Lines of chat found: 2\r\n"));
  EXPECT_EQ(t.Read("missing/new/protocols.csv"), "\xEF\xBB\xBF\"1\",\"p\"\r\n");

  t.File("file", "x");
  r = RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("file/"));
  EXPECT_EQ(r.pane, "Could not write " + t.Path("file/") + " (Not a directory)\r\n");
  EXPECT_EQ(r.conversations, 0);

  t.Folder("ro");
  ::chmod(t.root().c_str(), 0755);
  ::chmod(t.Path("logs").c_str(), 0755);
  ::chmod(t.Path("ro").c_str(), 0555);
  std::string why;
  auto pane = Unprivileged(
      [&] { return RunCatalogue(*PosixEnv(), t.Path("logs/"), t.Path("ro/")).pane; }, &why);
  if (!pane) GTEST_SKIP() << why;
  EXPECT_EQ(*pane, "Could not write " + t.Path("ro/") + " (Permission denied)\r\n");
}

}  // namespace
}  // namespace chatterwick
