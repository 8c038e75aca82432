#include "archive/stamps.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/sqlite_db.h"

namespace chatterwick::archive {
namespace {

using std::chrono::year_month_day;
using namespace std::chrono_literals;

constexpr year_month_day Ymd(int y, unsigned m, unsigned d) {
  return year_month_day{std::chrono::year{y}, std::chrono::month{m}, std::chrono::day{d}};
}

TEST(LogStartTest, ReadsTheClientsFileNames) {
  const auto berlin = ParseLogStart("2019-10-14.122110+0200CEST.html");
  ASSERT_TRUE(berlin);
  EXPECT_EQ(berlin->date, Ymd(2019, 10, 14));
  EXPECT_EQ(berlin->seconds, 12 * 3600 + 21 * 60 + 10);
  EXPECT_EQ(berlin->offset_minutes, 120);
  const auto ny = ParseLogStart("2022-07-05.083858-0400EDT.html");
  ASSERT_TRUE(ny);
  EXPECT_EQ(FormatLocal(ny->date, ny->seconds, ny->offset_minutes), "2022-07-05T08:38:58-04:00");
  const auto india = ParseLogStart("2020-01-01.000000+0530IST.html");
  ASSERT_TRUE(india);
  EXPECT_EQ(FormatLocal(india->date, india->seconds, india->offset_minutes),
            "2020-01-01T00:00:00+05:30");
  for (const char* name :
       {"log.html", "2019-10-14.html", "2019-13-14.122110+0200.html", "2019-02-30.122110+0200.html",
        "2019-10-14.252110+0200.html", "2019-10-14.122110 0200.html"})
    EXPECT_FALSE(ParseLogStart(name)) << name;
}

TEST(StampTest, ReadsEveryFormTheClientWrites) {
  struct Case {
    const char* text;
    std::optional<year_month_day> date;
    int seconds;
  };
  const auto near = Ymd(2022, 9, 28);
  const Case cases[] = {
      {"(17:38:38)", std::nullopt, 17 * 3600 + 38 * 60 + 38},
      {"(7:05:09)", std::nullopt, 7 * 3600 + 5 * 60 + 9},
      {"(07:48:24 AM)", std::nullopt, 7 * 3600 + 48 * 60 + 24},
      {"(12:00:24 AM)", std::nullopt, 24},
      {"(12:30:00 PM)", std::nullopt, 12 * 3600 + 30 * 60},
      {"(11:59:59 PM)", std::nullopt, 23 * 3600 + 59 * 60 + 59},
      {"(09/30/22 17:38:38)", Ymd(2022, 9, 30), 17 * 3600 + 38 * 60 + 38},
      {"(04/24/2019 07:48:24 AM)", Ymd(2019, 4, 24), 7 * 3600 + 48 * 60 + 24},
      {"(30.09.2022 17:38:38)", Ymd(2022, 9, 30), 17 * 3600 + 38 * 60 + 38},
      {"(30/09/22 17:38:38)", Ymd(2022, 9, 30), 17 * 3600 + 38 * 60 + 38},
      {"(2022-09-30 17:38:38)", Ymd(2022, 9, 30), 17 * 3600 + 38 * 60 + 38},
      // Either way a date: month first (September 27th), unless day first
      // lands nearer the start (9 October, 11 days away, against 10 September, 18).
      {"(09/27/22 10:00:00)", Ymd(2022, 9, 27), 36000},
      {"(09/29/22 10:00:00)", Ymd(2022, 9, 29), 36000},
      {"(09/10/22 10:00:00)", Ymd(2022, 10, 9), 36000},
      {"(10/09/22 10:00:00)", Ymd(2022, 10, 9), 36000},
      {"(08/09/22 10:00:00)", Ymd(2022, 9, 8), 36000},
  };
  for (const Case& c : cases) {
    const auto stamp = ParseStamp(c.text, near);
    ASSERT_TRUE(stamp) << c.text;
    EXPECT_EQ(stamp->date, c.date) << c.text;
    EXPECT_EQ(stamp->seconds, c.seconds) << c.text;
  }
  for (const char* bad :
       {"", "(1)", "17:38:38", "(25:00:00)", "(10:61:00)", "(13:00:00 PM)", "(00:10:00 AM)",
        "(31/31/22 10:00:00)", "(30.09.2022)", "(30-09-2022 10:00:00)", "(10:00:00 XM)", "(10:00)"})
    EXPECT_FALSE(ParseStamp(bad, near)) << bad;
}

TEST(StampClockTest, CountsDaysPastMidnight) {
  StampClock clock(ParseLogStart("2024-04-01.223451-0400EDT.html"));
  EXPECT_EQ(clock.SentAt("(10:34:51 PM)"), "2024-04-01T22:34:51-04:00");
  EXPECT_EQ(clock.SentAt("(11:59:58 PM)"), "2024-04-01T23:59:58-04:00");
  EXPECT_EQ(clock.SentAt("(12:00:24 AM)"), "2024-04-02T00:00:24-04:00");
  // A day later still, after a quiet night and day.
  EXPECT_EQ(clock.SentAt("(11:00:00 PM)"), "2024-04-02T23:00:00-04:00");
  EXPECT_EQ(clock.SentAt("(01:00:00 AM)"), "2024-04-03T01:00:00-04:00");
  // The clock put back an hour for the winter is no new day.
  EXPECT_EQ(clock.SentAt("(01:59:00 AM)"), "2024-04-03T01:59:00-04:00");
  EXPECT_EQ(clock.SentAt("(01:01:00 AM)"), "2024-04-03T01:01:00-04:00");
  EXPECT_EQ(clock.SentAt("(1)"), "");
}

TEST(StampClockTest, DatedStampsKeepTheirDateAndLeaveTheClockAlone) {
  StampClock clock(ParseLogStart("2019-12-27.084519-0500EST.html"));
  EXPECT_EQ(clock.SentAt("(12/25/2019 01:44:26 PM)"), "2019-12-25T13:44:26-05:00");
  EXPECT_EQ(clock.SentAt("(08:45:19 AM)"), "2019-12-27T08:45:19-05:00");
  // A message from before the start: the start's date, not the next day.
  StampClock early(ParseLogStart("2019-02-26.122918+0100CET.html"));
  EXPECT_EQ(early.SentAt("(12:29:10)"), "2019-02-26T12:29:10+01:00");
}

TEST(StampClockTest, WithoutADateInTheNameOnlyDatedStampsGetOne) {
  StampClock clock(ParseLogStart("notes.html"));
  EXPECT_EQ(clock.SentAt("(17:38:38)"), "");
  EXPECT_EQ(clock.SentAt("(30.09.2022 17:38:38)"), "2022-09-30T17:38:38");
}

}  // namespace
}  // namespace chatterwick::archive

namespace chatterwick::archive {
namespace {

// The order the archive gives messages in C++ is SQLite's own.
TEST(EpochOfTest, AsSqliteCountsIt) {
  Database db;
  ASSERT_TRUE(db.Open(":memory:", false).ok());
  for (const char* stamp :
       {"2022-09-30T17:38:26+02:00", "1970-01-01T00:00:00", "1969-12-31T23:59:59",
        "2024-02-29T12:00:00-09:30", "9999-12-31T23:59:59+14:00"}) {
    int64_t sqlite = 0;
    ASSERT_TRUE(
        db.QueryInt(("SELECT unixepoch('" + std::string(stamp) + "')").c_str(), &sqlite).ok());
    EXPECT_EQ(EpochOf(stamp), sqlite) << stamp;
  }
  for (const char* bad : {"", "2022-02-30T00:00:00", "2022-09-30 17:38:26", "2022-09-30T17:38:26Z"})
    EXPECT_EQ(EpochOf(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace chatterwick::archive
