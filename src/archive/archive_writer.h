#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "archive/conversation_merge.h"
#include "archive/log_pieces.h"
#include "archive/sender_tally.h"
#include "archive/sqlite_db.h"
#include "core/read_ahead.h"
#include "core/run_observer.h"
#include "core/status.h"
#include "core/stop_flag.h"

// What an archive run writes: each log's names, conversation, copy and new
// messages, in batches that each keep their logs whole, and the run's last
// steps. What is gone is settled apart (copy_presence.h).
namespace chatterwick::archive {

// What a run found of one listed log before reading any: whether it is to
// be read, the conversation the archive holds of it, and its copy's row.
struct LogPlan {
  bool wanted = false;
  int64_t conversation = 0;  // 0: none yet (an earlier log of the run may make it)
  int64_t copy = 0;          // 0: this source's copy is new to the archive
};

// The messages and first and last times of a conversation being made, as
// its rows go in.
struct FreshTotals {
  int64_t messages = 0;
  std::optional<int64_t> first, last;  // as PendingRow::sent
};

class ArchiveWriter {
 public:
  // db is open and of this schema (OpenArchiveForWriting); summary gets the
  // counts as the run goes. observer may be null.
  ArchiveWriter(Database& db, ArchiveSummary& summary, RunObserver* observer, StopFlag stop);

  // Prepares the statements and begins the first batch.
  Status Begin();
  // Which logs are to be read: copies new to the archive, or whose size,
  // times or inode changed; with the conversation and copy of each.
  Status Plan(const std::vector<LogRef>& logs, std::vector<LogPlan>* plans);
  // Merges what the pieces read of one log into its conversation: messages
  // the archive holds already are passed over, the others added. A log that
  // cannot be read is counted and reported, and is no failure of the run.
  Status Store(const LogRef& log, const LogPlan& plan, ReadAhead<LogPiece>& pieces);
  // A stop came in the middle of a log, whose rows were then undone.
  bool stopped_in_log() const { return stopped_in_log_; }
  // The copies the run found, whether read or not.
  const std::vector<int64_t>& seen_copies() const { return seen_copies_; }
  // Commits the batch when it is big enough.
  Status CommitWhenFull();
  // The run's last step, which only makes finding faster: the index a
  // first run builds at its end. Every stored log is
  // committed first; a stop ends them within a step (*stopped) and leaves
  // the rest to the next run. Then the batch is committed.
  Status Finish(bool* stopped);
  // Commits what the run has written, or undoes the batch when it failed.
  Status End(const Status& so_far);
  // Called after each commit with the last message id then committed, and
  // whether that was the commit of the last stored log (Finish).
  void OnCommit(std::function<void(int64_t through, bool last)> committed) {
    committed_ = std::move(committed);
  }

 private:
  using IdCache = std::map<std::pair<int64_t, std::string>, int64_t>;
  Status Prepare();
  Status IdFor(Statement& find, Statement& insert, int64_t parent, const std::string& name,
               IdCache* cache, int64_t* id);
  // The id of a name the archive holds already, or 0; adds nothing.
  Status Known(Statement& find, int64_t parent, const std::string& name, IdCache* cache,
               int64_t* id);
  Status PlanOne(const LogRef& log, LogPlan* plan);
  Status ContactOf(const LogRef& log, int64_t* contact);
  // The conversation of contact with the log's stem, or 0.
  Status FindConversation(int64_t contact, const std::string& stem, int64_t* conversation);
  Status AddConversation(const LogRef& log, int64_t contact, const LogPiece& first,
                         int64_t* conversation);
  Status StoreLines(const LogRef& log, int64_t contact, LogPiece* piece,
                    ReadAhead<LogPiece>& pieces, int64_t* conversation, int64_t* added,
                    std::string* hash, Status* read);
  Status WriteCopy(const LogRef& log, const LogPlan& plan, int64_t conversation,
                   const std::string& hash);
  // The messages and first and last times of a conversation being made.
  void CountFresh(const std::vector<PendingRow>& rows);
  Status WriteTotals(int64_t conversation);
  Status Unreadable(const LogRef& log, const Status& why);
  Status InsertRows(int64_t conversation, const std::vector<PendingRow>& rows);
  // The sender row of name, made when new.
  Status SenderId(const std::string& name, int64_t* id);
  Status Commit(bool begin_again);

  Database& db_;
  ArchiveSummary& summary_;
  RunObserver* observer_;
  const StopFlag stop_;
  Statement find_protocol_, add_protocol_, find_account_, add_account_, find_contact_, add_contact_,
      find_conversation_, find_copy_, add_conversation_, add_copy_, update_copy_, totals_,
      set_totals_, add_message_, add_messages_, find_sender_, add_sender_;
  IdCache protocols_, accounts_, contacts_;
  std::unordered_map<std::string, int64_t> senders_;
  std::vector<int64_t> seen_copies_;
  static constexpr size_t kRowsPerInsert = 64;
  int64_t pending_messages_ = 0;
  int pending_logs_ = 0;
  bool stopped_in_log_ = false;
  std::optional<FreshTotals> fresh_;  // while a new conversation's rows go in
  ConversationMerge merge_;           // while a copy goes into a conversation held before
  SenderTally tally_;
  std::function<void(int64_t, bool)> committed_;
  bool finishing_ = false;
};

}  // namespace chatterwick::archive
