#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/env.h"
#include "core/run_observer.h"
#include "core/status.h"
#include "core/stop_flag.h"

// The archive: every log and line of a tree in one SQLite database, without
// the catalogue's capacities, with full time stamps and full-text search,
// brought up to date by later runs.
namespace chatterwick::archive {

inline constexpr const char* kArchiveFile = "archive.sqlite";
// Which files an archive run takes for logs unless told: both of the forms
// the client writes.
inline constexpr const char* kArchiveMask = "*.html;*.txt";
// The most of a message's text, sender or time the archive keeps; the rest
// is cut off with a note. Far above any chat message, far below SQLite's limit.
inline constexpr size_t kMaxMessageBytes = size_t{16} << 20;

struct ArchiveSummary {
  int64_t logs_found = 0, new_logs = 0, changed_logs = 0, unchanged_logs = 0;
  int64_t unreadable_logs = 0, unreadable_folders = 0;
  // In the archive, but no longer found under the root (and kept).
  int64_t gone_logs = 0;
  // Gone, with their bytes found in a log at another place: removed, as
  // the log there holds them.
  int64_t moved_logs = 0;
  // Gone, and removed as asked (GoneLogs::kPrune).
  int64_t pruned_logs = 0;
  int64_t messages_added = 0, messages_total = 0;
  // Lines with a time text that gave no full time stamp.
  int64_t unreadable_stamps = 0;
  // Copies of a conversation whose messages were neither the start of those
  // the archive held nor those followed by more: both were kept.
  int64_t differing_copies = 0;
  // The sources read, and those that could not be reached (left as they were).
  int64_t sources_read = 0, unreachable_sources = 0;
};

enum class ArchiveOutcome {
  kDone,
  kRootUnreadable,  // nothing was read or written
  kBusy,            // another run holds the database; nothing was touched
  kDatabaseError,   // the database could not be opened, read or written
  kStopped,         // the logs done so far are kept; a later run does the rest
  kNoLogs,          // the tree held no log; the database was not touched
  kNoSources,       // no folder was named and the archive knows none; nothing was touched
};

struct ArchiveResult {
  ArchiveOutcome outcome = ArchiveOutcome::kDone;
  // For kRootUnreadable, kBusy, kDatabaseError, kNoSources and kNoLogs
  // (lines ending in CR LF): why, as the user reads it.
  Status why;
  ArchiveSummary summary;
};

// What a whole run does with the conversations of logs gone from the disk:
// keeps them (marked gone), or removes them.
enum class GoneLogs { kKeep, kPrune };

// Brings the database at db_path (created when missing) up to date with the
// log folders roots names, each remembered as a source of the archive; with
// no roots, with every source it remembers (one that cannot be reached is
// told of and left as it was). Copies of one conversation's log (the same
// protocol, account and contact folders and file name but for its
// extension, in any source and either format) are one conversation with
// every message any of them holds, each once; a log that shrank removes
// nothing. New logs and those whose size, times or inode changed are read;
// the others are passed over. A log is gone when every source that held it
// was read whole without it: then it stays, marked so, unless gone is
// kPrune; one whose bytes a log at another place holds was moved, and its
// old conversation goes. The observer (may be null) hears the total, each
// log, and each problem. With read_ahead, the next logs are read and split
// on a second thread while SQLite stores one; the archive is the same.
ArchiveResult RunArchive(Env& env, const std::vector<std::string>& roots,
                         const std::string& db_path, const std::string& mask, RunObserver* observer,
                         StopFlag stop = {}, GoneLogs gone = GoneLogs::kKeep,
                         bool read_ahead = true);

// The same for one root.
inline ArchiveResult RunArchive(Env& env, const std::string& root, const std::string& db_path,
                                const std::string& mask, RunObserver* observer, StopFlag stop = {},
                                GoneLogs gone = GoneLogs::kKeep, bool read_ahead = true) {
  return RunArchive(env, std::vector<std::string>{root}, db_path, mask, observer, stop, gone,
                    read_ahead);
}

}  // namespace chatterwick::archive
