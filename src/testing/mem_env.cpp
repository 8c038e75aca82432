#include "testing/mem_env.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "core/name_pattern.h"
#include "platform/listing.h"

namespace chatterwick {

namespace {

class MemSequentialFile : public SequentialFile {
 public:
  explicit MemSequentialFile(std::string data) : data_(std::move(data)) {}
  Status Read(size_t n, char* scratch, size_t* got) override {
    *got = std::min(n, data_.size() - pos_);
    std::memcpy(scratch, data_.data() + pos_, *got);
    pos_ += *got;
    return Status::OK();
  }

 private:
  std::string data_;
  size_t pos_ = 0;
};

class MemWritableFile : public WritableFile {
 public:
  explicit MemWritableFile(std::string* target) : target_(target) {}
  Status Append(std::string_view data) override {
    target_->append(data);
    return Status::OK();
  }
  Status Sync() override { return Status::OK(); }
  Status Close() override { return Status::OK(); }

 private:
  std::string* target_;
};

std::string Parent(const std::string& key) {
  size_t slash = key.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : key.substr(0, slash);
}

}  // namespace

MemEnv::MemEnv() { folders_.insert("/"); }

std::string MemEnv::Key(const std::string& path) {
  std::string key = listing::ToPosixPath(path);
  if (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

void MemEnv::PutFolder(const std::string& path) {
  for (std::string key = Key(path); folders_.insert(key).second; key = Parent(key)) {
  }
}

void MemEnv::PutFile(const std::string& path, std::string contents) {
  std::string key = Key(path);
  PutFolder(Parent(key));
  files_[key] = std::move(contents);
  mtimes_[key] = ++puts_;
}

Status MemEnv::GetFileStamp(const std::string& path, FileStamp* stamp) {
  std::string key = Key(path);
  auto it = files_.find(key);
  if (it == files_.end()) return Status::NotFound("No such file or directory");
  stamp->size = it->second.size();
  stamp->modified = stamp->changed = mtimes_.count(key) ? mtimes_[key] : 0;
  stamp->inode = std::hash<std::string>()(key);
  return Status::OK();
}

std::string MemEnv::Contents(const std::string& path) const {
  auto it = files_.find(Key(path));
  return it == files_.end() ? std::string() : it->second;
}

bool MemEnv::Exists(const std::string& path) const { return files_.count(Key(path)) != 0; }

Status MemEnv::NewSequentialFile(const std::string& path, std::unique_ptr<SequentialFile>* result) {
  {
    std::lock_guard<std::mutex> lock(reads_mu_);
    reads_.push_back(path);
  }
  auto it = files_.find(Key(path));
  if (it == files_.end()) return Status::NotFound("No such file or directory");
  result->reset(new MemSequentialFile(it->second));
  return Status::OK();
}

Status MemEnv::OpenForWriting(const std::string& path, bool truncate,
                              std::unique_ptr<WritableFile>* result) {
  std::string key = Key(path);
  if (folders_.count(key)) return Status::IOError("Is a directory");
  if (!folders_.count(Parent(key))) return Status::NotFound("No such file or directory");
  std::string& data = files_[key];
  if (truncate) data.clear();
  result->reset(new MemWritableFile(&data));
  return Status::OK();
}

Status MemEnv::NewAppendableFile(const std::string& path, std::unique_ptr<WritableFile>* result) {
  return OpenForWriting(path, false, result);
}

Status MemEnv::NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* result) {
  return OpenForWriting(path, true, result);
}

Status MemEnv::GetFileSize(const std::string& path, uint64_t* size) {
  auto it = files_.find(Key(path));
  if (it == files_.end()) return Status::NotFound("No such file or directory");
  *size = it->second.size();
  return Status::OK();
}

Status MemEnv::DeleteFile(const std::string& path) {
  if (files_.erase(Key(path)) == 0) return Status::NotFound("No such file or directory");
  return Status::OK();
}

Status MemEnv::RenameFile(const std::string& from, const std::string& to) {
  auto it = files_.find(Key(from));
  if (it == files_.end()) return Status::NotFound("No such file or directory");
  if (folders_.count(Key(to))) return Status::IOError("Is a directory");
  std::string data = std::move(it->second);
  files_.erase(it);
  files_[Key(to)] = std::move(data);
  return Status::OK();
}

Status MemEnv::CreateFolders(const std::string& path) {
  if (files_.count(Key(path))) return Status::IOError("Not a directory");
  PutFolder(path);
  return Status::OK();
}

Status MemEnv::GetFileKind(const std::string& path, FileKind* kind) {
  std::string key = Key(path);
  if (folders_.count(key)) *kind = FileKind::kFolder;
  else if (files_.count(key)) *kind = FileKind::kRegular;
  else return Status::NotFound("No such file or directory");
  return Status::OK();
}

Status MemEnv::ResolveLinks(const std::string& path, std::string* resolved) {
  *resolved = path;
  return Status::OK();
}

Status MemEnv::FullPath(const std::string& path, std::string* full) {
  FileKind kind = FileKind::kOther;
  Status s = GetFileKind(path, &kind);
  if (s.ok()) *full = path;
  return s;
}

Status MemEnv::NewTempFile(const std::string& prefix, FileAccess, std::string* path,
                           std::unique_ptr<WritableFile>* result) {
  for (;;) {
    std::string candidate = prefix + std::to_string(++temp_counter_);
    std::string key = Key(candidate);
    if (files_.count(key) || folders_.count(key)) continue;
    Status s = OpenForWriting(candidate, true, result);
    if (s.ok()) *path = candidate;
    return s;
  }
}

namespace {

class MemFileLock : public FileLock {
 public:
  MemFileLock(std::set<std::string>* locked, std::string key)
      : locked_(locked), key_(std::move(key)) {}
  ~MemFileLock() override { locked_->erase(key_); }

 private:
  std::set<std::string>* locked_;
  std::string key_;
};

}  // namespace

Status MemEnv::LockFile(const std::string& path, std::unique_ptr<FileLock>* lock) {
  std::string key = Key(path);
  if (locked_.count(key)) return Status::Busy("held by another run");
  std::unique_ptr<WritableFile> file;
  Status s = OpenForWriting(path, false, &file);
  if (!s.ok()) return s;
  locked_.insert(key);
  lock->reset(new MemFileLock(&locked_, key));
  return Status::OK();
}

std::map<std::string, std::string> MemEnv::FilesIn(const std::string& folder) const {
  std::map<std::string, std::string> found;
  std::string prefix = Key(folder);
  if (prefix != "/") prefix += '/';
  for (const auto& [key, data] : files_)
    if (key.starts_with(prefix) && key.find('/', prefix.size()) == std::string::npos)
      found[key.substr(prefix.size())] = data;
  return found;
}

Status MemEnv::ListFolder(const std::string& pattern, ListKind kind,
                          std::vector<std::string>* names) {
  names->clear();
  if (pattern.empty()) return Status::OK();
  std::string folder, name_pattern;
  listing::SplitPattern(pattern, &folder, &name_pattern);
  std::string dir = Key(folder.empty() ? std::string("/") : folder);
  if (!folders_.count(dir)) return Status::OK();
  std::string prefix = dir == "/" ? dir : dir + "/";
  auto take = [&](const std::string& key) {
    if (key.size() <= prefix.size() || key.compare(0, prefix.size(), prefix) != 0) return;
    std::string name = key.substr(prefix.size());
    if (name.find('/') != std::string::npos) return;
    if (name_pattern.empty() || MatchName(name_pattern, name)) names->push_back(name);
  };
  for (const auto& [key, data] : files_) take(key);
  if (kind == ListKind::kFilesAndFolders) {
    for (const char* dot : {".", ".."})
      if (name_pattern.empty() || MatchName(name_pattern, dot)) names->push_back(dot);
    for (const std::string& key : folders_) take(key);
  }
  listing::SortNames(names);
  return Status::OK();
}

std::optional<std::string> MemEnv::GetVariable(const std::string& name) {
  const auto it = vars_.find(name);
  if (it == vars_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> MemEnv::AppData() {
  for (const auto& [key, value] : vars_)
    if (key.size() == 7 && ::strncasecmp(key.c_str(), "appdata", 7) == 0) return value;
  return std::nullopt;
}

}  // namespace chatterwick
