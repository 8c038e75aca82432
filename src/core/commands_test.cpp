#include "core/commands.h"

#include <gtest/gtest.h>

#include "core/log_view.h"
#include "testing/mem_env.h"
#include "testing/memory_window.h"

namespace chatterwick {
namespace {

class CommandsTest : public ::testing::Test {
 protected:
  LoadedLog log;
  Catalogue catalogue;
  MemoryWindow window;
  MemEnv env;
  Context ctx{log, catalogue, window, env, "/app/output/"};
  CatalogueOptions options;

  void SetUp() override {
    env.PutFolder("/app/output");
    env.PutFile("/logs/a b.html",
                "<html><title>Chat, \"Bob\"</title>\r\n"
                "<font size=\"2\">(1)</font> <b>Bob:</b> say \"hi\"\r\n</body>\r\n");
  }
};

TEST_F(CommandsTest, CommandLineChoosesFolderRunOrLog) {
  struct Case {
    const char* args;
    bool folder_run;
  };
  for (const Case& c : {Case{"+p /logs/", true}, Case{"+P /logs/a b.html", false},
                        Case{"\"/logs/a b.html\"", false}, Case{"", false}}) {
    SCOPED_TRACE(c.args);
    window = MemoryWindow();
    commands::FormLoad(ctx, options, c.args);
    EXPECT_EQ(window.messages.size(), c.folder_run ? 1u : 0u);
    // /logs/ holds a log but no tree of them: the run says so.
    EXPECT_EQ(window.pane.find("No logs (*.html) were found under /logs/.") != std::string::npos,
              c.folder_run);
  }
  // "+p" alone names no folder: never the file system's root.
  window = MemoryWindow();
  commands::FormLoad(ctx, options, "+p");
  EXPECT_EQ(window.pane, "Folder could not be read. (: no folder named)\r\n");
  EXPECT_TRUE(window.messages.empty());
  window = MemoryWindow();
  commands::FormLoad(ctx, options, "\"/logs/a b.html\"");
  EXPECT_EQ(window.title, "Chat, \"Bob\"");
  EXPECT_EQ(window.pane, "(1) Bob:  say \"hi\"\r\n");
}

TEST_F(CommandsTest, FolderRunRootIsCutFromTheFourthCharacter) {
  env.PutFile("/logs/p/a/c/x.html", "<title>t</title>\n<font size=\"2\">(1)</font> <b>A:</b> m\n");
  commands::FormLoad(ctx, options, "+p/logs/");  // the third character is dropped whatever it is
  EXPECT_EQ(window.pane, "Folder could not be read. (logs/: No such file or directory)\r\n");
  window = MemoryWindow();
  commands::FormLoad(ctx, options, "+p /logs/");
  EXPECT_NE(window.pane.find("Protocols found: 1"), std::string::npos);
  EXPECT_NE(env.Contents("/app/output/chat.csv").find("\"1\",\"1\",\"(1)\",\"A:\",\" m\""),
            std::string::npos);
}

TEST(ReplaceAppDataTest, ReplacesEveryLowerCaseTokenOnce) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"%appdata%\\.purple\\logs\\", "/home/u", "/home/u\\.purple\\logs\\"},
      {"%appdata%\\.purple\\logs\\", "", "\\.purple\\logs\\"},
      {"%appdata%/x/%appdata%", "A", "A/x/A"},
      {"%APPDATA%\\x", "A", "%APPDATA%\\x"},
      {"%appdata%", "%appdata%", "%appdata%"},  // inserted text is not searched again
  };
  for (const auto& [text, value, want] : cases)
    EXPECT_EQ(commands::ReplaceAppData(text, value), want);
}

TEST_F(CommandsTest, FolderRunClickExpandsTheTokenFromTheEnvironment) {
  env.PutFile("/home/u/.purple/logs/p/a/c/x.html", "<title>t</title>\n");
  env.SetVariable("AppData", "/home/u");
  commands::FolderRunClick(ctx, options);
  EXPECT_NE(window.pane.find("Conversations found: 1"), std::string::npos) << window.pane;
}

TEST_F(CommandsTest, FolderRunClickWithoutTheVariableDropsTheToken) {
  env.PutFile("/.purple/logs/p/a/c/x.html", "<title>t</title>\n");
  commands::FolderRunClick(ctx, options);
  EXPECT_NE(window.pane.find("Conversations found: 1"), std::string::npos) << window.pane;
}

TEST_F(CommandsTest, QuotedFolderAfterPlusPKeepsItsQuotes) {
  env.PutFile("/logs/p/a/c/x.html", "<title>t</title>\n");
  commands::FormLoad(ctx, options, "+p \"/logs/\"");
  EXPECT_EQ(window.pane, "Folder could not be read. (\"/logs/\"/: No such file or directory)\r\n");
}

TEST_F(CommandsTest, LoadLogClickAsksAndCancelDoesNothing) {
  window.pane = "kept";
  commands::LoadLogClick(ctx);
  ASSERT_EQ(window.prompts.size(), 1u);
  EXPECT_EQ(window.prompts[0].prompt, "Path to the log:");
  EXPECT_EQ(window.prompts[0].title, "chatterwick");
  EXPECT_EQ(window.prompts[0].default_answer, "test.html");
  EXPECT_EQ(window.pane, "kept");
  window.answers.push_back("/logs/a b.html");
  commands::LoadLogClick(ctx);
  EXPECT_EQ(window.title, "Chat, \"Bob\"");
}

TEST_F(CommandsTest, SaveAsCsvProtectsTheHeaderAndAppends) {
  commands::FormLoad(ctx, options, "/logs/a b.html");
  window.answers = {"log.csv", "log.csv"};
  commands::SaveLogAsCsv(ctx, {});
  const std::string once =
      "\"\",\"\",\"<html><title>Chat, \"\"Bob\"\"</title>\"\r\n"
      "\"(1)\",\"Bob:\",\" say \"\"hi\"\"\"\r\n";
  EXPECT_EQ(env.Contents("/app/output/log.csv"), "\xEF\xBB\xBF" + once);
  commands::SaveLogAsCsv(ctx, {});  // the mark never lands on content
  EXPECT_EQ(env.Contents("/app/output/log.csv"), "\xEF\xBB\xBF" + once + once);
  EXPECT_EQ(window.prompts[0].prompt,
            "What should this file be called? (Remember to include .csv)");
  EXPECT_EQ(window.prompts[0].default_answer, "log.csv");
}

TEST_F(CommandsTest, SaveAsCsvWithTheMarkKeepsFormulasOut) {
  env.PutFile("/logs/f.html",
              "<title>t</title>\n<font size=\"2\">(1)</font> <b>@evil:</b>"
              "=1+1\n<font size=\"2\">(2)</font> <b>-x-:</b> -no\n");
  commands::FormLoad(ctx, options, "/logs/f.html");
  ASSERT_TRUE(commands::SaveLogAsCsvTo(ctx, {true}, "/app/output/safe.csv").ok());
  EXPECT_EQ(env.Contents("/app/output/safe.csv"),
            "\xEF\xBB\xBF\"\",\"\",\"<title>t</title>\"\r\n"
            "\"(1)\",\"'@evil:\",\"'=1+1\"\r\n\"(2)\",\"'-x-:\",\" -no\"\r\n");
  ASSERT_TRUE(commands::SaveLogAsCsvTo(ctx, {false}, "/app/output/raw.csv").ok());
  EXPECT_EQ(env.Contents("/app/output/raw.csv"),
            "\"\",\"\",\"<title>t</title>\"\r\n"
            "\"(1)\",\"@evil:\",\"=1+1\"\r\n\"(2)\",\"-x-:\",\" -no\"\r\n");
}

TEST_F(CommandsTest, SaveAsTextWritesThePaneFromScratch) {
  commands::FormLoad(ctx, options, "/logs/a b.html");
  env.PutFile("/app/output/report", "old");
  window.answers = {"report"};
  commands::SaveLogAsText(ctx);
  EXPECT_EQ(env.Contents("/app/output/report"), "(1) Bob:  say \"hi\"\r\n\r\n");
}

TEST_F(CommandsTest, SaveFailureIsShownAndCancelWritesNothing) {
  commands::SaveLogAsCsv(ctx, {});  // cancelled
  EXPECT_FALSE(env.Exists("/app/output/log.csv"));
  window.answers = {"no/such/folder.csv"};
  commands::SaveLogAsCsv(ctx, {});
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(
      window.messages[0],
      "chatterwick: Could not write /app/output/no/such/folder.csv (No such file or directory)");
}

}  // namespace
}  // namespace chatterwick

namespace chatterwick {
namespace {

// Writes half of what it is given, then fails as a full disk does.
class FullDiskEnv : public EnvWrapper {
 public:
  explicit FullDiskEnv(Env* target) : EnvWrapper(target) {}
  Status NewAppendableFile(const std::string& p, std::unique_ptr<WritableFile>* r) override {
    Status s = target()->NewAppendableFile(p, r);
    if (s.ok()) r->reset(new HalfFile(std::move(*r)));
    return s;
  }
  Status NewWritableFile(const std::string& p, std::unique_ptr<WritableFile>* r) override {
    Status s = target()->NewWritableFile(p, r);
    if (s.ok()) r->reset(new HalfFile(std::move(*r)));
    return s;
  }
  Status NewTempFile(const std::string& prefix, FileAccess a, std::string* path,
                     std::unique_ptr<WritableFile>* r) override {
    Status s = target()->NewTempFile(prefix, a, path, r);
    if (s.ok()) r->reset(new HalfFile(std::move(*r)));
    return s;
  }

 private:
  class HalfFile : public WritableFile {
   public:
    explicit HalfFile(std::unique_ptr<WritableFile> f) : f_(std::move(f)) {}
    Status Append(std::string_view d) override {
      f_->Append(d.substr(0, d.size() / 2)).IgnoreError();
      return Status::IOError("No space left on device");
    }
    Status Sync() override { return f_->Sync(); }
    Status Close() override { return f_->Close(); }

   private:
    std::unique_ptr<WritableFile> f_;
  };
};

TEST(NothingLostTest, FailedSavesLeaveEarlierFilesAsTheyWere) {
  MemEnv mem;
  FullDiskEnv env(&mem);
  mem.PutFile("/logs/a.html", "<title>t</title>\n<font size=\"2\">(1)</font> <b>A:</b> hi\n");
  mem.PutFile("/app/output/old.csv", "\"earlier\",\"rows\"\r\n");
  mem.PutFile("/app/output/old.txt", "earlier text\r\n");
  LoadedLog log;
  Catalogue catalogue;
  MemoryWindow window;
  Context ctx{log, catalogue, window, env, "/app/output/"};
  ASSERT_TRUE(OpenLog(ctx, "/logs/a.html").ok());

  window.answers = {"old.csv", "old.txt", "new.csv"};
  commands::SaveLogAsCsv(ctx, {});
  commands::SaveLogAsText(ctx);
  commands::SaveLogAsCsv(ctx, {});
  EXPECT_EQ(mem.Contents("/app/output/old.csv"), "\"earlier\",\"rows\"\r\n");
  EXPECT_EQ(mem.Contents("/app/output/old.txt"), "earlier text\r\n");
  // Nothing half-written is left beside them either.
  EXPECT_EQ(mem.FilesIn("/app/output").size(), 2u);
  EXPECT_EQ(window.messages,
            (std::vector<std::string>{
                "chatterwick: Could not write /app/output/old.csv (No space left on device)",
                "chatterwick: Could not write /app/output/old.txt (No space left on device)",
                "chatterwick: Could not write /app/output/new.csv (No space left on device)"}));
}

}  // namespace
}  // namespace chatterwick
