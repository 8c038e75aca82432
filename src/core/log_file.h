#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/env.h"
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

// A log's logical lines, one at a time: a physical line that does not begin
// with "<" continues the one before it (after one blank); a byte-order mark
// before the first line is dropped. Memory holds one line, whatever the
// log's length.
class LogLineReader {
 public:
  // Opens path; the first logical line (the header) is read by the first Next.
  Status Open(Env& env, const std::string& path);
  // False at the end, or on failure (see status()): the file was empty, its
  // first line is not markup, or it could not be read.
  bool Next(std::string* line);
  const Status& status() const { return status_; }

 private:
  std::unique_ptr<LineReader> reader_;
  std::string pending_;
  // The line being read. The buffers of read_, pending_ and the caller's
  // line change places, so that a log's lines take no allocation each.
  std::string read_;
  bool has_pending_ = false;
  bool first_ = true;
  bool any_ = false;
  Status status_;
};

// What one log line holds once split.
enum class LineKind {
  kChat,      // a time, a sender and a message
  kRejected,  // not of that shape; its text (tags stripped) is the message
  kMarkup,    // not of that shape and no text either: no chat line at all
};

// Splits raw into rec as ParseAllLines does for one line.
LineKind ParseRawLine(std::string_view raw, ParsedLine* rec);

// Splits lines 1..LineCount into ParsedLines, counting rejected lines in
// FailedLineCount. False when LineCount runs past the last slot.
bool ParseAllLines(LoadedLog& log);
// A split line as the archive keeps it: "kind" is "chat" (a sender, without
// the colon, and a message), "action" (a /me line: the sender without the
// client's "***"), "status" (a text nobody says, in body) or "unparsed" (a
// line the parser rejected, its text in body). Takes rec's texts.
struct ClassifiedLine {
  const char* kind;
  std::string sender, body;
};
ClassifiedLine ClassifyLine(LineKind kind, ParsedLine& rec);

// The text between <title> and </title> of a log's first line, with its
// character references decoded, or a fixed text when there is none.
std::string ExtractTitle(std::string_view line);

}  // namespace chatterwick
