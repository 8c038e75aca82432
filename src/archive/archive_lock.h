#pragma once

#include <memory>
#include <string>

#include "archive/sqlite_db.h"
#include "core/env.h"
#include "core/status.h"

// The one writer of an archive at a time: its lock file beside it, taken
// before the database is opened for writing and held until it is closed.
namespace chatterwick::archive {

struct LockedArchive {
  Database db;
  std::unique_ptr<FileLock> lock;
};

// Takes db_path's lock and opens it for writing, brought to this schema
// (OpenArchiveForWriting). A missing archive is made, for its owner alone,
// when create says so (with its folder, when that is missing too), and
// NotFound otherwise. Busy, with the sentence the
// user reads, when another run holds the lock; then and on any failure
// nothing is changed and no lock file of this call's making is left.
// Makes file empty, for its owner alone, when there is none: a database
// SQLite then takes as new, its journals with the same bits.
Status CreatePrivately(Env& env, const std::string& file);

Status OpenLockedArchive(Env& env, const std::string& db_path, bool create, LockedArchive* out);

}  // namespace chatterwick::archive
