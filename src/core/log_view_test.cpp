#include "core/log_view.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/mem_env.h"
#include "testing/memory_window.h"

namespace chatterwick {
namespace {

class ViewTest : public ::testing::Test {
 protected:
  LoadedLog log;
  Catalogue catalogue;
  MemoryWindow window;
  MemEnv env;
  Context ctx{log, catalogue, window, env, "/app/output/"};
};

TEST_F(ViewTest, ListsEveryChatLineWithItsTitle) {
  env.PutFile("/logs/b.html",
              "<title>T</title>\n<font size=\"2\">(1)</font> <b>A:</b> hi\n</body>\n"
              "<font size=\"2\">(2)</font> no sender\n");
  window.pane = "old";
  EXPECT_TRUE(OpenLog(ctx, "\"/logs/b.html\"").ok());
  EXPECT_EQ(window.pane, "(1) A:  hi\r\n  (2) no sender\r\n");
  EXPECT_EQ(window.title, "T");
  EXPECT_TRUE(window.save_enabled);
}

TEST_F(ViewTest, QuotesOnlyDoNothing) {
  window.pane = "kept";
  window.title = "kept";
  EXPECT_FALSE(OpenLog(ctx, "\"\"").ok());
  EXPECT_EQ(window.pane, "kept");
  EXPECT_EQ(window.title, "kept");
  EXPECT_TRUE(env.reads().empty());
}

// The user sees why, and cannot save a log that is not there.
TEST_F(ViewTest, UnreadableLogKeepsItsMessageAndTurnsTheSavesOff) {
  env.PutFile("/good.html", "<title>t</title>\n<font size=\"2\">(1)</font> <b>A:</b> m\n");
  ASSERT_TRUE(OpenLog(ctx, "/good.html").ok());
  ASSERT_TRUE(window.save_enabled);
  const Status s = OpenLog(ctx, "/nowhere.html");
  EXPECT_TRUE(s.IsNotFound()) << s.message();
  EXPECT_EQ(window.pane, "File could not be loaded. (/nowhere.html)\r\n");
  EXPECT_EQ(window.title, "Log File: Title Unknown");
  EXPECT_FALSE(window.save_enabled);
}

TEST(AppendOutputTest, AddsCrLfAfterEachText) {
  MemoryWindow w;
  for (const char* t : {"a", "", "b\r\nc"}) AppendOutput(w, t);
  EXPECT_EQ(w.pane, "a\r\n\r\nb\r\nc\r\n");
}

}  // namespace
}  // namespace chatterwick
