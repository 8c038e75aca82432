#pragma once

#include <string>
#include <string_view>

#include "core/env.h"
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
// given) and parses it. A failed load leaves LineCount as it was.
LoadResult LoadLogFile(LoadedLog& log, Env& env, const std::string& path);

// Splits lines 1..LineCount into ParsedLines, counting rejected lines in
// FailedLineCount. False when LineCount runs past the last slot.
bool ParseAllLines(LoadedLog& log);
// Splits RawLines[index] into time, sender and message; false when the line
// is not of that shape.
bool ParseLine(LoadedLog& log, int index);

// The text with every complete tag removed.
std::string StripTags(std::string_view text);
// The same, into *out (its buffer is reused).
void StripTagsInto(std::string_view text, std::string* out);

}  // namespace chatterwick
