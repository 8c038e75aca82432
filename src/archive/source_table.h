#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/log_pieces.h"
#include "core/env.h"
#include "core/status.h"

// The log folders an archive reads, as its source table holds them: the
// SQL of adding, naming, forgetting and marking one read.
namespace chatterwick::archive {

class Database;

struct SourceRow {
  int64_t id = 0;
  // In full, with its final separator; empty for the folder an archive of
  // an earlier version was made from, until a run finds its logs again.
  std::string path;
  std::string name;
  std::string read_at;  // when a run last read it whole (UTC); empty: never
  int64_t logs = 0;     // the logs it held then
};

// The name a new source at path gets: its folder's name ("laptop"), with
// the folder above for the client's own "logs" (".purple/logs").
std::string DefaultSourceName(const std::string& path, char separator);

class SourceTable {
 public:
  explicit SourceTable(Database& db) : db_(db) {}

  // Every source, oldest first; none for an archive of an earlier version.
  Status All(std::vector<SourceRow>* rows);
  // Adds a source at path, named as DefaultSourceName says (with " (2)" and
  // so on when another has that name).
  Status Add(const std::string& path, char separator, SourceRow* row);
  // Gives the source without a path (an earlier version's) this path, and a
  // name as Add would.
  Status Adopt(int64_t id, const std::string& path, char separator, SourceRow* row);
  // Whether the source holds a copy of log at its place, of its size and
  // time: the same file, read before.
  Status HoldsCopy(int64_t id, const LogRef& log, bool* holds);
  // Notes a whole read of the source, with the logs it held.
  Status MarkRead(int64_t id, int64_t logs);
  // InvalidData, saying why, when there is no source "from" or another
  // is called "to".
  Status Rename(const std::string& from, const std::string& to);
  // Forgets the source: its copies go, the conversations and messages stay.
  // *copies: how many copies it held.
  Status Forget(const std::string& name, int64_t* copies);

 private:
  // name, or name with " (2)", " (3)" … when a source has it already.
  Status FreeName(const std::string& name, std::string* free);
  Status Find(const std::string& name, int64_t* id);

  Database& db_;
};

// Renames or forgets a source of the archive at db_path, holding the
// archive's lock as a run does (Busy while a run holds it).
Status RenameSource(Env& env, const std::string& db_path, const std::string& from,
                    const std::string& to);
Status ForgetSource(Env& env, const std::string& db_path, const std::string& name, int64_t* copies);

}  // namespace chatterwick::archive
