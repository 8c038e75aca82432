#include "core/text_log.h"

#include <gtest/gtest.h>

#include <tuple>

namespace chatterwick {
namespace {

TEST(TextLogTest, StampsInEveryRegionalForm) {
  const std::tuple<const char*, bool, int> cases[] = {
      {"(17:38:38) Bob: hi", true, 17 * 3600 + 38 * 60 + 38},
      {"(7:48:24 AM) Bob: hi", true, 7 * 3600 + 48 * 60 + 24},
      {"(07:48:24 PM) Bob: hi", true, 19 * 3600 + 48 * 60 + 24},
      {"(12:05:00 AM) x", true, 5 * 60},
      {"(17:38) Bob: hi", true, 17 * 3600 + 38 * 60},
      {"(30.09.2022 17:38:38) Bob: late", true, -1},
      {"(04/24/2019 07:48:24 AM) Bob: late", true, -1},
      {"(2022-09-30 17:38:38) Bob: late", true, -1},
      {"(17:38:38)", true, 17 * 3600 + 38 * 60 + 38},
      {"(17:38:38)Bob", false, -1},
      {"(smiles) hi", false, -1},
      {"(1:2:3) x", false, -1},
      {"17:38:38 Bob: hi", false, -1},
      {"", false, -1},
  };
  for (const auto& [line, stamped, seconds] : cases) {
    EXPECT_EQ(StartsWithStamp(line), stamped) << line;
    EXPECT_EQ(StampSeconds(line), seconds) << line;
  }
  EXPECT_TRUE(IsTextLogHeader(
      "Conversation with bob@example.org at Fri Sep 30 17:38:38 2022 on alice@example.com (jabber)"));
  EXPECT_TRUE(IsTextLogHeader("System log for account alice (irc) connected at Fri Apr  5 2024"));
  EXPECT_FALSE(IsTextLogHeader("<html>"));
}

// Each line splits as the HTML loader splits its twin: the time with its
// parentheses, the sender with its colon (or "***"), the message after.
TEST(TextLogTest, LinesSplitAsTheirHtmlTwins) {
  struct Case {
    const char* raw;
    LineKind kind;
    const char *time, *sender, *message;
  };
  const Case cases[] = {
      {"(17:39:26) Bob Jones: what time? 10:30: ok", LineKind::kChat, "(17:39:26)", "Bob Jones:",
       " what time? 10:30: ok"},
      {"(17:40:02) ***Bob Jones waves", LineKind::kChat, "(17:40:02)", "***Bob Jones", " waves"},
      {"(17:40:03) ***Alice thinks \"fine\"", LineKind::kChat, "(17:40:03)", "***Alice",
       " thinks \"fine\""},
      {"(17:41:10) Bob Jones has signed off.", LineKind::kChat, "(17:41:10)",
       "Bob Jones has signed off.", ""},
      {"(17:41:11) bob has changed the topic to: lunch", LineKind::kChat, "(17:41:11)",
       "bob has changed the topic to: lunch", ""},
      {"(17:41:12) Message could not be sent because the user is offline:", LineKind::kChat,
       "(17:41:12)", "Message could not be sent because the user is offline:", ""},
      {"a broken header", LineKind::kRejected, "", "", "a broken header"},
      {"", LineKind::kMarkup, "", "", ""},
  };
  TextLineSplitter splitter;
  for (const Case& c : cases) {
    ParsedLine rec;
    EXPECT_EQ(splitter.Split(c.raw, &rec), c.kind) << c.raw;
    EXPECT_EQ(rec.Time, c.time) << c.raw;
    EXPECT_EQ(rec.Sender, c.sender) << c.raw;
    EXPECT_EQ(rec.Message, c.message) << c.raw;
  }
}

// A line that nobody speaks and whose time does not fall among its
// neighbours' is a message's own text going on; midnight is no exception.
TEST(TextLogTest, ATimeOutOfPlaceIsTextGoingOn) {
  const int h = 3600;
  const std::tuple<int, int, int, bool> cases[] = {
      {13 * h, 12 * h, 13 * h + 60, true},    // earlier than the line before
      {45 * 60, 12 * h, 46 * 60, true},       // later than the line after
      {12 * h, 12 * h + 60, 12 * h + 90, false},
      {23 * h + 59 * 60, 5, 30, false},       // past midnight
      {23 * h + 59 * 60, 86390, 30, false},   // just before it, the next after
      {-1, 12 * h, 3, false},                 // nothing before: no telling
      {12 * h, 13 * h, -1, false},
  };
  for (const auto& [before, time, after, out] : cases)
    EXPECT_EQ(OutOfPlace(before, time, after), out) << before << " " << time << " " << after;
}

}  // namespace
}  // namespace chatterwick
