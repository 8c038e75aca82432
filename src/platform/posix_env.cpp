#include "platform/posix_env.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/name_pattern.h"
#include "platform/listing.h"

extern char** environ;

namespace chatterwick {

namespace {

using listing::ToPosixPath;

Status ErrnoStatus(int err) {
  std::string msg = std::strerror(err);
  if (err == ENOENT) return Status::NotFound(msg);
  return Status::IOError(msg);
}

FileKind KindOf(const struct stat& st) {
  return S_ISREG(st.st_mode)   ? FileKind::kRegular
         : S_ISDIR(st.st_mode) ? FileKind::kFolder
         : S_ISLNK(st.st_mode) ? FileKind::kLink
                               : FileKind::kOther;
}

class PosixSequentialFile : public SequentialFile {
 public:
  explicit PosixSequentialFile(int fd) : fd_(fd) {}
  ~PosixSequentialFile() override { ::close(fd_); }

  Status Read(size_t n, char* scratch, size_t* got) override {
    for (;;) {
      ssize_t r = ::read(fd_, scratch, n);
      if (r >= 0) {
        *got = static_cast<size_t>(r);
        return Status::OK();
      }
      if (errno != EINTR) {
        *got = 0;
        return ErrnoStatus(errno);
      }
    }
  }

 private:
  int fd_;
};

class PosixWritableFile : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) Close().IgnoreError();  // a caller that wants the outcome closes first
  }

  Status Append(std::string_view data) override {
    if (!status_.ok()) return status_;
    if (buf_.size() + data.size() > kBuffer) {
      Flush();
      if (data.size() > kBuffer) {
        WriteAll(data);
        return status_;
      }
    }
    buf_.append(data);
    return status_;
  }

  Status Sync() override {
    if (fd_ < 0) return status_;
    Flush();
    if (status_.ok() && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
      status_ = ErrnoStatus(errno);  // a pipe or a device cannot sync and needs not
    return status_;
  }

  Status Close() override {
    if (fd_ < 0) return status_;
    Flush();
    if (::close(fd_) != 0 && status_.ok()) status_ = ErrnoStatus(errno);
    fd_ = -1;
    return status_;
  }

 private:
  static constexpr size_t kBuffer = 1 << 16;

  void Flush() {
    WriteAll(buf_);
    buf_.clear();
  }

  void WriteAll(std::string_view data) {
    while (status_.ok() && !data.empty()) {
      ssize_t w = ::write(fd_, data.data(), data.size());
      if (w < 0) {
        if (errno == EINTR) continue;
        status_ = ErrnoStatus(errno);
        return;
      }
      data.remove_prefix(static_cast<size_t>(w));
    }
  }

  int fd_;
  std::string buf_;
  Status status_;
};

class PosixFileLock : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override { ::close(fd_); }  // closing the file releases its flock

 private:
  int fd_;
};

// The folder part of a native path, "." when it has none.
std::string NativeFolderOf(const std::string& native) {
  size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : native.substr(0, slash);
}

// The kernel's rule for links in shared sticky folders such as /tmp, which
// following a link by hand would otherwise bypass: only the link's owner, or
// a link the folder's owner made, may be followed there.
bool MayFollow(const std::string& link, const struct stat& link_st) {
  struct stat folder;
  if (::stat(NativeFolderOf(link).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || link_st.st_uid == ::geteuid() || link_st.st_uid == folder.st_uid;
}

Status OpenForWriting(const std::string& path, int flags, std::unique_ptr<WritableFile>* result) {
  std::string native = ToPosixPath(path);
  int fd = ::open(native.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return ErrnoStatus(errno);
  result->reset(new PosixWritableFile(fd));
  return Status::OK();
}

class PosixEnvImpl : public Env {
 public:
  char Separator() const override { return '/'; }

  Status NewSequentialFile(const std::string& path,
                           std::unique_ptr<SequentialFile>* result) override {
    std::string native = ToPosixPath(path);
    // Non-blocking open, so that a named pipe cannot stall the program.
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ErrnoStatus(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      int err = errno;
      ::close(fd);
      return ErrnoStatus(err);
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      if (S_ISDIR(st.st_mode)) return ErrnoStatus(EISDIR);
      return Status::IOError("not a regular file");
    }
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    result->reset(new PosixSequentialFile(fd));
    return Status::OK();
  }

  Status NewAppendableFile(const std::string& path,
                           std::unique_ptr<WritableFile>* result) override {
    return OpenForWriting(path, O_APPEND, result);
  }

  Status NewWritableFile(const std::string& path, std::unique_ptr<WritableFile>* result) override {
    return OpenForWriting(path, O_TRUNC, result);
  }

  Status GetFileSize(const std::string& path, uint64_t* size) override {
    struct stat st;
    if (::stat(ToPosixPath(path).c_str(), &st) != 0) return ErrnoStatus(errno);
    *size = static_cast<uint64_t>(st.st_size);
    return Status::OK();
  }

  Status GetFileStamp(const std::string& path, FileStamp* stamp) override {
    struct stat st;
    if (::stat(ToPosixPath(path).c_str(), &st) != 0) return ErrnoStatus(errno);
    stamp->size = static_cast<uint64_t>(st.st_size);
    stamp->modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp->changed = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp->inode = static_cast<uint64_t>(st.st_ino);
    return Status::OK();
  }

  Status DeleteFile(const std::string& path) override {
    if (::unlink(ToPosixPath(path).c_str()) != 0) return ErrnoStatus(errno);
    return Status::OK();
  }

  Status RenameFile(const std::string& from, const std::string& to) override {
    if (::rename(ToPosixPath(from).c_str(), ToPosixPath(to).c_str()) != 0)
      return ErrnoStatus(errno);
    return Status::OK();
  }

  Status CreateFolders(const std::string& path) override {
    std::string native = ToPosixPath(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    // The deepest folder first: most often only it is missing, or none is.
    if (::mkdir(native.c_str(), 0700) != 0 && errno != EEXIST) {
      if (errno != ENOENT) return ErrnoStatus(errno);
      for (size_t i = 1; i <= native.size(); ++i) {
        if (i != native.size() && native[i] != '/') continue;
        std::string part = native.substr(0, i);
        // Chat logs are private: a folder made for what the program writes is its owner's.
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return ErrnoStatus(errno);
      }
    }
    FileKind kind = FileKind::kOther;
    Status s = GetFileKind(path, &kind);
    if (s.ok() && kind != FileKind::kFolder) return ErrnoStatus(ENOTDIR);
    return s;
  }

  bool IsWritable(const std::string& path) override {
    return ::access(ToPosixPath(path).c_str(), W_OK | X_OK) == 0;
  }

  Status GetFileKind(const std::string& path, FileKind* kind) override {
    struct stat st;
    if (::stat(ToPosixPath(path).c_str(), &st) != 0) return ErrnoStatus(errno);
    *kind = KindOf(st);
    return Status::OK();
  }

  Status GetEntryKind(const std::string& path, FileKind* kind) override {
    struct stat st;
    if (::lstat(ToPosixPath(path).c_str(), &st) != 0) return ErrnoStatus(errno);
    *kind = KindOf(st);
    return Status::OK();
  }

  Status ResolveLinks(const std::string& path, std::string* resolved) override {
    std::string native = ToPosixPath(path);
    // As many as the system itself follows before it calls a chain a loop.
    for (int hops = 0; hops < 40; ++hops) {
      struct stat st;
      if (::lstat(native.c_str(), &st) != 0) {
        if (errno == ENOENT && hops > 0)
          return Status::IOError("not writing through a dangling symbolic link");
        *resolved = native;
        return Status::OK();
      }
      if (!S_ISLNK(st.st_mode)) {
        // Renaming over a file would replace one this process may not write.
        if (S_ISREG(st.st_mode) && ::access(native.c_str(), W_OK) != 0) return ErrnoStatus(errno);
        *resolved = native;
        return Status::OK();
      }
      if (!MayFollow(native, st))
        return Status::IOError(
            "Permission denied: a link in a shared folder, placed there by another user");
      std::string target(4096, '\0');
      ssize_t n = ::readlink(native.c_str(), target.data(), target.size());
      if (n < 0) return ErrnoStatus(errno);
      if (static_cast<size_t>(n) >= target.size()) return ErrnoStatus(ENAMETOOLONG);
      target.resize(static_cast<size_t>(n));
      native = target[0] == '/' ? target : NativeFolderOf(native) + "/" + target;
    }
    return ErrnoStatus(ELOOP);
  }

  Status FullPath(const std::string& path, std::string* full) override {
    char* resolved = ::realpath(ToPosixPath(path).c_str(), nullptr);
    if (!resolved) return ErrnoStatus(errno);
    *full = resolved;
    std::free(resolved);
    return Status::OK();
  }

  Status NewTempFile(const std::string& prefix, FileAccess access, std::string* path,
                     std::unique_ptr<WritableFile>* result) override {
    // Files are made on several threads at once (an export's folders).
    static std::atomic<unsigned> counter{0};
    static const long pid = static_cast<long>(::getpid());
    const std::string native = ToPosixPath(prefix);
    for (int attempt = 0; attempt < 100; ++attempt) {
      // Unique among living processes; a dead one's leftover only costs a retry.
      char ending[48];
      std::snprintf(ending, sizeof ending, "%ld-%u", pid, ++counter);
      std::string candidate = native + ending;
      // 0666 as any new file, so that the user's umask decides, unless the
      // file is its owner's alone.
      const mode_t mode = access == FileAccess::kOwnerOnly ? 0600 : 0666;
      int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return ErrnoStatus(errno);
      }
      *path = std::move(candidate);
      result->reset(new PosixWritableFile(fd));
      return Status::OK();
    }
    return ErrnoStatus(EEXIST);
  }

  bool IsAbandonedTemp(const std::string& path) override {
    // The ending NewTempFile gives: the process id, "-", a counter.
    const size_t dash = path.rfind('-');
    if (dash == std::string::npos || dash + 1 == path.size()) return false;
    size_t start = dash;
    while (start > 0 && path[start - 1] >= '0' && path[start - 1] <= '9') --start;
    if (start == dash || dash - start > 9) return false;
    for (size_t i = dash + 1; i < path.size(); ++i)
      if (path[i] < '0' || path[i] > '9') return false;
    const long pid = std::strtol(path.c_str() + start, nullptr, 10);
    if (pid <= 0 || pid == static_cast<long>(::getpid())) return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
  }

  Status CopyPermissions(const std::string& from, const std::string& to) override {
    struct stat st;
    if (::stat(ToPosixPath(from).c_str(), &st) != 0) return ErrnoStatus(errno);
    if (::chmod(ToPosixPath(to).c_str(), st.st_mode & 07777) != 0) return ErrnoStatus(errno);
    return Status::OK();
  }

  Status SyncFolder(const std::string& path) override {
    int fd = ::open(ToPosixPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrnoStatus(errno);
    Status s;
    if (::fsync(fd) != 0 && errno != EINVAL) s = ErrnoStatus(errno);
    ::close(fd);
    return s;
  }

  Status LockFile(const std::string& path, std::unique_ptr<FileLock>* lock) override {
    const std::string native = ToPosixPath(path);
    // A run that removes its lock file does so holding the lock; one that
    // opened the file before the removal then holds a lock nobody else
    // sees, so it takes the lock again on the file now at the path.
    for (int attempt = 0; attempt < 100; ++attempt) {
      int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
      if (fd < 0) return ErrnoStatus(errno);
      while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return Status::Busy("held by another run");
        return ErrnoStatus(err);
      }
      struct stat held, named;
      if (::fstat(fd, &held) == 0 && ::stat(native.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        lock->reset(new PosixFileLock(fd));
        return Status::OK();
      }
      ::close(fd);
    }
    return Status::Busy("held by another run");
  }

  Status ListFolder(const std::string& pattern, ListKind kind,
                    std::vector<std::string>* names) override {
    names->clear();
    if (pattern.empty()) return Status::OK();  // no folder named, nothing to list
    std::string folder, name_pattern;
    listing::SplitPattern(pattern, &folder, &name_pattern);
    std::string native = ToPosixPath(folder.empty() ? std::string("./") : folder);
    DIR* dir = ::opendir(native.c_str());
    if (!dir) {
      if (errno == ENOENT || errno == ENOTDIR) return Status::OK();
      return ErrnoStatus(errno);
    }
    int dfd = ::dirfd(dir);
    for (;;) {
      errno = 0;  // readdir reports an error only through errno
      struct dirent* ent = ::readdir(dir);
      if (!ent) break;
      std::string name = ent->d_name;
      if (!name_pattern.empty() && !MatchName(name_pattern, name)) continue;
      // An entry the folder itself says is a plain file (not a link) needs no
      // look of its own: a tree of many logs is listed without a stat each.
      if (kind == ListKind::kFilesOnly && ent->d_type != DT_REG) {
        struct stat st;
        // Follows links. Pipes, sockets, devices and folders are no log files;
        // an entry that cannot be examined stays, so that opening it reports why.
        if (::fstatat(dfd, name.c_str(), &st, 0) == 0 && !S_ISREG(st.st_mode)) continue;
      }
      names->push_back(std::move(name));
    }
    int err = errno;
    ::closedir(dir);
    if (err != 0) return ErrnoStatus(err);
    listing::SortNames(names);
    return Status::OK();
  }

  std::optional<std::string> GetVariable(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
  }

  // The chat client keeps its logs in the home folder here, where no
  // application-data variable is usually set.
  std::optional<std::string> AppData() override {
    for (char** e = environ; e && *e; ++e) {
      const char* eq = std::strchr(*e, '=');
      if (eq && eq - *e == 7 && ::strncasecmp(*e, "appdata", 7) == 0) return std::string(eq + 1);
    }
    const char* home = std::getenv("HOME");
    if (home) return std::string(home);
    return std::nullopt;
  }

  std::string ApplicationFolder() override {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0) return ".";
    buf.resize(static_cast<size_t>(n));
    size_t slash = buf.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string() : buf.substr(0, slash);
  }
};

}  // namespace

Env* PosixEnv() {
  static PosixEnvImpl env;
  return &env;
}

}  // namespace chatterwick
