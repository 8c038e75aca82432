#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/copy_presence.h"
#include "archive/log_pieces.h"
#include "archive/source_table.h"
#include "core/env.h"
#include "core/run_observer.h"
#include "core/status.h"
#include "core/stop_flag.h"

// The log folders one archive run reads: the roots it was given or the
// sources the archive remembers, each reached, listed and known by its row.
namespace chatterwick::archive {

class Database;

struct RunSource {
  SourceRow row;  // row.id is 0 until the archive holds it
  LogListing listing;
  bool added = false;    // new to the archive in this run
  bool foreign = false;  // see CopyPresence::IsForeign
};

class RunSources {
 public:
  RunSources(Env& env, RunObserver* observer, StopFlag stop, ArchiveSummary& summary)
      : env_(env), observer_(observer), stop_(stop), summary_(summary) {}

  // The folders roots names, in full, each once; IOError with the sentence
  // the user reads for one that is no folder that can be listed.
  Status FromRoots(const std::vector<std::string>& roots);
  // Every source db remembers; one that cannot be reached now is told of
  // and left out, as is the folder an earlier version's archive was made
  // from until a run names it.
  Status FromArchive(Database& db);
  // Lists each source's logs; false when stopped.
  bool ListAll(const std::string& mask);
  int64_t LogCount() const;
  // Gives each root its row: the source with its path, else the earlier
  // version's folder when it holds the same logs, else a new source. Tells
  // of a new source inside another or holding one.
  Status Register(Database& db);
  // The logs under a deeper source are that source's alone, so that no log
  // is read twice under two names; and a source holding another person's
  // logs now is told of (see CopyPresence::IsForeign).
  Status Settle(Database& db, CopyPresence& presence);
  // Every log in the run's order, each with its source's id.
  std::vector<LogRef> Logs() const;
  std::vector<ListedSource> Listed() const;
  // Notes each source read whole.
  Status MarkRead(Database& db);
  bool empty() const { return sources_.empty(); }

 private:
  Status Adopt(SourceTable& table, const SourceRow& earlier, RunSource& source, bool* adopted);
  void Tell(Problem::Kind kind, const std::string& path, const std::string& sentence);
  // Tells of source, new, inside another or holding one; added: the ids of
  // every source new in this run.
  void TellNesting(const RunSource& source, const std::vector<SourceRow>& all,
                   const std::vector<int64_t>& added);

  Env& env_;
  RunObserver* observer_;
  const StopFlag stop_;
  ArchiveSummary& summary_;
  std::vector<RunSource> sources_;
};

}  // namespace chatterwick::archive
