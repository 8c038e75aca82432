#include "core/text_log.h"

#include <algorithm>

namespace chatterwick {

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Digits from at, at least min and at most max of them; *at moves past them.
bool Digits(std::string_view s, size_t* at, size_t min, size_t max) {
  size_t n = 0;
  while (*at + n < s.size() && n < max && Digit(s[*at + n])) ++n;
  *at += n;
  return n >= min;
}

// "17:38" or "17:38:38" from at.
bool Clock(std::string_view s, size_t* at) {
  if (!Digits(s, at, 1, 2) || *at >= s.size() || s[*at] != ':') return false;
  ++*at;
  if (!Digits(s, at, 2, 2)) return false;
  if (*at < s.size() && s[*at] == ':') {
    ++*at;
    return Digits(s, at, 2, 2);
  }
  return true;
}

// "30.09.2022 ", "04/24/2019 ", "2022-09-30 " from at, when there is one.
bool Date(std::string_view s, size_t* at) {
  size_t p = *at;
  if (!Digits(s, &p, 1, 4) || p >= s.size()) return false;
  const char sep = s[p];
  if (sep != '.' && sep != '/' && sep != '-') return false;
  ++p;
  if (!Digits(s, &p, 1, 2) || p >= s.size() || s[p] != sep) return false;
  ++p;
  if (!Digits(s, &p, 2, 4) || p >= s.size() || s[p] != ' ') return false;
  *at = p + 1;
  return true;
}

// Where the stamp at the start of line ends (past its ")"), or 0.
size_t StampEnd(std::string_view line) {
  if (line.empty() || line[0] != '(') return 0;
  size_t at = 1;
  Date(line, &at);
  if (!Clock(line, &at)) return 0;
  if (at + 2 < line.size() && line[at] == ' ' &&
      (line[at + 1] == 'A' || line[at + 1] == 'P' || line[at + 1] == 'a' || line[at + 1] == 'p') &&
      (line[at + 2] == 'M' || line[at + 2] == 'm'))
    at += 3;
  if (at >= line.size() || line[at] != ')') return 0;
  ++at;
  return at == line.size() || line[at] == ' ' ? at : 0;
}

// Where the speaker's name ends in the text after a stamp (at its ": "), or
// npos when nobody speaks. A name is a few words at most: "Bob has changed
// the topic to: x" and "Unable to send message: y" are the client's own. It
// stands on the stamp's line, before any line break the message keeps.
size_t SpeakerEnd(std::string_view rest) {
  const size_t colon = rest.substr(0, rest.find('\n')).find(": ");
  if (colon == std::string_view::npos) return colon;
  const std::string_view name = rest.substr(0, colon);
  return std::count(name.begin(), name.end(), ' ') < 3 ? colon : std::string_view::npos;
}

}  // namespace

int StampSeconds(std::string_view line) {
  if (StampEnd(line) == 0) return -1;
  size_t at = 1;
  if (Date(line, &at)) return -1;
  auto number = [&](size_t from, size_t to) {
    int n = 0;
    for (size_t i = from; i < to; ++i) n = n * 10 + (line[i] - '0');
    return n;
  };
  const size_t colon = line.find(':', at);
  int hours = number(at, colon);
  const int minutes = number(colon + 1, colon + 3);
  const int seconds = line[colon + 3] == ':' ? number(colon + 4, colon + 6) : 0;
  const size_t close = line.find(')', at);
  if (line.substr(colon, close - colon).find_first_of("AaPp") != std::string_view::npos) {
    const bool pm = line.substr(colon, close - colon).find_first_of("Pp") != std::string_view::npos;
    hours = hours % 12 + (pm ? 12 : 0);
  }
  return hours * 3600 + minutes * 60 + seconds;
}

bool IsSpokenLine(std::string_view line) {
  const size_t end = StampEnd(line);
  const std::string_view rest = line.substr(std::min(end + 1, line.size()));
  return rest.starts_with("***") || SpeakerEnd(rest) != std::string_view::npos;
}

bool OutOfPlace(int before, int time, int after) {
  if (before < 0 || time < 0) return false;
  // A log that goes on past midnight starts its times again.
  const auto unwrapped = [before](int t) {
    return t < before && before >= 20 * 3600 && t < 4 * 3600 ? t + 24 * 3600 : t;
  };
  const int t = unwrapped(time);
  if (t < before) return true;
  const int a = after >= 0 ? unwrapped(after) : -1;
  return a >= before && a < t;
}

bool IsTextLogHeader(std::string_view line) {
  return line.starts_with("Conversation with ") || line.starts_with("System log for account ");
}

bool StartsWithStamp(std::string_view line) { return StampEnd(line) != 0; }

size_t TextLineSplitter::ActorLength(std::string_view text) const {
  // A name ends at a blank, or at a line break the message keeps.
  size_t best = 0;
  for (const std::string& name : names_)
    if (name.size() > best && text.starts_with(name) &&
        (text.size() == name.size() || text[name.size()] == ' ' || text[name.size()] == '\n'))
      best = name.size();
  return best > 0 ? best : std::min(text.find_first_of(" \n"), text.size());
}

LineKind TextLineSplitter::Split(std::string_view raw, ParsedLine* rec) {
  const size_t end = StampEnd(raw);
  if (end == 0) {
    // A line of the log that is no chat line: a broken header, say.
    rec->Time.clear();
    rec->Sender.clear();
    rec->Message.assign(raw);
    return raw.empty() ? LineKind::kMarkup : LineKind::kRejected;
  }
  rec->Time.assign(raw.substr(0, end));
  const std::string_view rest = raw.substr(std::min(end + 1, raw.size()));
  if (rest.starts_with("***")) {
    const size_t name = ActorLength(rest.substr(3));
    rec->Sender.assign(rest.substr(0, 3 + name));
    rec->Message.assign(rest.substr(3 + name));
    return LineKind::kChat;
  }
  const size_t colon = SpeakerEnd(rest);
  if (colon == std::string_view::npos) {
    // "Bob has signed off.": nobody speaks, as the HTML log's bold status line.
    rec->Sender.assign(rest);
    rec->Message.clear();
    return LineKind::kChat;
  }
  const std::string_view name = rest.substr(0, colon);
  if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.emplace_back(name);
  rec->Sender.assign(rest.substr(0, colon + 1));
  rec->Message.assign(rest.substr(colon + 1));
  return LineKind::kChat;
}

}  // namespace chatterwick
