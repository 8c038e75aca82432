#include "core/safe_file.h"

#include <algorithm>
#include <utility>

#include "core/path.h"
#include "core/text.h"

namespace chatterwick {

std::string TempPrefixFor(const std::string& path, char sep) {
  const size_t name = path::NameStart(path, sep);
  const std::string_view whole = std::string_view(path).substr(name);
  return path.substr(0, name) + "." +
         std::string(whole.substr(0, text::Utf8CutPoint(whole, kTempNameBytes))) + kTempMark;
}

namespace {

Status CopyInto(Env& env, const std::string& from, WritableFile& to) {
  std::unique_ptr<SequentialFile> in;
  Status s = env.NewSequentialFile(from, &in);
  if (!s.ok()) return s;
  std::string buf(1 << 16, '\0');
  for (size_t got = 1; s.ok() && got > 0;) {
    s = in->Read(buf.size(), buf.data(), &got);
    if (s.ok() && got > 0) s = to.Append(std::string_view(buf.data(), got));
  }
  return s;
}

}  // namespace

Status SaveFile(Env& env, const std::string& path, SaveMode mode, const MakeContent& make,
                StopFlag stop) {
  SavingFile file(env, FileAccess::kUmask);
  Status s = file.Open(path, mode);
  if (s.ok()) s = file.Append(make(file.has_content()));
  if (s.ok() && stop.Requested()) s = Status::IOError("stopped");
  return s.ok() ? file.Commit() : s;
}

SavingFile::SavingFile(Env& env, FileAccess access) : env_(env), access_(access) {}

SavingFile::~SavingFile() {
  if (in_place_) in_place_->Close().IgnoreError();
}

Status SavingFile::Open(const std::string& path, SaveMode mode) {
  Status s = env_.ResolveLinks(path, &target_);
  if (!s.ok()) return s;
  FileKind kind = FileKind::kRegular;
  s = env_.GetFileKind(target_, &kind);
  const bool exists = s.ok();
  if (!exists && !s.IsNotFound()) return s;
  if (exists && kind == FileKind::kFolder) return Status::IOError("Is a directory");
  // Renaming over a pipe or a device would put a plain file in its place.
  if (exists && kind == FileKind::kOther)
    return mode == SaveMode::kAppend ? env_.NewAppendableFile(target_, &in_place_)
                                     : env_.NewWritableFile(target_, &in_place_);
  uint64_t old_size = 0;
  if (exists && mode == SaveMode::kAppend) {
    s = env_.GetFileSize(target_, &old_size);
    if (!s.ok()) return s;
  }
  const char sep = env_.Separator();
  const std::string prefix = TempPrefixFor(target_, sep);
  RemoveAbandonedTemps(env_, path::FolderOf(target_, sep), prefix.substr(path::NameStart(prefix, sep)));
  set_ = std::make_unique<ReplacementSet>(env_, access_);
  s = set_->Add(target_, prefix, &index_);
  has_content_ = s.ok() && old_size > 0;
  return has_content_ ? CopyInto(env_, target_, set_->file(index_)) : s;
}

Status SavingFile::Append(std::string_view data) {
  return in_place_ ? in_place_->Append(data) : set_->file(index_).Append(data);
}

Status SavingFile::Commit() {
  if (in_place_) {
    Status s = in_place_->Close();
    in_place_.reset();
    return s;
  }
  std::string failed;
  return set_->Commit(path::FolderOf(target_, env_.Separator()), &failed);
}

ReplacementSet::~ReplacementSet() {
  // Once the record is written, the next run completes the set from these.
  if (recorded_) return;
  for (Entry& e : entries_) {
    if (e.renamed) continue;
    if (e.file) e.file->Close().IgnoreError();
    e.file.reset();
    env_.DeleteFile(e.temp).IgnoreError();
  }
}

Status ReplacementSet::Add(const std::string& target, const std::string& temp_prefix,
                           size_t* index) {
  Entry e;
  e.target = target;
  Status s = env_.NewTempFile(temp_prefix, access_, &e.temp, &e.file);
  if (!s.ok()) return s;
  // A file replaced keeps who may read it: a chmod of the user's survives.
  if (access_ == FileAccess::kUmask) {
    Status copied = env_.CopyPermissions(target, e.temp);
    if (!copied.ok() && !copied.IsNotFound()) {
      env_.DeleteFile(e.temp).IgnoreError();
      return copied;
    }
  }
  entries_.push_back(std::move(e));
  *index = entries_.size() - 1;
  return Status::OK();
}

Status ReplacementSet::Commit(const std::string& folder, std::string* failed,
                              const std::string& record) {
  for (Entry& e : entries_) {
    Status s = e.file->Sync();
    Status closed = e.file->Close();
    if (s.ok()) s = closed;
    if (!s.ok()) {
      *failed = e.target;
      return s;
    }
  }
  if (!record.empty()) {
    const char sep = env_.Separator();
    std::string text;
    for (const Entry& e : entries_)
      text += e.temp.substr(path::NameStart(e.temp, sep)) + '\t' +
              e.target.substr(path::NameStart(e.target, sep)) + '\n';
    Status s = SaveFile(env_, record, SaveMode::kReplace, [&](bool) { return text; });
    if (!s.ok()) {
      *failed = record;
      return s;
    }
    recorded_ = true;
  }
  for (Entry& e : entries_) {
    Status s = env_.RenameFile(e.temp, e.target);
    if (!s.ok()) {
      *failed = e.target;
      return s;
    }
    e.renamed = true;
  }
  // The renames are done; a folder that cannot be synced only loses them to
  // a crash of the whole system.
  env_.SyncFolder(folder.empty() ? std::string(".") : folder).IgnoreError();
  if (recorded_) {
    env_.DeleteFile(record).IgnoreError();  // left behind, it only repeats what is done
    recorded_ = false;
  }
  return Status::OK();
}

void RemoveAbandonedTemps(Env& env, const std::string& folder, const std::string& name_prefix) {
  std::vector<std::string> names;
  if (!env.ListFolder((folder.empty() ? "./" : folder) + name_prefix + "*", ListKind::kFilesOnly,
                      &names)
           .ok())
    return;
  for (const std::string& name : names)
    if (env.IsAbandonedTemp(folder + name)) env.DeleteFile(folder + name).IgnoreError();
}

namespace {

// A name of the folder itself: no separator of any platform, not "." or "..".
bool PlainName(const std::string& name, char sep) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\") + sep + '\0') == std::string::npos;
}

// The record's renames, each checked against rule; InvalidData names the first that is not.
Status ReadRecord(const std::string& text, const RecordRule& rule, char sep,
                  std::vector<std::pair<std::string, std::string>>* renames) {
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    const std::string temp = line.substr(0, tab), target = tab == std::string::npos ? "" : line.substr(tab + 1);
    const bool known = std::find(rule.targets.begin(), rule.targets.end(), target) != rule.targets.end();
    if (!known || !PlainName(temp, sep) || !temp.starts_with(rule.temp_prefix + target + "."))
      return Status::InvalidData("it names " + line);
    renames->emplace_back(temp, target);
  }
  return Status::OK();
}

}  // namespace

Status CompleteReplacement(Env& env, const std::string& folder, const std::string& record,
                           const RecordRule& rule) {
  FileKind kind = FileKind::kOther;
  if (env.GetFileKind(record, &kind).IsNotFound()) return Status::OK();
  std::string text;
  Status s = ReadFileToString(env, record, &text);
  std::vector<std::pair<std::string, std::string>> renames;
  if (s.ok()) s = ReadRecord(text, rule, env.Separator(), &renames);
  if (!s.ok()) return s;
  for (const auto& [temp, target] : renames) {
    // A temporary file already renamed is gone: its target is new already.
    if (!env.GetFileKind(folder + temp, &kind).ok()) continue;
    s = env.RenameFile(folder + temp, folder + target);
    if (!s.ok()) return s;
  }
  env.SyncFolder(folder.empty() ? std::string(".") : folder).IgnoreError();
  return env.DeleteFile(record);
}

}  // namespace chatterwick
