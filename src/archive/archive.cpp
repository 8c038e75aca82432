#include "archive/archive.h"

#include <memory>
#include <vector>

#include "archive/archive_lock.h"
#include "archive/archive_writer.h"
#include "archive/copy_presence.h"
#include "archive/index_worker.h"
#include "archive/log_pieces.h"
#include "archive/people_table.h"
#include "archive/run_sources.h"
#include "archive/search_index.h"
#include "core/log_tree.h"
#include "core/path.h"
#include "core/read_ahead.h"

namespace chatterwick::archive {

namespace {

// One whole run: the sources found and listed, the database locked and
// opened, the wanted logs stored, and what is gone settled.
class Archiver {
 public:
  Archiver(Env& env, RunObserver* observer, StopFlag stop, GoneLogs gone, bool read_ahead)
      : env_(env),
        observer_(observer),
        stop_(stop),
        gone_(gone),
        read_ahead_(read_ahead),
        sources_(env, observer, stop, summary_) {}

  ArchiveResult Run(const std::vector<std::string>& roots, const std::string& db_path,
                    const std::string& mask);

 private:
  // The roots, reached and listed before the database is touched: a tree
  // without logs creates none. False, with the outcome, when the run ends.
  bool ListRoots(const std::vector<std::string>& roots, const std::string& mask,
                 const std::string& db_path, ArchiveResult* result);
  // The sources the archive remembers, reached and listed.
  bool ListRemembered(const std::string& mask, const std::string& db_path, ArchiveResult* result);
  // Takes the database's lock and opens it for writing; false, with the
  // outcome, when it cannot.
  bool LockAndOpen(const std::string& db_path, bool create, ArchiveResult* result);
  // Stores every log in order; a stop there sets *outcome.
  Status StoreAll(ArchiveWriter& writer, ArchiveOutcome* outcome);
  // Opens the archive's full-text index, forgets the changes it has taken,
  // and gives the last message id the archive holds, which it is to reach.
  Status OpenIndex(SearchIndex& index, int64_t* through);
  // Stores the logs, and the writer's last steps; a stop sets *outcome.
  Status Store(ArchiveWriter& writer, ArchiveOutcome* outcome);
  // Finds names, "me" and people again after the run, in a transaction.
  Status GroupPeopleAgain();
  Status Write(const std::string& mask, ArchiveOutcome* outcome);

  Env& env_;
  RunObserver* observer_;
  const StopFlag stop_;
  const GoneLogs gone_;
  const bool read_ahead_;
  ArchiveSummary summary_;
  RunSources sources_;
  std::vector<LogRef> logs_;
  LockedArchive archive_;
  Database& db_ = archive_.db;
};

bool Archiver::ListRoots(const std::vector<std::string>& roots, const std::string& mask,
                         const std::string& db_path, ArchiveResult* result) {
  Status s = sources_.FromRoots(roots);
  if (!s.ok()) {
    result->outcome = ArchiveOutcome::kRootUnreadable;
    result->why = s;
    return false;
  }
  if (!sources_.ListAll(mask)) {
    // Stopped while listing: nothing was read, and the database is untouched.
    result->outcome = ArchiveOutcome::kStopped;
    return false;
  }
  if (sources_.LogCount() > 0) return true;
  result->outcome = ArchiveOutcome::kNoLogs;
  std::string why;
  for (const std::string& root : roots)
    why += NoLogsFound(env_, path::WithFinalSeparator(root, env_.Separator()), mask);
  result->why = Status::NotFound(why + "Nothing was changed in " + db_path + ".");
  return false;
}

bool Archiver::ListRemembered(const std::string& mask, const std::string& db_path,
                              ArchiveResult* result) {
  Status s = sources_.FromArchive(db_);
  if (!s.ok()) {
    result->outcome = ArchiveOutcome::kDatabaseError;
    result->why = s;
    return false;
  }
  if (sources_.empty() && summary_.unreachable_sources == 0) {
    result->outcome = ArchiveOutcome::kNoSources;
    result->why = Status::NotFound("No log folder is known to " + db_path +
                                   " yet: name one to read. Nothing was changed.");
    return false;
  }
  if (!sources_.ListAll(mask)) {
    result->outcome = ArchiveOutcome::kStopped;
    return false;
  }
  return true;
}

bool Archiver::LockAndOpen(const std::string& db_path, bool create, ArchiveResult* result) {
  const Status s = OpenLockedArchive(env_, db_path, create, &archive_);
  if (s.ok()) return true;
  result->outcome = s.IsBusy()       ? ArchiveOutcome::kBusy
                    : s.IsNotFound() ? ArchiveOutcome::kNoSources
                                     : ArchiveOutcome::kDatabaseError;
  result->why =
      s.IsNotFound()
          ? Status::NotFound("There is no archive " + db_path + " yet: name a log folder to read.")
          : s;
  return false;
}

Status Archiver::StoreAll(ArchiveWriter& writer, ArchiveOutcome* outcome) {
  std::vector<LogPlan> plans;
  Status s = writer.Plan(logs_, &plans);
  if (!s.ok()) return s;
  std::vector<char> wanted(plans.size());
  for (size_t i = 0; i < plans.size(); ++i) wanted[i] = plans[i].wanted;
  // The next logs are read and split while SQLite stores one; the reader
  // is done with before the run's last steps.
  LogPieces reader(env_, logs_, wanted, stop_);
  // One thread: a log's pieces come one after another from one reader. A
  // deep read-ahead of small pieces lets the reader keep up through a run of
  // short logs while SQLite is busy with one long one, within kPieceBytes
  // times the depth.
  ReadAhead<LogPiece> pieces([&reader](size_t, LogPiece* p) { return reader.Next(p); },
                             read_ahead_ ? 1 : 0, kReadAheadPieces);
  for (size_t i = 0; s.ok() && i < logs_.size(); ++i) {
    if (stop_.Requested()) {
      *outcome = ArchiveOutcome::kStopped;
      break;
    }
    const int64_t before = summary_.messages_added;
    s = writer.Store(logs_[i], plans[i], pieces);
    if (writer.stopped_in_log()) {
      *outcome = ArchiveOutcome::kStopped;
      break;
    }
    if (observer_) observer_->OnLogDone(logs_[i].stamp.size, summary_.messages_added - before);
    if (s.ok()) s = writer.CommitWhenFull();
  }
  return s;
}

Status Archiver::Write(const std::string& mask, ArchiveOutcome* outcome) {
  CopyPresence presence(db_, summary_);
  Status s = db_.Exec("BEGIN IMMEDIATE");
  if (s.ok()) s = sources_.Register(db_);
  if (s.ok()) s = sources_.Settle(db_, presence);
  s = s.ok() ? db_.Exec("COMMIT") : (db_.Exec("ROLLBACK").IgnoreError(), s);
  if (!s.ok()) return s;
  logs_ = sources_.Logs();
  summary_.logs_found = static_cast<int64_t>(logs_.size());
  uint64_t bytes = 0;
  for (const LogRef& log : logs_) bytes += log.stamp.size;
  if (observer_) observer_->OnTotal(summary_.logs_found, bytes);

  SearchIndex index;
  int64_t through = 0;
  s = OpenIndex(index, &through);
  if (!s.ok()) return s;
  // Both cores: SQLite lets one writer into a file at a time, and the
  // index has a file of its own.
  IndexWorker worker(index, read_ahead_);
  worker.IndexThrough(through);  // what a run before this one left to index
  ArchiveWriter writer(db_, summary_, observer_, stop_);
  writer.OnCommit([&worker](int64_t id, bool last) { worker.IndexThrough(id, last); });
  s = Store(writer, outcome);
  if (!s.ok()) return s;
  // A whole run knows which logs are still on the disk; a stopped one does not.
  if (*outcome != ArchiveOutcome::kDone) s = presence.Count();
  else s = presence.Settle(sources_.Listed(), writer.seen_copies(), mask, gone_);
  if (s.ok() && *outcome == ArchiveOutcome::kDone) s = sources_.MarkRead(db_);
  // The index takes what was removed too, then merges what it held.
  bool stopped = false;
  if (s.ok()) s = worker.Finish(&stopped);
  if (stopped) *outcome = ArchiveOutcome::kStopped;
  return s.ok() ? GroupPeopleAgain() : s;
}

Status Archiver::OpenIndex(SearchIndex& index, int64_t* through) {
  // Beside the archive's own file, however a link names it, and as private.
  const std::string file = db_.FileName();
  Status s = CreatePrivately(env_, SearchIndexPath(file));
  if (s.ok()) s = index.Open(file, stop_);
  if (s.ok()) s = ForgetTakenChanges(db_, index.changes_taken());
  return s.ok() ? index.ArchiveEnd(through) : s;
}

Status Archiver::Store(ArchiveWriter& writer, ArchiveOutcome* outcome) {
  Status s = writer.Begin();
  if (s.ok()) s = StoreAll(writer, outcome);
  bool stopped = false;
  if (s.ok() && *outcome == ArchiveOutcome::kDone) s = writer.Finish(&stopped);
  if (stopped) *outcome = ArchiveOutcome::kStopped;
  return writer.End(s);
}

Status Archiver::GroupPeopleAgain() {
  Status s = db_.Exec("BEGIN IMMEDIATE");
  if (s.ok()) s = Regroup(db_);
  if (s.ok()) return db_.Exec("COMMIT");
  db_.Exec("ROLLBACK").IgnoreError();
  return s;
}

ArchiveResult Archiver::Run(const std::vector<std::string>& roots, const std::string& db_path,
                            const std::string& mask) {
  ArchiveResult result;
  if (!roots.empty()) {
    if (!ListRoots(roots, mask, db_path, &result) || !LockAndOpen(db_path, true, &result))
      return result;
  } else if (!LockAndOpen(db_path, false, &result) || !ListRemembered(mask, db_path, &result)) {
    result.summary = summary_;
    return result;
  }
  const Status s = Write(mask, &result.outcome);
  if (!s.ok()) {
    result.outcome = ArchiveOutcome::kDatabaseError;
    result.why = s;
  }
  result.summary = summary_;
  return result;
}

}  // namespace

ArchiveResult RunArchive(Env& env, const std::vector<std::string>& roots,
                         const std::string& db_path, const std::string& mask, RunObserver* observer,
                         StopFlag stop, GoneLogs gone, bool read_ahead) {
  return Archiver(env, observer, stop, gone, read_ahead).Run(roots, db_path, mask);
}

}  // namespace chatterwick::archive
