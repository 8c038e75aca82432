// Every log the chat client wrote, in each markup and line-end style, must come
// apart into the time, sender and text the client put in: its line breaks as
// blanks, its character references as the characters they stand for.
#include "testing/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
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

// The references the client writes, decoded with regular expressions.
std::string Decoded(const std::string& s) {
  // The names the trees hold ("&G;" is none), as HTML defines them.
  static const std::regex ref("&(amp|lt|gt|quot|apos|nbsp|copy|#[0-9]+|#[xX][0-9a-fA-F]+);");
  static const std::pair<std::string, std::string> named[] = {
      {"amp", "&"},  {"lt", "<"},          {"gt", ">"},         {"quot", "\""},
      {"apos", "'"}, {"nbsp", "\xC2\xA0"}, {"copy", "\xC2\xA9"}};
  std::string out;
  auto last = s.cbegin();
  for (std::sregex_iterator it(s.begin(), s.end(), ref), end; it != end; ++it) {
    out.append(last, (*it)[0].first);
    last = (*it)[0].second;
    const std::string name = (*it)[1].str();
    std::string text = (*it)[0].str();
    for (const auto& [n, t] : named)
      if (n == name) text = t;
    if (name[0] == '#') {
      const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
      const unsigned long cp = std::stoul(name.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10);
      EXPECT_TRUE(cp > 0 && cp < 0x80) << "the fixtures hold only ASCII numeric references";
      text = std::string(1, static_cast<char>(cp));
    }
    out += text;
  }
  out.append(last, s.cend());
  return out;
}

// A message as text: a line break before visible text as a blank, the other
// breaks and every tag gone, references decoded.
std::string MessageText(const std::string& html) {
  static const std::regex br("<[bB][rR](?:[ \t/][^>]*)?>");
  // A paragraph, division or list item begins or ends: a blank between texts.
  static const std::regex block("</?(?:[pP]|[dD][iI][vV]|[lL][iI])(?:[ \t/][^>]*)?>");
  static const std::regex tag("<[^>]*>");
  std::string s = std::regex_replace(
      std::regex_replace(std::regex_replace(html, br, "\x01"), block, "\x02"), tag, "");
  const size_t visible_end = s.find_last_not_of(" \t\x01\x02") + 1;  // 0 when there is none
  std::string text;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\x02') {
      if (i < visible_end && !text.empty() && text.back() != ' ' && text.back() != '\t')
        text += ' ';
    } else if (s[i] != '\x01') {
      text += s[i];
    } else if (i < visible_end) {
      text += ' ';
    }
  }
  return Decoded(text);
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
        EXPECT_EQ(p.Sender, Decoded(m[2].str()));
        EXPECT_EQ(text::TrimBlanks(p.Message), text::TrimBlanks(MessageText(m[3].str())))
            << logical[i];
      }
      EXPECT_EQ(log.FailedLineCount, 0);
    }
    // Every log but the system logs holds chat.
    EXPECT_GT(chat_lines, static_cast<int>(files.size()));
  }
}

}  // namespace
}  // namespace chatterwick
