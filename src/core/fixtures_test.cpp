// Every log the chat client wrote, in each markup and line-end style, must come
// apart into the time, sender and text the client put in.
#include "testing/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/log_file.h"
#include "core/text.h"
#include "platform/posix_env.h"

namespace chatterwick {
namespace {

namespace fs = std::filesystem;

// The logical lines as the client meant them, worked out independently.
std::vector<std::string> LogicalLines(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string bytes = ss.str();
  std::vector<std::string> physical;
  std::string cur;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' || bytes[i] == '\n') {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      physical.push_back(cur);
      cur.clear();
    } else {
      cur += bytes[i];
    }
  }
  if (!cur.empty()) physical.push_back(cur);
  std::vector<std::string> logical;
  for (const std::string& p : physical) {
    if (!p.empty() && p[0] == '<') logical.push_back(p);
    else if (!p.empty()) logical.back() += " " + p;
  }
  return logical;
}

std::string WithoutTags(const std::string& s) {
  static const std::regex tag("<[^>]*>");
  return std::regex_replace(s, tag, "");
}

TEST(FixtureTreeTest, EveryChatLineSplitsWhole) {
  SKIP_WITHOUT_FIXTURES();
  static const std::regex chat(
      R"(^<(?:font|span)[^>]*>(?:<(?:font|span)[^>]*>)?(\([^)]*\))</(?:font|span)> ?<b>([^<]*)</b>(.*)$)");
  for (const fs::path& tree : testing::FixtureTrees()) {
    SCOPED_TRACE(tree.string());
    LoadedLog log;
    int chat_lines = 0;
    const std::vector<fs::path> files = testing::HtmlFilesUnder(tree);
    ASSERT_FALSE(files.empty());
    for (const fs::path& file : files) {
      SCOPED_TRACE(file.string());
      const LoadResult loaded = LoadLogFile(log, *PosixEnv(), file.string());
      ASSERT_TRUE(loaded.status.ok()) << loaded.status.message();
      const std::vector<std::string> logical = LogicalLines(file);
      ASSERT_EQ(log.LineCount, static_cast<int32_t>(logical.size()));
      for (size_t i = 1; i < logical.size(); ++i) {
        const ParsedLine& p = log.ParsedLines[static_cast<int32_t>(i)];
        std::smatch m;
        if (!std::regex_match(logical[i], m, chat)) {
          EXPECT_TRUE(p.empty()) << logical[i];
          continue;
        }
        ++chat_lines;
        EXPECT_EQ(p.Time, m[1].str());
        EXPECT_EQ(p.Sender, m[2].str());
        EXPECT_EQ(text::TrimBlanks(p.Message), text::TrimBlanks(WithoutTags(m[3].str())))
            << logical[i];
        EXPECT_EQ(p.Message.find('<'), std::string::npos) << p.Message;
      }
      EXPECT_EQ(log.FailedLineCount, 0);
    }
    // Every log but the system logs holds chat.
    EXPECT_GT(chat_lines, static_cast<int>(files.size()));
  }
}

}  // namespace
}  // namespace chatterwick
