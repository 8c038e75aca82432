#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/log_file.h"
#include "core/tables.h"

// The client's plain-text log format: a first line "Conversation with NAME
// at DATE on ACCOUNT (PROTOCOL)" (a system log's: "System log for account
// ACCOUNT (PROTOCOL) connected at DATE"), then a line for each chat line:
// "(TIME) Sender: message", "(TIME) ***Sender does something", or "(TIME)
// text" that nobody says; a message's own line breaks go on over the next
// physical lines, which do not begin with a time.
namespace chatterwick {

// Whether line is a plain-text log's first line.
bool IsTextLogHeader(std::string_view line);

// Whether line begins with a time as the client writes it before a chat
// line, in any of its regional forms: "(17:38:38)", "(07:48:24 AM)",
// "(30.09.2022 17:38:38)", "(04/24/2019 07:48:24 AM)", "(2022-09-30
// 17:38:38)", then a blank or the end.
bool StartsWithStamp(std::string_view line);

// The time of day, in seconds, of the stamp line begins with; -1 when it
// has none, or one that carries its date (a message delivered late).
int StampSeconds(std::string_view line);

// Whether a stamped line has a speaker: "Sender: ..." or "***Sender ...".
bool IsSpokenLine(std::string_view line);

// Whether a stamped line that nobody speaks is a message's own text going on
// after a line break rather than a line of its own: its time does not fall
// between the line before it (before) and the next (after, -1 when none),
// as a log's times do but across midnight.
bool OutOfPlace(int before, int time, int after);

// Splits a plain-text log's lines into time, sender and message as the HTML
// loader splits its own (the time in its parentheses, the sender with its
// colon or the client's "***", the message after the blank that follows),
// so that both formats give one chat line alike. An action's name is read
// with the names the log's chat lines gave before it, as it may hold blanks.
class TextLineSplitter {
 public:
  LineKind Split(std::string_view raw, ParsedLine* rec);

 private:
  // The longest name seen that begins text and ends at a blank; else the first word.
  size_t ActorLength(std::string_view text) const;
  std::vector<std::string> names_;
};

}  // namespace chatterwick
