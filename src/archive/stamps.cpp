#include "archive/stamps.h"

#include <charconv>
#include <cstdlib>

namespace chatterwick::archive {

namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

// Reads exactly n digits at *pos.
bool Digits(std::string_view s, size_t* pos, size_t n, int* value) {
  if (*pos + n > s.size()) return false;
  for (size_t i = 0; i < n; ++i)
    if (s[*pos + i] < '0' || s[*pos + i] > '9') return false;
  std::from_chars(s.data() + *pos, s.data() + *pos + n, *value);
  *pos += n;
  return true;
}

// One or two digits.
bool ShortNumber(std::string_view s, size_t* pos, int* value) {
  if (Digits(s, pos, 2, value)) return true;
  return Digits(s, pos, 1, value);
}

bool Char(std::string_view s, size_t* pos, char c) {
  if (*pos >= s.size() || s[*pos] != c) return false;
  ++*pos;
  return true;
}

std::optional<year_month_day> MakeDate(int y, int m, int d) {
  if (y < 100) y += y < 70 ? 2000 : 1900;
  const year_month_day date{year{y}, month{static_cast<unsigned>(m)},
                            day{static_cast<unsigned>(d)}};
  if (!date.ok()) return std::nullopt;
  return date;
}

long long DaysApart(year_month_day a, year_month_day b) {
  return std::llabs((sys_days{a} - sys_days{b}).count());
}

// A date followed by a blank, at the start of s.
std::optional<year_month_day> ParseDate(std::string_view s, size_t* pos,
                                        std::optional<year_month_day> near) {
  size_t p = *pos;
  int a = 0, b = 0, c = 0;
  std::optional<year_month_day> date;
  if (Digits(s, &p, 4, &a) && Char(s, &p, '-') && Digits(s, &p, 2, &b) && Char(s, &p, '-') &&
      Digits(s, &p, 2, &c)) {
    date = MakeDate(a, b, c);
  } else {
    p = *pos;
    if (!ShortNumber(s, &p, &a) || p >= s.size()) return std::nullopt;
    const char sep = s[p++];
    if ((sep != '.' && sep != '/') || !ShortNumber(s, &p, &b) || !Char(s, &p, sep))
      return std::nullopt;
    const size_t year_start = p;
    if (!Digits(s, &p, 4, &c)) {
      p = year_start;
      if (!Digits(s, &p, 2, &c)) return std::nullopt;
    }
    if (sep == '.') {
      date = MakeDate(c, b, a);
    } else {
      const auto month_first = MakeDate(c, a, b), day_first = MakeDate(c, b, a);
      date = month_first ? month_first : day_first;
      if (month_first && day_first && near &&
          DaysApart(*day_first, *near) < DaysApart(*month_first, *near))
        date = day_first;
    }
  }
  if (!date || !Char(s, &p, ' ')) return std::nullopt;
  *pos = p;
  return date;
}

}  // namespace

std::optional<LogStart> ParseLogStart(std::string_view name) {
  size_t p = 0;
  int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0, oh = 0, om = 0;
  if (!Digits(name, &p, 4, &y) || !Char(name, &p, '-') || !Digits(name, &p, 2, &m) ||
      !Char(name, &p, '-') || !Digits(name, &p, 2, &d) || !Char(name, &p, '.') ||
      !Digits(name, &p, 2, &hh) || !Digits(name, &p, 2, &mm) || !Digits(name, &p, 2, &ss) ||
      p >= name.size())
    return std::nullopt;
  const char sign = name[p++];
  if ((sign != '+' && sign != '-') || !Digits(name, &p, 2, &oh) || !Digits(name, &p, 2, &om))
    return std::nullopt;
  const auto date = MakeDate(y, m, d);
  if (!date || hh > 23 || mm > 59 || ss > 60 || oh > 14 || om > 59) return std::nullopt;
  return LogStart{*date, hh * 3600 + mm * 60 + ss, (sign == '-' ? -1 : 1) * (oh * 60 + om)};
}

std::string FormatLocal(year_month_day date, int seconds, std::optional<int> offset_minutes) {
  // Written digit by digit: a search writes one for each of a million hits,
  // and snprintf cost more than the rest of a hit together.
  char text[25];
  auto two = [&](size_t at, unsigned value) {
    text[at] = static_cast<char>('0' + value / 10 % 10);
    text[at + 1] = static_cast<char>('0' + value % 10);
  };
  const int year = static_cast<int>(date.year());
  two(0, static_cast<unsigned>(year) / 100);
  two(2, static_cast<unsigned>(year) % 100);
  text[4] = '-', text[7] = '-', text[10] = 'T', text[13] = ':', text[16] = ':';
  two(5, static_cast<unsigned>(date.month()));
  two(8, static_cast<unsigned>(date.day()));
  two(11, static_cast<unsigned>(seconds / 3600));
  two(14, static_cast<unsigned>(seconds / 60 % 60));
  two(17, static_cast<unsigned>(seconds % 60));
  if (!offset_minutes) return std::string(text, 19);
  const int off = *offset_minutes;
  const unsigned a = static_cast<unsigned>(off < 0 ? -off : off);
  text[19] = off < 0 ? '-' : '+';
  two(20, a / 60);
  text[22] = ':';
  two(23, a % 60);
  return std::string(text, 25);
}

std::optional<int64_t> EpochOf(std::string_view sent_at) {
  // "2022-09-30T17:38:26", then "+02:00" or nothing.
  if (sent_at.size() != 19 && sent_at.size() != 25) return std::nullopt;
  auto number = [&](size_t at, size_t digits, int* value) {
    *value = 0;
    for (size_t i = at; i < at + digits; ++i) {
      if (sent_at[i] < '0' || sent_at[i] > '9') return false;
      *value = *value * 10 + (sent_at[i] - '0');
    }
    return true;
  };
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, oh = 0, om = 0;
  if (!number(0, 4, &y) || sent_at[4] != '-' || !number(5, 2, &mo) || sent_at[7] != '-' ||
      !number(8, 2, &d) || sent_at[10] != 'T' || !number(11, 2, &h) || sent_at[13] != ':' ||
      !number(14, 2, &mi) || sent_at[16] != ':' || !number(17, 2, &se))
    return std::nullopt;
  int sign = 0;
  if (sent_at.size() == 25) {
    sign = sent_at[19] == '+' ? 1 : sent_at[19] == '-' ? -1 : 0;
    if (sign == 0 || !number(20, 2, &oh) || sent_at[22] != ':' || !number(23, 2, &om))
      return std::nullopt;
  }
  const year_month_day date{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(mo)),
                            std::chrono::day(static_cast<unsigned>(d))};
  if (!date.ok()) return std::nullopt;
  const int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
  return days * 86400 + h * 3600 + mi * 60 + se - sign * (oh * 3600 + om * 60);
}

std::optional<Stamp> ParseStamp(std::string_view text, std::optional<year_month_day> near) {
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') return std::nullopt;
  text = text.substr(1, text.size() - 2);
  size_t p = 0;
  Stamp stamp;
  stamp.date = ParseDate(text, &p, near);
  int h = 0, m = 0, s = 0;
  if (!ShortNumber(text, &p, &h) || !Char(text, &p, ':') || !Digits(text, &p, 2, &m) ||
      !Char(text, &p, ':') || !Digits(text, &p, 2, &s) || m > 59 || s > 60)
    return std::nullopt;
  const std::string_view rest = text.substr(p);
  if (rest == " AM" || rest == " PM") {
    if (h < 1 || h > 12) return std::nullopt;
    h = h % 12 + (rest == " PM" ? 12 : 0);
  } else if (!rest.empty() || h > 23) {
    return std::nullopt;
  }
  stamp.seconds = h * 3600 + m * 60 + s;
  return stamp;
}

StampClock::StampClock(std::optional<LogStart> start) : start_(start) {
  if (start_) {
    date_ = start_->date;
    last_seconds_ = start_->seconds;
  }
}

std::optional<int64_t> StampClock::Sent(std::string_view time_text) {
  const auto stamp = ParseStamp(time_text, start_ ? std::optional(start_->date) : std::nullopt);
  if (!stamp) return std::nullopt;
  const std::optional<int> offset = start_ ? std::optional(start_->offset_minutes) : std::nullopt;
  // A dated stamp is a message from another day (one delivered late, say):
  // it keeps its date and leaves the conversation's clock alone.
  if (stamp->date) return SentOf(*stamp->date, stamp->seconds, offset);
  if (!date_) return std::nullopt;
  if (stamp->seconds < last_seconds_ - 3600)
    date_ = year_month_day{sys_days{*date_} + std::chrono::days{1}};
  last_seconds_ = stamp->seconds;
  return SentOf(*date_, stamp->seconds, offset);
}

std::string StampClock::SentAt(std::string_view time_text) {
  const std::optional<int64_t> sent = Sent(time_text);
  return sent ? SentAtText(*sent) : std::string();
}

int64_t SentOf(year_month_day date, int seconds, std::optional<int> offset_minutes) {
  const int64_t days = sys_days(date).time_since_epoch().count();
  const int64_t utc = days * 86400 + seconds - int64_t{offset_minutes.value_or(0)} * 60;
  return utc * (int64_t{1} << kSentShift) + (offset_minutes ? *offset_minutes + 2048 : kNoOffset);
}

std::string SentAtText(int64_t sent) {
  const int64_t code = sent & ((int64_t{1} << kSentShift) - 1);
  const std::optional<int> offset =
      code == kNoOffset ? std::nullopt : std::optional(static_cast<int>(code) - 2048);
  const int64_t local = (sent >> kSentShift) + int64_t{offset.value_or(0)} * 60;
  // A number no stamp gives (a damaged archive's) writes no text.
  if (local < -62167219200 || local > 253402300799) return {};
  // Floor division: a stamp before 1970 is still of its own day.
  const int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  const year_month_day date{sys_days{std::chrono::days{days}}};
  return FormatLocal(date, static_cast<int>(local - days * 86400), offset);
}

}  // namespace chatterwick::archive
