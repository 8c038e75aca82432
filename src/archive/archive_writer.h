#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/log_pieces.h"
#include "archive/sqlite_db.h"
#include "core/read_ahead.h"
#include "core/run_observer.h"
#include "core/status.h"
#include "core/stop_flag.h"

// What an archive run writes: each log's names, conversation and messages,
// in batches that each keep their logs whole, and the run's last steps.
namespace chatterwick::archive {

class ArchiveWriter {
 public:
  // db is open and of this schema (OpenArchiveForWriting); summary gets the
  // counts as the run goes. observer may be null.
  ArchiveWriter(Database& db, ArchiveSummary& summary, RunObserver* observer, StopFlag stop);

  // Prepares the statements and begins the first batch.
  Status Begin();
  // Which logs are to be read: those on the disk that are new to the
  // archive, or whose size, times or inode changed; and the conversation the
  // archive holds of each, or 0. No log's conversation is made by another's,
  // so what is found here holds for the whole run.
  Status FindWanted(const std::vector<LogRef>& logs, std::vector<char>* wanted,
                    std::vector<int64_t>* existing);
  // Brings one log's conversation up to date from the pieces read of it. A
  // log that cannot be read is counted and reported, and is no failure of the run.
  Status Store(const LogRef& log, bool wanted, int64_t existing, ReadAhead<LogPiece>& pieces);
  // A stop came in the middle of a log, whose rows were then undone.
  bool stopped_in_log() const { return stopped_in_log_; }
  // Commits the batch when it is big enough.
  Status CommitWhenFull();
  // The run's last steps, which only make finding faster: the indexes a
  // first run builds at its end, and the held merges. Every stored log is
  // committed first; a stop ends them within a step (*stopped) and leaves
  // the rest to the next run. Then the batch is committed.
  Status Finish(bool* stopped);
  // Commits what the run has written, or undoes the batch when it failed.
  Status End(const Status& so_far);
  // After a whole run: marks the conversations whose logs it found present,
  // and gone only those the listing knows to be gone (of a folder not read,
  // or a log the mask leaves out, nothing is known, and nothing changes);
  // removes those
  // gone whose bytes a log still on the disk holds (moved or renamed), or
  // all of them (kPrune); counts what is left.
  Status Conclude(bool whole, GoneLogs gone, const LogListing& listing, const std::string& mask);

 private:
  using IdCache = std::map<std::pair<int64_t, std::string>, int64_t>;
  Status Prepare();
  Status IdFor(Statement& find, Statement& insert, int64_t parent, const std::string& name,
               IdCache* cache, int64_t* id);
  // The id of a name the archive holds already, or 0; adds nothing.
  Status Known(Statement& find, int64_t parent, const std::string& name, IdCache* cache,
               int64_t* id);
  Status ContactOf(const LogRef& log, int64_t* contact);
  // The conversation's row, made or brought up to date, with its messages gone.
  Status WriteConversation(const LogRef& log, int64_t contact, int64_t existing,
                           const LogPiece& first, int64_t* conversation);
  Status StoreLines(const LogRef& log, int64_t contact, int64_t existing, LogPiece* piece,
                    ReadAhead<LogPiece>& pieces, int64_t* stored_as, int64_t* added,
                    std::string* hash, Status* read);
  Status Unreadable(const LogRef& log, const Status& why);
  Status InsertRows(int64_t conversation, const std::vector<PendingRow>& rows);
  Status Commit(bool begin_again);
  Status MarkPresent(const LogListing& listing, const std::string& mask);
  // The conversations the run did not find whose logs the listing knows to
  // be gone; seen_ sorted.
  Status FindGone(const LogListing& listing, const std::string& mask, std::vector<int64_t>* gone);
  Status RemoveGone(GoneLogs gone);

  Database& db_;
  ArchiveSummary& summary_;
  RunObserver* observer_;
  const StopFlag stop_;
  Statement find_protocol_, add_protocol_, find_account_, add_account_, find_contact_, add_contact_,
      find_conversation_, add_conversation_, update_conversation_, delete_messages_, add_message_,
      add_messages_, index_new_, set_hash_, every_conversation_;
  IdCache protocols_, accounts_, contacts_;
  std::vector<int64_t> seen_;
  static constexpr size_t kRowsPerInsert = 64;
  // Every message up to this id is in the full-text index. Ids are never
  // used again, so the messages of a batch are those above it.
  int64_t indexed_ = 0;
  int64_t pending_messages_ = 0;
  int pending_logs_ = 0;
  bool merges_held_ = false;
  bool stopped_in_log_ = false;
};

}  // namespace chatterwick::archive
