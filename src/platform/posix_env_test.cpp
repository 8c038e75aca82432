#include "platform/posix_env.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/large_pages.h"
#include "testing/temp_tree.h"

namespace chatterwick {
namespace {

TEST(PosixEnvTest, ListsRegularFilesOnlyWhenAsked) {
  testing::TempTree t;
  t.Add(R"(
    c/b.html
    c/a.HTML
    c/dir.html/
  )");
  ASSERT_EQ(::mkfifo(t.Path("c/pipe.html").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("/dev/null", t.Path("c/null.html").c_str()), 0);
  ASSERT_EQ(::symlink(t.Path("c/b.html").c_str(), t.Path("c/link.html").c_str()), 0);
  Env& env = *PosixEnv();
  std::vector<std::string> names;
  ASSERT_TRUE(env.ListFolder(t.Path("c/*.html"), ListKind::kFilesOnly, &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"a.HTML", "b.html", "link.html"}));
  ASSERT_TRUE(env.ListFolder(t.Path("c/"), ListKind::kFilesAndFolders, &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.HTML", "b.html", "dir.html", "link.html",
                                             "null.html", "pipe.html"}));
  ASSERT_TRUE(env.ListFolder(t.Path("missing/"), ListKind::kFilesAndFolders, &names).ok());
  EXPECT_TRUE(names.empty());
}

TEST(PosixEnvTest, PipeIsNotReadAsALog) {
  testing::TempTree t;
  t.Folder("x");
  ASSERT_EQ(::mkfifo(t.Path("x/pipe").c_str(), 0644), 0);
  std::unique_ptr<SequentialFile> f;
  EXPECT_FALSE(PosixEnv()->NewSequentialFile(t.Path("x/pipe"), &f).ok());
  EXPECT_FALSE(PosixEnv()->NewSequentialFile(t.Path("x"), &f).ok());
}

TEST(PosixEnvTest, BackslashIsPartOfAName) {
  testing::TempTree t;
  Env& env = *PosixEnv();
  ASSERT_TRUE(env.CreateFolders(t.Path("logs/nick\\away")).ok());
  std::unique_ptr<WritableFile> f;
  ASSERT_TRUE(env.NewWritableFile(t.root() + "logs//nick\\away/a\\b.txt", &f).ok());
  ASSERT_TRUE(f->Append("abc").ok());
  ASSERT_TRUE(f->Close().ok());
  EXPECT_EQ(t.Read("logs/nick\\away/a\\b.txt"), "abc");
  std::vector<std::string> names;
  ASSERT_TRUE(env.ListFolder(t.Path("logs/nick\\away/*.txt"), ListKind::kFilesOnly, &names).ok());
  EXPECT_EQ(names, std::vector<std::string>{"a\\b.txt"});
  FileKind kind = FileKind::kOther;
  EXPECT_TRUE(env.GetFileKind(t.Path("logs\\nick\\away"), &kind).IsNotFound());
}

TEST(PosixEnvTest, AppDataFallsBackToHome) {
  Env& env = *PosixEnv();
  ::unsetenv("APPDATA");
  ::unsetenv("appdata");
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(env.AppData().value_or(""), "/home/someone");
  ::setenv("AppData", "/data", 1);
  EXPECT_EQ(env.AppData().value_or(""), "/data");
  ::unsetenv("AppData");
}

}  // namespace
}  // namespace chatterwick

namespace chatterwick {
namespace {

TEST(LargePagesTest, BlocksStartOnALargePageAndHoldEveryByte) {
  BlockSource* pages = LargePageBlocks();
  for (size_t size : {size_t{1}, size_t{4} << 20, (size_t{5} << 20) + 3}) {
    char* block = pages->Allocate(size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % (2 << 20), 0u);
    std::memset(block, 'x', size);
    EXPECT_EQ(block[size - 1], 'x');
    pages->Free(block, size);
  }
  Catalogue catalogue(pages);
  ASSERT_TRUE(catalogue.ChatLines.Append(1, 1, "(1)", "Bob", "hello"));
  EXPECT_EQ(catalogue.ChatLines[1].Message, "hello");
}

}  // namespace
}  // namespace chatterwick
