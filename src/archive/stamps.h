#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Full time stamps from what the logs hold: the start in a log's file name,
// and each line's time of day, or date and time, as the client's regional
// settings wrote it.
namespace chatterwick::archive {

// A log's local start and its offset from UTC, from a file name such as
// "2022-09-30.173826+0200CEST.html".
struct LogStart {
  std::chrono::year_month_day date;
  int seconds = 0;  // of the day
  int offset_minutes = 0;
};

std::optional<LogStart> ParseLogStart(std::string_view file_name);

// "2022-09-30T17:38:26+02:00".
std::string FormatLocal(std::chrono::year_month_day date, int seconds,
                        std::optional<int> offset_minutes);

// The seconds since 1970 (UTC) of a stamp FormatLocal wrote, as SQLite's
// unixepoch() gives them (no offset: UTC); none for any other text.
std::optional<int64_t> EpochOf(std::string_view sent_at);

// A full stamp as the archive keeps it, in one number: the seconds since
// 1970 (UTC) times 4096, plus the offset from UTC in minutes + 2048, or 4095
// for a stamp without one (then taken as UTC). The time order is the
// number's order shifted right by 12 bits; the local time and the text
// FormatLocal writes follow from it. Offsets reach 14:59 either way.
inline constexpr int64_t kSentShift = 12;
inline constexpr int64_t kNoOffset = 4095;
int64_t SentOf(std::chrono::year_month_day date, int seconds, std::optional<int> offset_minutes);
// The text FormatLocal wrote of the stamp sent (a second 60 reads as the
// next minute's first); empty for a number outside the years 0 to 9999.
std::string SentAtText(int64_t sent);

// What a time text such as "(07:48:24 AM)" or "(30.09.2022 17:38:38)" holds.
struct Stamp {
  std::optional<std::chrono::year_month_day> date;
  int seconds = 0;
};

// The forms: 24-hour "(17:38:38)", 12-hour "(07:48:24 AM)", and either after
// a date "09/30/22", "04/24/2019", "30.09.2022", "30/09/22" or "2022-09-30". A
// slashed date is month first unless that is no date, or lands further from
// near than day first does.
std::optional<Stamp> ParseStamp(std::string_view text,
                                std::optional<std::chrono::year_month_day> near);

// Gives the lines of one log their full time stamps in order: the start's
// date, one day later each time the time of day goes back by more than an
// hour (past midnight; an hour back is a clock put back for the winter). A
// stamp that carries its date uses it and moves the clock neither way.
class StampClock {
 public:
  explicit StampClock(std::optional<LogStart> start);
  // None when the text is no stamp, or there is no date to give it.
  std::optional<int64_t> Sent(std::string_view time_text);
  // The same as FormatLocal's text; empty for none.
  std::string SentAt(std::string_view time_text);

 private:
  std::optional<LogStart> start_;
  std::optional<std::chrono::year_month_day> date_;
  int last_seconds_ = 0;
};

}  // namespace chatterwick::archive
