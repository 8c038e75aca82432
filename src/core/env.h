#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/status.h"

namespace chatterwick {

// A file opened for reading from its start.
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;
  // Reads up to "n" bytes into "scratch"; *got == 0 means the end of the file.
  virtual Status Read(size_t n, char* scratch, size_t* got) = 0;
};

// A file opened for writing. Writes may be buffered: an error can surface
// only at Close, which must be called to know the bytes reached the file.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual Status Append(std::string_view data) = 0;
  // Writes what is buffered and has the system put it on the disk.
  virtual Status Sync() = 0;
  virtual Status Close() = 0;
};

// Held while it lives; released when destroyed, or when the process ends.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// Who may read and write a file the program creates: as the user's umask
// allows, or its owner alone (what holds chat messages of its own making).
enum class FileAccess { kUmask, kOwnerOnly };

// A file's size and times (in nanoseconds since 1970): when its content last
// changed (which a program may set back) and when anything of it last
// changed (which none may), and the number that names it on its disk.
struct FileStamp {
  uint64_t size = 0;
  int64_t modified = 0, changed = 0;
  uint64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};

// What stands at a path: symbolic links followed, unless the call says
// otherwise (then a link is kLink).
enum class FileKind { kRegular, kFolder, kOther, kLink };

enum class ListKind { kFilesOnly, kFilesAndFolders };

// Everything the core needs from the operating system. Paths are the core's
// own texts: an implementation accepts both "\" and its native separator and
// reads a doubled separator as one.
class Env {
 public:
  virtual ~Env() = default;

  virtual char Separator() const = 0;

  virtual Status NewSequentialFile(const std::string& path,
                                   std::unique_ptr<SequentialFile>* result) = 0;
  // Created when missing; writes go after any existing content.
  virtual Status NewAppendableFile(const std::string& path,
                                   std::unique_ptr<WritableFile>* result) = 0;
  // Created when missing, emptied when present.
  virtual Status NewWritableFile(const std::string& path,
                                 std::unique_ptr<WritableFile>* result) = 0;
  virtual Status GetFileSize(const std::string& path, uint64_t* size) = 0;
  // What tells one state of a file from another without reading it.
  virtual Status GetFileStamp(const std::string& path, FileStamp* stamp) = 0;
  virtual Status DeleteFile(const std::string& path) = 0;
  // Renames "from" to "to", replacing a file at "to" in one step.
  virtual Status RenameFile(const std::string& from, const std::string& to) = 0;
  // Creates each missing folder of path, for its owner alone.
  virtual Status CreateFolders(const std::string& path) = 0;
  // True when the folder at "path" exists and this process may create files in it.
  virtual bool IsWritable(const std::string& path) = 0;
  // A path that does not exist is NotFound.
  virtual Status GetFileKind(const std::string& path, FileKind* kind) = 0;
  // As GetFileKind, but a symbolic link is not followed: it is kLink.
  virtual Status GetEntryKind(const std::string& path, FileKind* kind) = 0;
  // The path with its last part followed through every symbolic link it
  // names, so that the file the link points to can be replaced; the path
  // itself when it is no link. Refused as the system refuses opening it for
  // writing: a dangling link, a link another user placed in a shared sticky
  // folder, an existing file this process may not write.
  virtual Status ResolveLinks(const std::string& path, std::string* resolved) = 0;
  // The existing folder or file at path named in full: from the root, every
  // link, "." and ".." followed. NotFound when nothing is there.
  virtual Status FullPath(const std::string& path, std::string* full) = 0;

  // Creates a new file, never one that exists, named "prefix" followed by a
  // unique ending; *path names it.
  virtual Status NewTempFile(const std::string& prefix, FileAccess access, std::string* path,
                             std::unique_ptr<WritableFile>* result) = 0;
  // True when path names a file NewTempFile made for a process that has
  // since ended (killed before it could remove it); false when unsure.
  virtual bool IsAbandonedTemp(const std::string& path) = 0;
  // Gives the file "to" the permission bits that "from" has.
  virtual Status CopyPermissions(const std::string& from, const std::string& to) = 0;
  // Makes the entries of the folder at "path" (a rename in it) last through a crash.
  virtual Status SyncFolder(const std::string& path) = 0;
  // Takes the exclusive lock on the file at "path", created when missing.
  // Busy, without waiting, when another holds it.
  virtual Status LockFile(const std::string& path, std::unique_ptr<FileLock>* lock) = 0;

  // pattern is a folder path ending in a separator (every entry) or a folder
  // path followed by a name pattern ("*" any run, "?" any one character, ASCII
  // letter case ignored). kFilesOnly yields regular files only; otherwise every
  // entry, "." and ".." included. Names come in case-insensitive order. A
  // folder that does not exist yields no names and OK.
  virtual Status ListFolder(const std::string& pattern, ListKind kind,
                            std::vector<std::string>* names) = 0;

  // Environment variable, by its exact name.
  virtual std::optional<std::string> GetVariable(const std::string& name) = 0;
  // The value that stands for "%appdata%" in a folder text: the variable
  // "appdata" in any letter case, as the window's rule has it.
  virtual std::optional<std::string> AppData() = 0;
  // The folder of the running executable, without a final separator.
  virtual std::string ApplicationFolder() = 0;
};

// The whole content of the file at path into *text.
inline Status ReadFileToString(Env& env, const std::string& path, std::string* text) {
  text->clear();
  std::unique_ptr<SequentialFile> file;
  Status s = env.NewSequentialFile(path, &file);
  std::string buf(s.ok() ? 1 << 16 : 0, '\0');
  for (size_t got = 1; s.ok() && got > 0;) {
    s = file->Read(buf.size(), buf.data(), &got);
    if (s.ok()) text->append(buf.data(), got);
  }
  return s;
}

// Forwards every call, so that a test can override one of them.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  char Separator() const override { return target_->Separator(); }
  Status NewSequentialFile(const std::string& p, std::unique_ptr<SequentialFile>* r) override {
    return target_->NewSequentialFile(p, r);
  }
  Status NewAppendableFile(const std::string& p, std::unique_ptr<WritableFile>* r) override {
    return target_->NewAppendableFile(p, r);
  }
  Status NewWritableFile(const std::string& p, std::unique_ptr<WritableFile>* r) override {
    return target_->NewWritableFile(p, r);
  }
  Status GetFileSize(const std::string& p, uint64_t* s) override {
    return target_->GetFileSize(p, s);
  }
  Status GetFileStamp(const std::string& p, FileStamp* s) override {
    return target_->GetFileStamp(p, s);
  }
  Status DeleteFile(const std::string& p) override { return target_->DeleteFile(p); }
  Status RenameFile(const std::string& f, const std::string& t) override {
    return target_->RenameFile(f, t);
  }
  Status CreateFolders(const std::string& p) override { return target_->CreateFolders(p); }
  bool IsWritable(const std::string& p) override { return target_->IsWritable(p); }
  Status GetFileKind(const std::string& p, FileKind* k) override {
    return target_->GetFileKind(p, k);
  }
  Status GetEntryKind(const std::string& p, FileKind* k) override {
    return target_->GetEntryKind(p, k);
  }
  Status ResolveLinks(const std::string& p, std::string* r) override {
    return target_->ResolveLinks(p, r);
  }
  Status FullPath(const std::string& p, std::string* f) override { return target_->FullPath(p, f); }
  Status NewTempFile(const std::string& p, FileAccess a, std::string* path,
                     std::unique_ptr<WritableFile>* r) override {
    return target_->NewTempFile(p, a, path, r);
  }
  bool IsAbandonedTemp(const std::string& p) override { return target_->IsAbandonedTemp(p); }
  Status CopyPermissions(const std::string& f, const std::string& t) override {
    return target_->CopyPermissions(f, t);
  }
  Status SyncFolder(const std::string& p) override { return target_->SyncFolder(p); }
  Status LockFile(const std::string& p, std::unique_ptr<FileLock>* l) override {
    return target_->LockFile(p, l);
  }
  Status ListFolder(const std::string& p, ListKind k, std::vector<std::string>* n) override {
    return target_->ListFolder(p, k, n);
  }
  std::optional<std::string> GetVariable(const std::string& n) override {
    return target_->GetVariable(n);
  }
  std::optional<std::string> AppData() override { return target_->AppData(); }
  std::string ApplicationFolder() override { return target_->ApplicationFolder(); }

 private:
  Env* target_;
};

}  // namespace chatterwick
