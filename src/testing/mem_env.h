#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/env.h"

namespace chatterwick {

// An Env whose files live in a map, for tests that need no disk. Paths are
// read as the POSIX layer reads them ("\" or "/", runs of separators as one).
class MemEnv : public Env {
 public:
  MemEnv();

  // Creates the file, and every folder above it.
  void PutFile(const std::string& path, std::string contents);
  void PutFolder(const std::string& path);
  // The file's bytes; empty when it does not exist.
  std::string Contents(const std::string& path) const;
  bool Exists(const std::string& path) const;
  void SetVariable(const std::string& name, std::string value) { vars_[name] = std::move(value); }
  void SetApplicationFolder(std::string folder) { app_folder_ = std::move(folder); }
  // Every file in the folder (not below it), by name.
  std::map<std::string, std::string> FilesIn(const std::string& folder) const;
  bool IsLocked(const std::string& path) const { return locked_.count(Key(path)) != 0; }
  // Every path opened for reading, in order. Logs may be opened by several
  // threads at once, the files being only read meanwhile.
  const std::vector<std::string>& reads() const { return reads_; }

  char Separator() const override { return '/'; }
  Status NewSequentialFile(const std::string& path,
                           std::unique_ptr<SequentialFile>* result) override;
  Status NewAppendableFile(const std::string& path, std::unique_ptr<WritableFile>* result) override;
  Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* result) override;
  Status GetFileSize(const std::string& path, uint64_t* size) override;
  // Counts the PutFile calls that made the file what it is.
  Status GetFileStamp(const std::string& path, FileStamp* stamp) override;
  Status DeleteFile(const std::string& path) override;
  Status RenameFile(const std::string& from, const std::string& to) override;
  Status CreateFolders(const std::string& path) override;
  // Every folder may be written but those named here.
  void SetReadOnly(const std::string& folder) { read_only_.insert(Key(folder)); }
  bool IsWritable(const std::string& path) override {
    return folders_.count(Key(path)) != 0 && read_only_.count(Key(path)) == 0;
  }
  Status GetFileKind(const std::string& path, FileKind* kind) override;
  // No links here: the same as GetFileKind.
  Status GetEntryKind(const std::string& path, FileKind* kind) override {
    return GetFileKind(path, kind);
  }
  Status ResolveLinks(const std::string& path, std::string* resolved) override;
  // Paths here are all from the root already, without links.
  Status FullPath(const std::string& path, std::string* full) override;
  Status NewTempFile(const std::string& prefix, FileAccess access, std::string* path,
                     std::unique_ptr<WritableFile>* result) override;
  Status CopyPermissions(const std::string&, const std::string&) override { return Status::OK(); }
  bool IsAbandonedTemp(const std::string&) override { return false; }
  Status SyncFolder(const std::string&) override { return Status::OK(); }
  Status LockFile(const std::string& path, std::unique_ptr<FileLock>* lock) override;
  Status ListFolder(const std::string& pattern, ListKind kind,
                    std::vector<std::string>* names) override;
  std::optional<std::string> GetVariable(const std::string& name) override;
  std::optional<std::string> AppData() override;
  std::string ApplicationFolder() override { return app_folder_; }

 private:
  static std::string Key(const std::string& path);
  Status OpenForWriting(const std::string& path, bool truncate,
                        std::unique_ptr<WritableFile>* result);

  std::map<std::string, std::string> files_;
  std::set<std::string> folders_;
  std::map<std::string, std::string> vars_;
  std::string app_folder_ = "/app";
  std::mutex reads_mu_;
  std::vector<std::string> reads_;
  std::set<std::string> locked_;
  std::set<std::string> read_only_;
  std::map<std::string, int64_t> mtimes_;
  int64_t puts_ = 0;
  int temp_counter_ = 0;
};

}  // namespace chatterwick
