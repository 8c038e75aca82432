#include "archive/archive_lock.h"

#include "archive/schema.h"
#include "core/path.h"
#include "core/safe_file.h"

namespace chatterwick::archive {

Status CreatePrivately(Env& env, const std::string& file) {
  FileKind kind = FileKind::kOther;
  Status s = env.GetFileKind(file, &kind);
  if (!s.IsNotFound()) return Status::OK();
  // Made empty (SQLite reads an empty file as an empty database) for its
  // owner alone: SQLite would follow the umask, and gives its journal files
  // the database's own bits.
  ReplacementSet made(env, FileAccess::kOwnerOnly);
  size_t index = 0;
  s = made.Add(file, TempPrefixFor(file, env.Separator()), &index);
  std::string failed;
  return s.ok() ? made.Commit(path::FolderOf(file, env.Separator()), &failed) : s;
}

Status OpenLockedArchive(Env& env, const std::string& db_path, bool create, LockedArchive* out) {
  // The lock and the database are those of the file itself, however a link
  // names it, so that two runs never take two locks on one database.
  std::string file;
  Status s = env.ResolveLinks(db_path, &file);
  FileKind kind = FileKind::kOther;
  if (s.ok() && !create && env.GetFileKind(file, &kind).IsNotFound())
    return Status::NotFound("there is no archive " + db_path);
  // A first archive in a data folder not made yet (a new home folder): the
  // folder is made as the file is, for its owner alone.
  const std::string folder = path::FolderOf(file, env.Separator());
  FileKind folder_kind = FileKind::kOther;
  if (s.ok() && create && !folder.empty() &&
      !(env.GetFileKind(folder, &folder_kind).ok() && folder_kind == FileKind::kFolder)) {
    s = env.CreateFolders(folder);
    if (!s.ok())
      return Status::IOError("the folder " + folder + " could not be made: " + s.message());
  }
  const std::string lock_path = file + ".lock";
  const bool lock_made = s.ok() && env.GetFileKind(lock_path, &kind).IsNotFound();
  if (s.ok()) s = env.LockFile(lock_path, &out->lock);
  if (s.IsBusy())
    return Status::Busy("Another run is updating " + db_path +
                        "; nothing was changed. Try again when it has finished.");
  if (s.ok() && create) s = CreatePrivately(env, file);
  if (s.ok()) s = OpenArchiveForWriting(out->db, file);
  if (s.ok()) return s;
  // A refused run leaves no lock file of its own making behind.
  if (out->lock && lock_made) env.DeleteFile(lock_path).IgnoreError();
  out->lock.reset();
  return s;
}

}  // namespace chatterwick::archive
