#pragma once

#include <string>

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
// given) and parses it. A UTF-8 byte-order mark at the start of the file is
// not part of its first line. A failed load leaves LineCount as it was.
LoadResult LoadLogFile(LoadedLog& log, Env& env, const std::string& path);

// Splits lines 1..LineCount into ParsedLines, counting rejected lines in
// FailedLineCount. False when LineCount runs past the last slot.
bool ParseAllLines(LoadedLog& log);
// Splits RawLines[index] into time, sender and message; false when the line
// is not of that shape. Sender and message are text: tags stripped (the
// sender has none), character references decoded.
bool ParseLine(LoadedLog& log, int index);

}  // namespace chatterwick
