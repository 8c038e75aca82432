#include "core/log_file.h"

#include <memory>
#include <utility>

#include "core/line_reader.h"
#include "core/text.h"

namespace chatterwick {

using text::After;
using text::Cut;
using text::CutToEnd;
using text::Find;
using text::Length;
using text::Pos;

namespace {

// The markers a chat line is split at. The time stamp keeps the "(" that ends
// its opening marker; older logs close it with </font>, current ones </span>.
constexpr std::string_view kTimeStart = "\">(";
constexpr std::string_view kTimeEndOlder = "</font>";
constexpr std::string_view kSpanEnd = "</span>";
constexpr std::string_view kSenderStart = "<b>";
constexpr std::string_view kSenderEnd = "</b>";
// Ends the opening tag of a styled span: <span style='...;'>.
constexpr std::string_view kStyledSpanStart = ";'>";

Status TooLong() {
  return Status::InvalidData("more than " + std::to_string(kLastLineIndex) +
                             " lines, the most one log may hold");
}

// Reads the file into RawLines and returns the number of logical lines.
// *keep_raw tells whether RawLines keeps what was read on failure (only a log
// too long for the table does; the caller clears it otherwise).
Status ReadLogicalLines(LoadedLog& log, Env& env, const std::string& path, int32_t* count,
                        bool* keep_raw) {
  *keep_raw = false;
  std::unique_ptr<SequentialFile> file;
  Status opened = env.NewSequentialFile(path, &file);
  if (!opened.ok()) return opened;
  LineReader reader(std::move(file));
  std::string s;
  int32_t i = 0;
  while (reader.ReadLine(&s)) {
    if (!s.empty() && s[0] == '<') {
      if (i > kLastLineIndex) {
        *keep_raw = true;
        return TooLong();
      }
      // Swapped, not copied: a line of hundreds of megabytes is held once.
      log.RawLines.At(i).swap(s);
      ++i;
    } else if (i == 0) {
      return Status::InvalidData("the first line is not markup");
    } else if (!s.empty()) {
      // A line break inside HTML text reads as white space.
      std::string& prev = log.RawLines.At(i - 1);
      prev += ' ';
      prev += s;
    }
  }
  if (!reader.status().ok()) return reader.status();
  if (i == 0) return Status::InvalidData("the file is empty");
  *count = i;
  return Status::OK();
}

}  // namespace

LoadResult LoadLogFile(LoadedLog& log, Env& env, const std::string& path) {
  log.RawLines.Clear();
  log.ParsedLines.Clear();
  log.FailedLineCount = 0;
  int32_t count = 0;
  bool keep_raw = false;
  Status read = ReadLogicalLines(log, env, path, &count, &keep_raw);
  if (!read.ok()) {
    if (!keep_raw) log.RawLines.Clear();
    return {std::move(read), false};
  }
  log.LineCount = count;
  if (!ParseAllLines(log)) return {TooLong(), true};
  return {Status::OK(), true};
}

bool ParseAllLines(LoadedLog& log) {
  const int32_t last = log.LineCount;
  for (int32_t i = 1; i <= last; ++i) {
    if (i > kLastLineIndex) return false;
    const std::string& raw = log.RawLines[i];
    if (raw.empty()) continue;
    if (!ParseLine(log, i)) {
      ParsedLine& rec = log.ParsedLines.At(i);
      rec.Time.clear();
      rec.Sender.clear();
      StripTagsInto(raw, &rec.Message);
      // Markup alone (a closing </body>, say) is no chat line and no failure.
      if (!rec.Message.empty()) ++log.FailedLineCount;
    }
  }
  return true;
}

bool ParseLine(LoadedLog& log, int index) {
  const std::string& raw = log.RawLines[index];
  std::string_view time, sender, span;

  const Pos t = After(raw, kTimeStart) - 1;
  Pos f = Find(raw, kTimeEndOlder);
  if (f == 0) f = Find(raw, kSpanEnd);
  if (!Cut(raw, t, f - t, &time)) return false;

  const Pos b = After(raw, kSenderStart);
  const Pos e = Find(raw, kSenderEnd);
  if (!Cut(raw, b, e - b, &sender)) return false;

  ParsedLine& rec = log.ParsedLines.At(index);
  rec.Time.assign(time);
  rec.Sender.assign(sender);
  StripTagsInto(CutToEnd(raw, e + Length(kSenderEnd)), &rec.Message);
  if (const Pos k = Find(raw, kStyledSpanStart); k != 0) {
    // The message proper sits in the innermost styled span, but only when
    // taking it drops no text the line shows.
    const std::string_view rest = CutToEnd(raw, k + Length(kStyledSpanStart));
    const Pos inner = Find(rest, kStyledSpanStart);
    const Pos d = inner == 0 ? 1 : inner + Length(kStyledSpanStart);
    const Pos s = Find(rest, kSpanEnd);
    if (Cut(rest, d, s - d, &span) &&
        text::TrimBlanks(StripTags(span)) == text::TrimBlanks(rec.Message)) {
      rec.Message.assign(span);
    }
  }
  return true;
}

std::string StripTags(std::string_view t) {
  std::string out;
  StripTagsInto(t, &out);
  return out;
}

void StripTagsInto(std::string_view t, std::string* out) {
  // Removing the first tag never creates a "<" before the next one, so one
  // pass from the left removes them all.
  out->clear();
  size_t pos = 0;
  for (;;) {
    size_t lt = t.find('<', pos);
    if (lt == std::string_view::npos) break;
    size_t gt = t.find('>', lt);
    if (gt == std::string_view::npos) break;
    out->append(t.substr(pos, lt - pos));
    pos = gt + 1;
  }
  out->append(t.substr(pos));
}

}  // namespace chatterwick
