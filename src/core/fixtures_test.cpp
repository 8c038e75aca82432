// Every log the chat client wrote, in each markup and line-end style, must come
// apart into the time, sender and text the client put in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/modGeneral.h"
#include "core/text.h"
#include "platform/memory_window.h"
#include "platform/posix_env.h"

namespace chatterwick {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = CHATTERWICK_FIXTURES;

std::vector<fs::path> LogFiles(const std::string& tree) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(kFixtures / tree))
    if (e.is_regular_file() && e.path().extension() == ".html") out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

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

class FixtureTreeTest : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureTreeTest, EveryChatLineSplitsWhole) {
  if (!fs::exists(kFixtures)) GTEST_SKIP() << "no fixtures at " << kFixtures;
  static const std::regex chat(
      R"(^<(?:font|span)[^>]*>(?:<(?:font|span)[^>]*>)?(\([^)]*\))</(?:font|span)> ?<b>([^<]*)</b>(.*)$)");
  modGlobal::State state;
  MemoryWindow window;
  Context ctx{state, window, *PosixEnv(), "/nowhere/"};
  int files = 0, chat_lines = 0;
  for (const fs::path& file : LogFiles(GetParam())) {
    SCOPED_TRACE(file.string());
    ASSERT_TRUE(modGeneral::LoadLogFile(ctx, file.string()));
    const std::vector<std::string> logical = LogicalLines(file);
    ASSERT_EQ(state.LineCount, static_cast<int32_t>(logical.size()));
    ++files;
    for (size_t i = 1; i < logical.size(); ++i) {
      const modGlobal::ParsedLine& p = state.ParsedLines[static_cast<int32_t>(i)];
      std::smatch m;
      if (!std::regex_match(logical[i], m, chat)) {
        EXPECT_TRUE(p.empty()) << logical[i];
        continue;
      }
      ++chat_lines;
      EXPECT_EQ(p.Time, m[1].str());
      EXPECT_EQ(p.Sender, m[2].str());
      EXPECT_EQ(text::TrimBlanks(p.Message), text::TrimBlanks(WithoutTags(m[3].str()))) << logical[i];
      EXPECT_EQ(p.Message.find('<'), std::string::npos) << p.Message;
    }
  }
  EXPECT_EQ(state.FailedLineCount, 0);
  EXPECT_EQ(files, 84);
  EXPECT_GT(chat_lines, 2000);
}

INSTANTIATE_TEST_SUITE_P(Trees, FixtureTreeTest,
                         ::testing::Values("real-logs-b", "real-logs-b-crlf", "older-markup-b"),
                         [](const auto& tp) {
                           std::string n = tp.param;
                           std::replace(n.begin(), n.end(), '-', '_');
                           return n;
                         });

}  // namespace
}  // namespace chatterwick
