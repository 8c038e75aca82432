#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "core/env.h"
#include "core/html_text.h"
#include "core/line_reader.h"
#include "core/status.h"
#include "core/tables.h"

// Reading one log: its lines into RawLines, each split into ParsedLines.
namespace chatterwick {

struct [[nodiscard]] LoadResult {
  // OK, or why the log could not be loaded.
  Status status;
  // RawLines and LineCount now hold this file. True on success, and for a
  // log that fills the table's last slot, which is stored and parsed but
  // still reported.
  bool stored = false;
};

// Empties RawLines and ParsedLines, then reads the log at path (used as
// given) and parses it. A UTF-8 byte-order mark at the start of the file is
// not part of its first line. A failed load leaves LineCount as it was.
LoadResult LoadLogFile(LoadedLog& log, Env& env, const std::string& path);

// A log's logical lines, one at a time. In an HTML log a physical line that
// does not begin with "<" continues the one before it (after one blank); in
// a plain-text log one that does not begin with a time does, after a blank
// for each line break, as the HTML log's breaks read (none at the end), or
// after "\n" for each with LineBreaks::kKept. A byte-order mark before the
// first line is dropped. Memory holds one line, whatever the log's length.
class LogLineReader {
 public:
  explicit LogLineReader(LineBreaks breaks = LineBreaks::kBlank) : line_breaks_(breaks) {}
  // Opens path; the first logical line (the header) is read by the first Next.
  Status Open(Env& env, const std::string& path);
  // False at the end, or on failure (see status()): the file was empty, its
  // first line is neither markup nor a plain-text log's (whose header may be
  // missing or broken, its next line a chat line), or it could not be read.
  bool Next(std::string* line);
  const Status& status() const { return status_; }
  // Known once the first line is read.
  LogFormat format() const { return format_; }

 private:
  // Reads the next physical line, the one looked ahead at first.
  bool ReadPhysical(std::string* s);
  // Tells the format from the first line; false, with status_, for neither.
  bool ChooseFormat(const std::string& first);
  // Whether s begins a logical line of its own.
  bool Begins(const std::string& s);
  void Continue(const std::string& s);
  // The time of the next physical line that begins with one, read ahead;
  // -1 when none does.
  int NextStampTime();

  std::unique_ptr<LineReader> reader_;
  std::string pending_;
  // The line being read. The buffers of read_, pending_ and the caller's
  // line change places, so that a log's lines take no allocation each.
  std::string read_;
  std::deque<std::string> ahead_;  // physical lines read ahead
  int last_time_ = -1;             // of the last plain-text line begun
  bool has_pending_ = false;
  bool first_ = true;
  bool any_ = false;
  int breaks_ = 0;  // line breaks of a plain-text line not yet written
  const LineBreaks line_breaks_;
  LogFormat format_ = LogFormat::kHtml;
  Status status_;
};

// What one log line holds once split.
enum class LineKind {
  kChat,      // a time, a sender and a message
  kRejected,  // not of that shape; its text (tags stripped) is the message
  kMarkup,    // not of that shape and no text either: no chat line at all
};

// Splits raw (an HTML log's line) into rec as ParseAllLines does for one
// line; its <br> tags as breaks says (see StripTags).
LineKind ParseRawLine(std::string_view raw, ParsedLine* rec,
                      LineBreaks breaks = LineBreaks::kBlank);

// Splits lines 1..LineCount into ParsedLines, counting rejected lines in
// FailedLineCount. False when LineCount runs past the last slot.
bool ParseAllLines(LoadedLog& log);
// A split line as the archive keeps it: "kind" is "chat" (a sender, without
// the colon, and a message), "action" (a /me line: the sender without the
// client's "***"), "status" (a text nobody says, in body) or "unparsed" (a
// line the parser rejected, its text in body). Senders are without blanks
// around them; the client's own errors and notices are status lines. Takes
// rec's texts.
struct ClassifiedLine {
  const char* kind;
  std::string sender, body;
};
ClassifiedLine ClassifyLine(LineKind kind, ParsedLine& rec);

// The text between <title> and </title> of a log's first line, with its
// character references decoded, or a fixed text when there is none. A
// plain-text log's title is its first line, when that is its header.
std::string ExtractTitle(std::string_view line, LogFormat format = LogFormat::kHtml);

}  // namespace chatterwick
