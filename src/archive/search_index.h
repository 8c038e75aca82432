#pragma once

#include <cstdint>
#include <string>

#include "archive/sqlite_db.h"
#include "core/status.h"
#include "core/stop_flag.h"

// The archive's full-text index, in a file of its own beside the archive,
// so that a run builds it on a second thread while the first stores
// messages: SQLite lets one writer into a file at a time. The index is
// contentless: it keeps the words, and the archive the texts.
//
// It names its archive by the token in the archive's search_index row, and
// records, in the transaction that adds their words, the last message id it
// holds (ids only grow) and the last change of the archive's index_change
// it took. So a stop or a kill at any point leaves it whole, and the next
// run goes on from there. Readers attach it (AttachSearchIndex).
namespace chatterwick::archive {

// The index file of the archive at archive_path.
std::string SearchIndexPath(const std::string& archive_path);

class SearchIndex {
 public:
  // Opens the index of the archive at archive_path (at kSchemaVersion) for
  // writing: made anew when missing, another archive's, or ahead of the
  // archive. A file there that is no index of this program's is refused and
  // kept. Statements fail soon after stop is requested.
  Status Open(const std::string& archive_path, StopFlag stop);
  // Takes the changes the archive logged, then adds every message through
  // id "through" (committed), a slice at a time, each committed; a stop ends
  // it between slices (*stopped).
  Status CatchUp(int64_t through, bool* stopped);
  // The last message id the archive has committed.
  Status ArchiveEnd(int64_t* through);
  // The merges held while the index was built from nothing; a stop ends
  // them between steps (*stopped), and the next run goes on.
  Status Merge(bool* stopped);
  // The last change of the archive's index_change the index has taken.
  int64_t changes_taken() const { return changes_taken_; }

 private:
  Status Remake(const std::string& token);
  Status TakeChanges();
  Status AddSlice(int64_t last);

  Database db_;
  StopFlag stop_;
  int64_t indexed_through_ = 0, changes_taken_ = 0;
  bool merges_held_ = false;
};

// Forgets the archive's changes the index has taken (through "taken"): a
// step of the archive's writer.
Status ForgetTakenChanges(Database& archive, int64_t taken);

// Attaches the index of the archive at archive_path to db (a reader's
// connection) as "search", when the file is there: *attached says whether.
Status AttachSearchIndex(Database& db, const std::string& archive_path, bool* attached);

}  // namespace chatterwick::archive
