#include "core/log_file.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "core/html_text.h"
#include "core/line_reader.h"
#include "core/text.h"
#include "core/text_log.h"

namespace chatterwick {

using text::After;
using text::Cut;
using text::CutToEnd;
using text::Find;
using text::Length;
using text::Pos;

namespace {

// The markers a chat line is split at. The time stamp keeps the "(" that ends
// its opening marker; older logs close it with </font>, current ones with
// </span>, and either may stand again in the message.
constexpr std::string_view kTimeStart = "\">(";
constexpr std::string_view kFontEnd = "</font>";
constexpr std::string_view kSpanEnd = "</span>";
constexpr std::string_view kSenderStart = "<b>";
constexpr std::string_view kSenderEnd = "</b>";
// Ends the opening tag of a styled span: <span style='...;'>.
constexpr std::string_view kStyledSpanStart = ";'>";

Status TooLong() {
  return Status::InvalidData("more than " + std::to_string(kLastLineIndex) +
                             " lines, the most one log may hold");
}

// Splits raw into time, sender and message; false when it is not of that shape.
bool SplitChatLine(std::string_view raw, ParsedLine* rec, LineBreaks breaks);

// Reads the file into RawLines and sets *count to the number of logical lines.
// *keep_raw tells whether RawLines keeps what was read on failure (only a log
// too long for the table does; the caller clears it otherwise).
Status ReadLogicalLines(LoadedLog& log, Env& env, const std::string& path, int32_t* count,
                        bool* keep_raw) {
  *keep_raw = false;
  LogLineReader reader;
  Status opened = reader.Open(env, path);
  if (!opened.ok()) return opened;
  int32_t i = 0;
  for (std::string s; reader.Next(&s); ++i) {
    if (i > kLastLineIndex) {
      *keep_raw = true;
      return TooLong();
    }
    // Swapped, not copied: a line of hundreds of megabytes is held once.
    log.RawLines.At(i).swap(s);
    log.Format = reader.format();
  }
  if (!reader.status().ok()) return reader.status();
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

Status LogLineReader::Open(Env& env, const std::string& path) {
  std::unique_ptr<SequentialFile> file;
  Status opened = env.NewSequentialFile(path, &file);
  if (!opened.ok()) return opened;
  reader_ = std::make_unique<LineReader>(std::move(file));
  return Status::OK();
}

bool LogLineReader::ReadPhysical(std::string* s) {
  if (ahead_.empty()) return reader_->ReadLine(s);
  s->swap(ahead_.front());
  ahead_.pop_front();
  return true;
}

int LogLineReader::NextStampTime() {
  for (size_t i = 0;; ++i) {
    if (i == ahead_.size() && !reader_->ReadLine(&ahead_.emplace_back())) {
      ahead_.pop_back();
      return -1;
    }
    if (StartsWithStamp(ahead_[i])) return StampSeconds(ahead_[i]);
  }
}

bool LogLineReader::ChooseFormat(const std::string& first) {
  format_ = !first.empty() && first[0] == '<' ? LogFormat::kHtml : LogFormat::kText;
  if (format_ == LogFormat::kHtml || IsTextLogHeader(first)) return true;
  if (StartsWithStamp(first)) {
    // No header at all: an empty one stands for it, and this is a chat line.
    has_pending_ = any_ = true;
    pending_.clear();
    return true;
  }
  // A broken header: plain text when the next line is a chat line.
  if (reader_->ReadLine(&ahead_.emplace_back()) && StartsWithStamp(ahead_.back())) return true;
  status_ = reader_->status().ok() ? Status::InvalidData("the first line is not markup")
                                   : reader_->status();
  return false;
}

bool LogLineReader::Begins(const std::string& s) {
  if (format_ == LogFormat::kHtml) return !s.empty() && s[0] == '<';
  if (first_) return true;
  if (!StartsWithStamp(s)) return false;
  // A message's own text may go on with what looks like a time: told by
  // the time not falling among its neighbours', when nobody speaks.
  const int time = StampSeconds(s);
  if (!IsSpokenLine(s) && OutOfPlace(last_time_, time, NextStampTime())) return false;
  if (time >= 0) last_time_ = time;
  return true;
}

void LogLineReader::Continue(const std::string& s) {
  if (format_ == LogFormat::kHtml) {
    // A line break inside HTML text reads as white space.
    if (s.empty()) return;
    pending_ += ' ';
    pending_ += s;
    return;
  }
  // A blank for each line break, as an HTML log's breaks read; none at the end.
  ++breaks_;
  if (s.empty()) return;
  pending_.append(static_cast<size_t>(breaks_), line_breaks_ == LineBreaks::kKept ? '\n' : ' ');
  pending_ += s;
  breaks_ = 0;
}

bool LogLineReader::Next(std::string* line) {
  if (!reader_ || !status_.ok()) return false;
  std::string& s = read_;
  while (ReadPhysical(&s)) {
    if (first_) {
      // Left by an editor that saved the log; the client writes none.
      if (s.starts_with(kUtf8Bom)) s.erase(0, kUtf8Bom.size());
      if (!ChooseFormat(s)) return false;
    }
    if (!Begins(s)) {
      Continue(s);
      continue;
    }
    first_ = false;
    any_ = true;
    breaks_ = 0;
    const bool had = has_pending_;
    if (had) line->swap(pending_);
    pending_.swap(s);
    has_pending_ = true;
    if (had) return true;
  }
  if (!reader_->status().ok()) {
    status_ = reader_->status();
    return false;
  }
  if (!any_) {
    status_ = Status::InvalidData("the file is empty");
    return false;
  }
  if (!has_pending_) return false;
  line->swap(pending_);
  pending_.clear();
  has_pending_ = false;
  return true;
}

LineKind ParseRawLine(std::string_view raw, ParsedLine* rec, LineBreaks breaks) {
  if (SplitChatLine(raw, rec, breaks)) return LineKind::kChat;
  rec->Time.clear();
  rec->Sender.clear();
  StripTagsInto(raw, &rec->Message, breaks);
  DecodeReferences(&rec->Message);
  // Markup alone (a closing </body>, say) is no chat line and no failure.
  return rec->Message.empty() ? LineKind::kMarkup : LineKind::kRejected;
}

bool ParseAllLines(LoadedLog& log) {
  const int32_t last = log.LineCount;
  TextLineSplitter text;
  for (int32_t i = 1; i <= last; ++i) {
    if (i > kLastLineIndex) return false;
    const std::string& raw = log.RawLines[i];
    if (raw.empty()) continue;
    ParsedLine& rec = log.ParsedLines.At(i);
    const LineKind kind =
        log.Format == LogFormat::kText ? text.Split(raw, &rec) : ParseRawLine(raw, &rec);
    if (kind == LineKind::kRejected) ++log.FailedLineCount;
  }
  return true;
}

ClassifiedLine ClassifyLine(LineKind kind, ParsedLine& rec) {
  if (kind == LineKind::kRejected) return {"unparsed", "", std::move(rec.Message)};
  std::string& sender = rec.Sender;
  if (sender.starts_with("***"))
    return {"action", std::string(text::TrimBlanks(sender.substr(3))), std::move(rec.Message)};
  if (sender.ends_with(':')) {
    sender.pop_back();
    // The client's own error or notice ("<b> Message could not be sent…:</b>"
    // and nothing after it): a bold text set off by a blank, which nobody says.
    if (sender.starts_with(' ') && text::TrimBlanks(rec.Message).empty())
      return {"status", "", std::string(text::TrimBlanks(sender))};
    // A whisper's sender comes after a blank: the name is without it.
    return {"chat", std::string(text::TrimBlanks(sender)), std::move(rec.Message)};
  }
  // "bob has signed off.": a time and a text, nobody speaking.
  std::string text = sender + rec.Message;
  return {"status", "", std::string(text::TrimBlanks(text))};
}

std::string ExtractTitle(std::string_view line, LogFormat format) {
  if (format == LogFormat::kText)
    return IsTextLogHeader(line) ? std::string(line) : "Log File: Title Unknown";
  constexpr std::string_view kTitleStart = "<title>", kTitleEnd = "</title>";
  const Pos t0 = After(line, kTitleStart);
  const Pos t1 = Find(line, kTitleEnd);
  std::string_view title;
  if (!Cut(line, t0, t1 - t0, &title)) return "Log File: Title Unknown";
  std::string decoded(title);
  DecodeReferences(&decoded);
  return decoded;
}

namespace {

bool SplitChatLine(std::string_view raw, ParsedLine* out, LineBreaks breaks) {
  std::string_view time, sender, span;

  const Pos t = After(raw, kTimeStart) - 1;
  const Pos font_end = Find(raw, kFontEnd), span_end = Find(raw, kSpanEnd);
  const Pos f = font_end == 0 || span_end == 0 ? font_end + span_end : std::min(font_end, span_end);
  if (!Cut(raw, t, f - t, &time)) return false;

  const Pos b = After(raw, kSenderStart);
  const Pos e = Find(raw, kSenderEnd);
  if (!Cut(raw, b, e - b, &sender)) return false;

  ParsedLine& rec = *out;
  rec.Time.assign(time);
  rec.Sender.assign(sender);
  DecodeReferences(&rec.Sender);
  StripTagsInto(CutToEnd(raw, e + Length(kSenderEnd)), &rec.Message, breaks);
  if (const Pos k = Find(raw, kStyledSpanStart); k != 0) {
    // The message proper sits in the innermost styled span, but only when
    // taking it drops no text the line shows.
    const std::string_view rest = CutToEnd(raw, k + Length(kStyledSpanStart));
    const Pos inner = Find(rest, kStyledSpanStart);
    const Pos d = inner == 0 ? 1 : inner + Length(kStyledSpanStart);
    const Pos s = Find(rest, kSpanEnd);
    if (Cut(rest, d, s - d, &span)) {
      std::string styled = StripTags(span, breaks);
      if (text::TrimBlanks(styled) == text::TrimBlanks(rec.Message)) rec.Message.assign(styled);
    }
  }
  DecodeReferences(&rec.Message);
  return true;
}

}  // namespace

}  // namespace chatterwick
