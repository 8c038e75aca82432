#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/stamps.h"
#include "core/env.h"
#include "core/log_file.h"
#include "core/status.h"
#include "core/stop_flag.h"
#include "core/text_log.h"

// The logs an archive run reads: listed with what the disk says of each,
// then read and split a piece at a time, with every byte hashed. No SQL here.
namespace chatterwick::archive {

// The folders a contact's logs share: a tree of many logs holds each once.
struct LogFolder {
  std::string protocol, account, contact;
  std::string path;  // with its final separator
};

// A log found under a source's root, and what the disk says of it.
struct LogRef {
  std::shared_ptr<const LogFolder> folder;
  std::string file_name;
  FileStamp stamp;
  bool stat_ok = false;
  int64_t source_id = 0;  // the source row of the folder it was found in
  const std::string& protocol() const { return folder->protocol; }
  const std::string& account() const { return folder->account; }
  const std::string& contact() const { return folder->contact; }
  std::string path() const { return folder->path + file_name; }
};

// Calls unreadable for each folder or entry that could not be listed.
using UnreadableFolder = std::function<void(const std::string& path, const Status& why)>;

// A folder of the tree by its names: none for the root, then the protocol,
// the account and the contact.
using FolderNames = std::vector<std::string>;

struct LogListing {
  // Every log mask matches, in the walk's order, with what the disk says of it.
  std::vector<LogRef> logs;
  // The folders the walk met, and those it listed whole (every entry
  // examined; a contact folder's logs as the mask picks them).
  std::set<FolderNames> met, whole;

  // Whether a log the archive holds, that the walk did not find, is gone:
  // the deepest folder of its place that the walk met (its protocol folder
  // at least: the root may be another) was listed whole, and (when that is
  // its contact folder) the mask picks it. Of a folder that could not be
  // read, or a log the mask leaves out, nothing is known.
  bool Gone(const std::string& protocol, const std::string& account, const std::string& contact,
            const std::string& file_name, const std::string& mask) const;
};

// The logs under root; stops early when stop is requested.
LogListing ListLogs(Env& env, const std::string& root, const std::string& mask,
                    const UnreadableFolder& unreadable, StopFlag stop);

// A row as the archive stores it, made before it is stored.
struct PendingRow {
  int64_t line_number;
  std::string time_text;
  std::optional<int64_t> sent;  // as SentOf gives it; none without a full stamp
  std::string sender, body;
  const char* kind;
};

// A piece of one log, read and split (texts longer than kMaxMessageBytes cut): its first piece has
// the title, its last the outcome and the hash. A long log comes in several pieces, so that what is
// read ahead stays small whatever the log's length.
struct LogPiece {
  bool last = false;
  // First and last: the log could not be opened or has no header (status says why).
  bool unreadable = false;
  // The stop came in the middle of this log; nothing follows.
  bool stopped = false;
  Status status;  // on the last piece: why the log ended early, when it did
  std::string title;
  std::vector<PendingRow> rows;
  int64_t unreadable_stamps = 0;
  std::string hash;
};

// How many pieces a run reads ahead of the one being stored: at most 64 MiB.
inline constexpr size_t kReadAheadPieces = 64;

// Reads the logs a run wants, in the run's order, one piece at a time: the
// step of a ReadAhead, so that it may run on a thread of its own.
class LogPieces {
 public:
  // wanted[i] tells whether logs[i] is read; both must outlive this.
  LogPieces(Env& env, const std::vector<LogRef>& logs, const std::vector<char>& wanted,
            StopFlag stop);
  ~LogPieces();
  LogPieces(const LogPieces&) = delete;
  LogPieces& operator=(const LogPieces&) = delete;
  // Fills *piece with the next piece; false after the last wanted log or at a stop.
  bool Next(LogPiece* piece);

 private:
  class HashingEnv;
  // Opens the next wanted log; false when there is none. *piece says why
  // when the log cannot be read.
  bool Begin(LogPiece* piece);
  // The piece ends with its log: its outcome and hash.
  void End(LogPiece* piece);

  static constexpr size_t kPieceRows = 4096;
  static constexpr size_t kPieceBytes = size_t{1} << 20;

  std::unique_ptr<HashingEnv> hashing_;
  const std::vector<LogRef>& logs_;
  const std::vector<char>& wanted_;
  const StopFlag stop_;
  size_t next_ = 0;  // the next log to begin
  std::optional<LogLineReader> reader_;
  std::optional<StampClock> clock_;
  std::optional<TextLineSplitter> text_;
  int64_t line_number_ = 0;
  ParsedLine rec_;
};

}  // namespace chatterwick::archive
