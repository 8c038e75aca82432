#include "archive/run_sources.h"

#include <algorithm>

#include "archive/sqlite_db.h"
#include "core/log_tree.h"
#include "core/messages.h"
#include "core/path.h"

namespace chatterwick::archive {

namespace {

// "laptop (/home/me/logs/)": how a sentence names a source.
std::string Named(const SourceRow& row) { return row.name + " (" + row.path + ")"; }

bool Inside(const std::string& inner, const std::string& outer) {
  return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0;
}

}  // namespace

void RunSources::Tell(Problem::Kind kind, const std::string& path, const std::string& sentence) {
  if (observer_) observer_->OnProblem({kind, path, Status::IOError(sentence)});
}

Status RunSources::FromRoots(const std::vector<std::string>& roots) {
  for (const std::string& typed : roots) {
    const std::string root = path::WithFinalSeparator(typed, env_.Separator());
    std::string full;
    Status s = CheckLogRoot(env_, root);
    if (s.ok()) s = env_.FullPath(root, &full);
    if (!s.ok()) return Status::IOError(UnreadableFolderMessage(root, s));
    full = path::WithFinalSeparator(full, env_.Separator());
    const bool again = std::any_of(sources_.begin(), sources_.end(),
                                   [&](const RunSource& r) { return r.row.path == full; });
    if (!again) sources_.push_back({SourceRow{0, full, "", "", 0}, {}, false, false});
  }
  return Status::OK();
}

Status RunSources::FromArchive(Database& db) {
  std::vector<SourceRow> rows;
  Status s = SourceTable(db).All(&rows);
  for (const SourceRow& row : rows) {
    if (row.path.empty()) {
      ++summary_.unreachable_sources;
      Tell(Problem::Kind::kSourceUnreachable, row.path,
           "The log folder this archive was first made from is not known by its path yet: name "
           "it once, and its logs are read as they were. They are kept as they were.");
      continue;
    }
    Status reached = CheckLogRoot(env_, row.path);
    if (!reached.ok()) {
      ++summary_.unreachable_sources;
      Tell(Problem::Kind::kSourceUnreachable, row.path,
           "The source " + Named(row) + " could not be reached: " + reached.message() +
               ". Its logs are kept as they were.");
      continue;
    }
    sources_.push_back({row, {}, false, false});
  }
  return s;
}

bool RunSources::ListAll(const std::string& mask) {
  for (RunSource& source : sources_) {
    source.listing = ListLogs(
        env_, source.row.path, mask,
        [this](const std::string& path, const Status& why) {
          ++summary_.unreadable_folders;
          if (observer_) observer_->OnProblem({Problem::Kind::kFolderUnreadable, path, why});
        },
        stop_);
    if (stop_.Requested()) return false;
  }
  return true;
}

int64_t RunSources::LogCount() const {
  int64_t logs = 0;
  for (const RunSource& source : sources_) logs += static_cast<int64_t>(source.listing.logs.size());
  return logs;
}

Status RunSources::Adopt(SourceTable& table, const SourceRow& earlier, RunSource& source,
                         bool* adopted) {
  *adopted = false;
  // The same folder holds some of the same files unchanged among its first
  // logs; another machine's copies differ at least in their times.
  const size_t tried = std::min<size_t>(source.listing.logs.size(), 1000);
  for (size_t i = 0; i < tried; ++i) {
    const LogRef& log = source.listing.logs[i];
    Status s = table.HoldsCopy(earlier.id, log, adopted);
    if (!s.ok()) return s;
    if (*adopted) return table.Adopt(earlier.id, source.row.path, env_.Separator(), &source.row);
  }
  return Status::OK();
}

Status RunSources::Register(Database& db) {
  SourceTable table(db);
  std::vector<SourceRow> all;
  Status s = table.All(&all);
  for (RunSource& source : sources_) {
    if (!s.ok()) break;
    auto known = std::find_if(all.begin(), all.end(),
                              [&](const SourceRow& r) { return r.path == source.row.path; });
    if (known != all.end()) {
      source.row = *known;
      continue;
    }
    bool adopted = false;
    auto earlier =
        std::find_if(all.begin(), all.end(), [](const SourceRow& r) { return r.path.empty(); });
    if (earlier != all.end()) s = Adopt(table, *earlier, source, &adopted);
    if (s.ok() && adopted) {
      *earlier = source.row;
      continue;
    }
    if (s.ok()) s = table.Add(source.row.path, env_.Separator(), &source.row);
    source.added = true;
    all.push_back(source.row);
  }
  std::vector<int64_t> added;
  for (const RunSource& source : sources_)
    if (source.added) added.push_back(source.row.id);
  if (s.ok())
    for (const RunSource& source : sources_)
      if (source.added) TellNesting(source, all, added);
  return s;
}

void RunSources::TellNesting(const RunSource& source, const std::vector<SourceRow>& all,
                             const std::vector<int64_t>& added) {
  for (const SourceRow& other : all) {
    if (other.path.empty() || other.id == source.row.id) continue;
    // Two new ones, one inside the other, are told of once, by the inner.
    const bool other_added = std::find(added.begin(), added.end(), other.id) != added.end();
    if (Inside(source.row.path, other.path))
      Tell(Problem::Kind::kNotice, source.row.path,
           "The new source " + Named(source.row) + " lies inside the source " + Named(other) +
               ". Both are kept; the logs inside " + source.row.name +
               " are read as its own only.");
    else if (Inside(other.path, source.row.path) && !other_added)
      Tell(Problem::Kind::kNotice, source.row.path,
           "The new source " + Named(source.row) + " holds the source " + Named(other) +
               ". Both are kept; the logs inside " + other.name + " are read as its own only.");
  }
}

Status RunSources::Settle(Database& db, CopyPresence& presence) {
  std::vector<SourceRow> all;
  Status s = SourceTable(db).All(&all);
  for (RunSource& source : sources_) {
    if (!s.ok()) break;
    std::vector<LogRef>& logs = source.listing.logs;
    for (const SourceRow& other : all)
      if (!other.path.empty() && Inside(other.path, source.row.path))
        logs.erase(std::remove_if(logs.begin(), logs.end(),
                                  [&](const LogRef& log) {
                                    return log.folder->path.compare(0, other.path.size(),
                                                                    other.path) == 0;
                                  }),
                   logs.end());
    for (LogRef& log : logs) log.source_id = source.row.id;
    if (!source.added) s = presence.IsForeign(source.row.id, source.listing, &source.foreign);
    if (s.ok() && source.foreign)
      Tell(Problem::Kind::kNotice, source.row.path,
           "The source " + Named(source.row) +
               " now holds the logs of other accounts than before: they are added, and what it "
               "held before is kept as it was.");
  }
  return s;
}

std::vector<LogRef> RunSources::Logs() const {
  std::vector<LogRef> logs;
  logs.reserve(static_cast<size_t>(LogCount()));
  for (const RunSource& source : sources_)
    logs.insert(logs.end(), source.listing.logs.begin(), source.listing.logs.end());
  return logs;
}

std::vector<ListedSource> RunSources::Listed() const {
  std::vector<ListedSource> listed;
  for (const RunSource& source : sources_)
    listed.push_back({source.row.id, &source.listing, source.foreign});
  return listed;
}

Status RunSources::MarkRead(Database& db) {
  SourceTable table(db);
  Status s;
  for (size_t i = 0; s.ok() && i < sources_.size(); ++i)
    s = table.MarkRead(sources_[i].row.id, static_cast<int64_t>(sources_[i].listing.logs.size()));
  summary_.sources_read = static_cast<int64_t>(sources_.size());
  return s;
}

}  // namespace chatterwick::archive
