#include "archive/archive.h"

#include <memory>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/log_pieces.h"
#include "archive/schema.h"
#include "archive/sqlite_db.h"
#include "core/log_tree.h"
#include "core/path.h"
#include "core/read_ahead.h"
#include "core/safe_file.h"

namespace chatterwick::archive {

namespace {

// One whole run: the tree listed, the database locked and opened, the
// wanted logs stored, and what is gone settled.
class Archiver {
 public:
  Archiver(Env& env, RunObserver* observer, StopFlag stop, GoneLogs gone, bool read_ahead)
      : env_(env), observer_(observer), stop_(stop), gone_(gone), read_ahead_(read_ahead) {}

  ArchiveResult Run(const std::string& root, const std::string& db_path, const std::string& mask);

 private:
  // The logs under root, or an outcome that ends the run before the
  // database is touched: a root without logs creates none.
  bool List(const std::string& root, const std::string& mask, const std::string& db_path,
            ArchiveResult* result);
  // Takes the database's lock and opens it for writing; false, with the
  // outcome, when it cannot.
  bool LockAndOpen(const std::string& db_path, ArchiveResult* result);
  Status CreatePrivately(const std::string& file);
  // Stores every log in order; a stop there sets *outcome.
  Status StoreAll(ArchiveWriter& writer, ArchiveOutcome* outcome);

  Env& env_;
  RunObserver* observer_;
  const StopFlag stop_;
  const GoneLogs gone_;
  const bool read_ahead_;
  ArchiveSummary summary_;
  LogListing listing_;
  std::vector<LogRef>& logs_ = listing_.logs;
  Database db_;
  std::unique_ptr<FileLock> lock_;
};

bool Archiver::List(const std::string& root, const std::string& mask, const std::string& db_path,
                    ArchiveResult* result) {
  Status s = CheckLogRoot(env_, root);
  if (!s.ok()) {
    result->outcome = ArchiveOutcome::kRootUnreadable;
    result->why = Status::IOError(UnreadableFolderMessage(root, s));
    return false;
  }
  listing_ = ListLogs(
      env_, root, mask,
      [this](const std::string& path, const Status& why) {
        ++summary_.unreadable_folders;
        if (observer_) observer_->OnProblem({Problem::Kind::kFolderUnreadable, path, why});
      },
      stop_);
  if (stop_.Requested()) {
    // Stopped while listing: nothing was read, and the database is untouched.
    result->outcome = ArchiveOutcome::kStopped;
    return false;
  }
  if (logs_.empty()) {
    result->outcome = ArchiveOutcome::kNoLogs;
    result->why =
        Status::NotFound(NoLogsFound(env_, root, mask) + "Nothing was changed in " + db_path + ".");
    return false;
  }
  return true;
}

bool Archiver::LockAndOpen(const std::string& db_path, ArchiveResult* result) {
  // The lock and the database are those of the file itself, however a link
  // names it, so that two runs never take two locks on one database.
  std::string file;
  Status s = env_.ResolveLinks(db_path, &file);
  const std::string lock_path = file + ".lock";
  FileKind kind = FileKind::kOther;
  const bool lock_made = s.ok() && env_.GetFileKind(lock_path, &kind).IsNotFound();
  if (s.ok()) s = env_.LockFile(lock_path, &lock_);
  if (s.IsBusy()) {
    result->outcome = ArchiveOutcome::kBusy;
    result->why = Status::Busy("Another run is updating " + db_path +
                               "; nothing was changed. Try again when it has finished.");
    return false;
  }
  if (s.ok()) s = CreatePrivately(file);
  if (s.ok()) s = OpenArchiveForWriting(db_, file);
  if (s.ok()) return true;
  // A refused run leaves no lock file of its own making behind.
  if (lock_ && lock_made) env_.DeleteFile(lock_path).IgnoreError();
  result->outcome = ArchiveOutcome::kDatabaseError;
  result->why = s;
  return false;
}

Status Archiver::CreatePrivately(const std::string& file) {
  FileKind kind = FileKind::kOther;
  Status s = env_.GetFileKind(file, &kind);
  if (!s.IsNotFound()) return Status::OK();
  // Made empty (SQLite reads an empty file as an empty database) for its
  // owner alone: SQLite would follow the umask, and gives its journal files
  // the database's own bits.
  ReplacementSet made(env_, FileAccess::kOwnerOnly);
  size_t index = 0;
  s = made.Add(file, TempPrefixFor(file, env_.Separator()), &index);
  std::string failed;
  return s.ok() ? made.Commit(path::FolderOf(file, env_.Separator()), &failed) : s;
}

Status Archiver::StoreAll(ArchiveWriter& writer, ArchiveOutcome* outcome) {
  std::vector<char> wanted;
  std::vector<int64_t> existing;
  Status s = writer.FindWanted(logs_, &wanted, &existing);
  if (!s.ok()) return s;
  // The next logs are read and split while SQLite stores one; the reader
  // is done with before the run's last steps.
  LogPieces reader(env_, logs_, wanted, stop_);
  // One thread: a log's pieces come one after another from one reader.
  ReadAhead<LogPiece> pieces([&reader](size_t, LogPiece* p) { return reader.Next(p); },
                             read_ahead_ ? 1 : 0);
  for (size_t i = 0; s.ok() && i < logs_.size(); ++i) {
    if (stop_.Requested()) {
      *outcome = ArchiveOutcome::kStopped;
      break;
    }
    const int64_t before = summary_.messages_added;
    s = writer.Store(logs_[i], wanted[i], existing[i], pieces);
    if (writer.stopped_in_log()) {
      *outcome = ArchiveOutcome::kStopped;
      break;
    }
    if (observer_) observer_->OnLogDone(logs_[i].stamp.size, summary_.messages_added - before);
    if (s.ok()) s = writer.CommitWhenFull();
  }
  return s;
}

ArchiveResult Archiver::Run(const std::string& typed_root, const std::string& db_path,
                            const std::string& mask) {
  ArchiveResult result;
  // A folder typed without its final separator is the same folder.
  const std::string root = path::WithFinalSeparator(typed_root, env_.Separator());
  if (!List(root, mask, db_path, &result) || !LockAndOpen(db_path, &result)) return result;

  summary_.logs_found = static_cast<int64_t>(logs_.size());
  uint64_t bytes = 0;
  for (const LogRef& log : logs_) bytes += log.stamp.size;
  if (observer_) observer_->OnTotal(summary_.logs_found, bytes);

  ArchiveWriter writer(db_, summary_, observer_, stop_);
  Status s = writer.Begin();
  if (s.ok()) s = StoreAll(writer, &result.outcome);
  if (s.ok() && result.outcome == ArchiveOutcome::kDone) {
    bool stopped = false;
    s = writer.Finish(&stopped);
    if (stopped) result.outcome = ArchiveOutcome::kStopped;
  }
  s = writer.End(s);
  if (s.ok()) s = writer.Conclude(result.outcome == ArchiveOutcome::kDone, gone_, listing_, mask);
  if (!s.ok()) {
    result.outcome = ArchiveOutcome::kDatabaseError;
    result.why = s;
  }
  result.summary = summary_;
  return result;
}

}  // namespace

ArchiveResult RunArchive(Env& env, const std::string& root, const std::string& db_path,
                         const std::string& mask, RunObserver* observer, StopFlag stop,
                         GoneLogs gone, bool read_ahead) {
  return Archiver(env, observer, stop, gone, read_ahead).Run(root, db_path, mask);
}

}  // namespace chatterwick::archive
