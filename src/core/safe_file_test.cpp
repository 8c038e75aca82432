#include "core/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/posix_env.h"
#include "testing/mem_env.h"
#include "testing/temp_tree.h"

namespace chatterwick {
namespace {

using testing::TempTree;

MakeContent Text(std::string text) {
  return [text](bool) { return text; };
}

std::vector<std::string> Names(const TempTree& t) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(t.root()))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(SaveFileTest, ReplacesARegularFileAndKeepsItsPermissions) {
  TempTree t;
  t.File("a.txt", "earlier");
  t.File("a.txt.partial", "someone else's");
  ::chmod(t.Path("a.txt").c_str(), 0640);
  ASSERT_TRUE(SaveFile(*PosixEnv(), t.Path("a.txt"), SaveMode::kReplace, Text("new")).ok());
  EXPECT_EQ(t.Read("a.txt"), "new");
  EXPECT_EQ(t.Read("a.txt.partial"), "someone else's");
  struct stat st;
  ASSERT_EQ(::stat(t.Path("a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Names(t), (std::vector<std::string>{"a.txt", "a.txt.partial"}));
}

TEST(SaveFileTest, AppendsAsAWholeAfterTheOldContent) {
  TempTree t;
  t.File("a.csv", "old\r\n");
  bool had_content = false;
  ASSERT_TRUE(SaveFile(*PosixEnv(), t.Path("a.csv"), SaveMode::kAppend, [&](bool has_content) {
                had_content = has_content;
                return std::string("new\r\n");
              }).ok());
  EXPECT_TRUE(had_content);
  EXPECT_EQ(t.Read("a.csv"), "old\r\nnew\r\n");
  ASSERT_TRUE(SaveFile(*PosixEnv(), t.Path("b.csv"), SaveMode::kAppend, [&](bool has_content) {
                had_content = has_content;
                return std::string("first");
              }).ok());
  EXPECT_FALSE(had_content);
  EXPECT_EQ(t.Read("b.csv"), "first");
}

TEST(SaveFileTest, ALinkIsFollowedToTheFileItNamesButNeverADanglingOne) {
  TempTree t;
  t.File("real.txt", "earlier");
  ASSERT_EQ(::symlink("real.txt", t.Path("link.txt").c_str()), 0);
  ASSERT_EQ(::symlink(t.Path("gone.txt").c_str(), t.Path("dangling.txt").c_str()), 0);
  ASSERT_TRUE(SaveFile(*PosixEnv(), t.Path("link.txt"), SaveMode::kReplace, Text("new")).ok());
  EXPECT_TRUE(std::filesystem::is_symlink(t.Path("link.txt")));
  EXPECT_EQ(t.Read("real.txt"), "new");
  // As cp refuses: the file a dangling link names is never created.
  EXPECT_FALSE(SaveFile(*PosixEnv(), t.Path("dangling.txt"), SaveMode::kReplace, Text("x")).ok());
  EXPECT_TRUE(std::filesystem::is_symlink(t.Path("dangling.txt")));
  EXPECT_FALSE(std::filesystem::exists(t.Path("gone.txt")));
}

// A pipe or a device stays what it is: renaming over it would put a plain
// file in its place (as root, over the machine's /dev/null).
TEST(SaveFileTest, APipeOrADeviceIsWrittenInPlace) {
  TempTree t;
  ASSERT_EQ(::mkfifo(t.Path("pipe").c_str(), 0644), 0);
  std::string got;
  std::thread reader([&] {
    std::ifstream in(t.Path("pipe"), std::ios::binary);
    got.assign(std::istreambuf_iterator<char>(in), {});
  });
  EXPECT_TRUE(SaveFile(*PosixEnv(), t.Path("pipe"), SaveMode::kReplace, Text("through")).ok());
  reader.join();
  EXPECT_EQ(got, "through");
  EXPECT_TRUE(std::filesystem::is_fifo(t.Path("pipe")));

  ASSERT_EQ(::symlink("/dev/null", t.Path("null").c_str()), 0);
  EXPECT_TRUE(SaveFile(*PosixEnv(), t.Path("null"), SaveMode::kAppend, Text("gone")).ok());
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_symlink(t.Path("null")));
  EXPECT_EQ(Names(t), (std::vector<std::string>{"null", "pipe"}));
}

// A name near the system's limit of 255 bytes still gets its temporary file
// beside it, named short; its leftovers are found again by that name.
TEST(SaveFileTest, ALongNameIsSavedThroughAShortTemporaryName) {
  TempTree t;
  std::string name;
  for (int i = 0; i < 124; ++i) name += "\u00e9";  // 248 bytes
  name += ".txt";
  ASSERT_TRUE(SaveFile(*PosixEnv(), t.Path(name), SaveMode::kReplace, Text("first")).ok());
  ASSERT_TRUE(SaveFile(*PosixEnv(), t.Path(name), SaveMode::kAppend, Text(" second")).ok());
  EXPECT_EQ(t.Read(name), "first second");
  EXPECT_EQ(Names(t), std::vector<std::string>{name});
  const std::string prefix = TempPrefixFor(t.Path(name), '/');
  EXPECT_LE(prefix.size() - t.root().size(), 1 + kTempNameBytes + std::string(kTempMark).size());
}

TEST(SaveFileTest, FailuresChangeNothing) {
  TempTree t;
  t.Folder("dir");
  const Status s = SaveFile(*PosixEnv(), t.Path("dir"), SaveMode::kReplace, Text("x"));
  EXPECT_EQ(s.message(), "Is a directory");

  MemEnv mem;
  mem.PutFile("/out/a.txt", "earlier");
  std::atomic<int> stop{0};
  const Status stopped = SaveFile(
      mem, "/out/a.txt", SaveMode::kReplace,
      [&](bool) {
        stop = 2;  // the user pressed Ctrl+C while the text was made
        return std::string("new");
      },
      &stop);
  EXPECT_FALSE(stopped.ok());
  EXPECT_EQ(mem.FilesIn("/out"), (std::map<std::string, std::string>{{"a.txt", "earlier"}}));
}

}  // namespace
}  // namespace chatterwick
