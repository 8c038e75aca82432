#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <set>
#include <tuple>

#include "archive/export.h"
#include "archive/export_index.h"
#include "archive/export_manifest.h"
#include "archive/export_selection.h"
#include "archive/file_batches.h"
#include "archive/names.h"
#include "core/messages.h"
#include "core/path.h"
#include "core/safe_file.h"

namespace chatterwick::archive {

namespace {

using nlohmann::json;

// What the manifest keeps of the options: a later run with other options
// rewrites every file.
std::string OptionsKey(const ArchiveExportOptions& o) {
  const SearchOptions& s = o.selection;
  const TranslatedQuery& q = s.query;
  json groups = json::array();
  for (const auto& group : q.groups) {
    json g = json::array();
    for (const QueryTerm& t : group) g.push_back({t.substring, t.text});
    groups.push_back(g);
  }
  return json{{"format", ExportExtension(o.format)},
              {"only_matching", o.only_matching},
              {"conversations", o.conversations},
              {"spreadsheet_safe", o.spreadsheet_safe},
              {"match", q.match},
              {"exclude", q.exclude},
              {"lacks", q.lacks},
              {"groups", groups},
              {"protocol", s.protocol},
              {"account", s.account},
              {"contact", s.contact},
              {"sender", s.sender},
              {"from", s.from},
              {"to", s.to}}
      .dump(-1, ' ', false, json::error_handler_t::replace);
}

// A short name for a text, the same on every machine (FNV-1a, 64 bits).
std::string Fingerprint(const std::string& text) {
  uint64_t h = 14695981039346656037u;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211u;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

// One export into a folder, in steps: open what is selected, then for each
// conversation find its file's place and either keep the file written
// before or make it anew, then settle the files in flight, remove what is
// no longer selected and record what the folder holds.
class FolderExport {
 public:
  FolderExport(Env& env, std::string dir, const ArchiveExportOptions& options,
               RunObserver* observer, StopFlag stop);
  ArchiveExportResult Run(const std::string& db_path);

 private:
  Status Open(const std::string& db_path);
  Status Lock();
  void ReadEarlierManifest();
  // The selection's order, a contact's conversations together: one sync of
  // the folder for all of them.
  std::vector<size_t> ByContact() const;
  Status ExportOne(int64_t id);
  // The file's place, " (2)" and on added where another of this run has it
  // (as a case-insensitive file system sees names).
  std::string FreePlace(std::string relative);
  // Nothing on the way from the folder to relative's file is a link.
  bool PlainWay(const std::string& relative, std::string* link);
  // The file written before for this conversation, when it is still in
  // place as it was put, under these options.
  bool StillCurrent(const std::string& relative, int64_t id, const ConversationInfo& c);
  // Makes the file; false with *write_failed when this file could not be
  // written (told and counted), a failure otherwise of the run.
  Status MakeFile(const std::string& relative, ConversationInfo& c, int64_t* count,
                  bool* write_failed);
  // Notes the places about to take files, before they do: a run killed
  // before its manifest leaves them for the next run, which does not trust them.
  void Journal(const std::vector<std::string>& places);
  void Written(const std::string& relative, ManifestEntry entry, const std::string& target);
  void NotWritten(const std::string& path, const Status& why, int64_t files, int64_t messages);
  void RemoveUnselected();
  // An HTML export's index of every file the folder holds now.
  void WriteIndex();

  Env& env_;
  const std::string dir_;
  const ArchiveExportOptions& options_;
  RunObserver* observer_;
  const StopFlag stop_;
  const char sep_;
  const std::string options_key_, options_print_;
  ArchiveExportResult result_;
  std::unique_ptr<FileLock> lock_;
  std::unique_ptr<ArchiveReader> reader_;
  Selection selection_;
  Manifest before_, after_;
  // Every place this run has given a file, folded as a file system may fold it.
  std::set<std::string> places_;
  std::unique_ptr<ExportWriter> writer_;
  std::vector<MessageRow> page_;
  // Of an HTML file made and not yet in place: what its manifest entry
  // keeps for the index.
  std::map<std::string, SentSpan> sent_;
  std::unique_ptr<WritableFile> journal_;
  FileBatches batches_;
};

FolderExport::FolderExport(Env& env, std::string dir, const ArchiveExportOptions& options,
                           RunObserver* observer, StopFlag stop)
    : env_(env),
      dir_(std::move(dir)),
      options_(options),
      observer_(observer),
      stop_(stop),
      sep_(env.Separator()),
      options_key_(OptionsKey(options)),
      options_print_(Fingerprint(options_key_)),
      writer_(MakeExportWriter(options.format, options.spreadsheet_safe)),
      batches_(
          env,
          [this](const std::vector<MadeFile>& files) {
            std::vector<std::string> places;
            for (const MadeFile& f : files) places.push_back(f.relative);
            Journal(places);
          },
          [this](MadeFile& f) {
            Written(f.relative, {f.entry.first, std::move(f.entry.second), options_print_, {}, {}},
                    f.target);
          },
          [this](const std::string& path, const Status& why, const std::vector<MadeFile>& files) {
            int64_t messages = 0;
            for (const MadeFile& f : files) messages += f.messages;
            NotWritten(path, why, static_cast<int64_t>(files.size()), messages);
          }) {}

Status FolderExport::Open(const std::string& db_path) {
  Status s = OpenSelection(db_path, options_, &reader_, &selection_, stop_);
  if (!s.ok()) return s;
  result_.summary.passed_over = selection_.outside;
  s = env_.CreateFolders(dir_);
  if (!s.ok()) return Status::IOError(WriteFailureMessage(dir_, s));
  s = Lock();
  if (!s.ok()) return s;
  ReadEarlierManifest();
  after_.options = options_key_;
  if (observer_) observer_->OnTotal(static_cast<int64_t>(selection_.conversations.size()), 0);
  return s;
}

Status FolderExport::Lock() {
  Status s = env_.LockFile(dir_ + kExportLock, &lock_);
  if (s.IsBusy())
    return Status::Busy("Another export is writing into " + dir_ +
                        "; nothing was changed. Try again when it has finished.");
  return s.ok() ? s : Status::IOError(WriteFailureMessage(dir_ + kExportLock, s));
}

void FolderExport::ReadEarlierManifest() {
  std::vector<std::string> passed_over;
  auto place_ok = [this](const std::string& relative) { return IsExportPlace(relative, sep_); };
  before_ = ReadManifest(env_, dir_ + kExportManifest, place_ok, &passed_over);
  // Files a killed run put in place without a manifest to say so: known
  // now, and trusted never (no stamp), so that they are rewritten or removed.
  for (const std::string& place : ReadJournal(env_, dir_ + kExportJournal)) {
    if (place_ok(place)) before_.files.try_emplace(place);
    else passed_over.push_back(place);
  }
  // Named, so that whoever planted them knows they did nothing.
  for (const std::string& name : passed_over)
    if (observer_)
      observer_->OnProblem(
          {Problem::Kind::kPassedOver, dir_ + kExportManifest,
           Status::InvalidData("Passed over \"" + name + "\" in " + dir_ + kExportManifest +
                               ": not a place of this export's files, so nothing there is "
                               "removed or replaced.")});
}

std::vector<size_t> FolderExport::ByContact() const {
  std::vector<size_t> order(selection_.conversations.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return selection_.contacts[a] < selection_.contacts[b];
  });
  return order;
}

std::string FolderExport::FreePlace(std::string relative) {
  for (int n = 2; places_.count(FoldForFileSystem(relative)); ++n) {
    const size_t dot = relative.rfind('.');
    relative = relative.substr(0, dot) + " (" + std::to_string(n) + ")" + relative.substr(dot);
  }
  places_.insert(FoldForFileSystem(relative));
  return relative;
}

bool FolderExport::PlainWay(const std::string& relative, std::string* link) {
  for (size_t at = relative.find(sep_); at != std::string::npos; at = relative.find(sep_, at + 1)) {
    FileKind kind = FileKind::kOther;
    const std::string folder = dir_ + relative.substr(0, at);
    if (env_.GetEntryKind(folder, &kind).ok() && kind != FileKind::kFolder) {
      *link = folder;
      return false;
    }
  }
  return true;
}

bool FolderExport::StillCurrent(const std::string& relative, int64_t id,
                                const ConversationInfo& c) {
  const auto old = before_.files.find(relative);
  if (old == before_.files.end()) return false;
  const ManifestEntry& e = old->second;
  FileKind kind = FileKind::kOther;
  FileStamp now;
  std::string link;
  return e.options == options_print_ && e.conversation == id && e.signature == c.signature &&
         PlainWay(relative, &link) && env_.GetEntryKind(dir_ + relative, &kind).ok() &&
         kind == FileKind::kRegular && env_.GetFileStamp(dir_ + relative, &now).ok() &&
         now == e.stamp;
}

Status FolderExport::ExportOne(int64_t id) {
  ConversationInfo c;
  // The times a header shows are read only for a file to be written.
  Status s = reader_->Conversation(id, &c, false);
  if (!s.ok()) return s;
  const std::string relative =
      FreePlace(ExportRelativePath(c, ExportExtension(options_.format), sep_));
  int64_t count = 0;
  bool write_failed = false;
  if (StillCurrent(relative, id, c)) {
    after_.files[relative] = before_.files.at(relative);
    ++result_.summary.unchanged;
    count = selection_.every_message ? c.messages : 0;
  } else {
    s = MakeFile(relative, c, &count, &write_failed);
    if (!s.ok()) return s;
  }
  if (!write_failed) {
    ++result_.summary.conversations;
    result_.summary.messages += count;
  }
  if (observer_) observer_->OnLogDone(0, count);
  return s;
}

Status FolderExport::MakeFile(const std::string& relative, ConversationInfo& c, int64_t* count,
                              bool* write_failed) {
  const std::string target = dir_ + relative;
  const std::string folder = path::FolderOf(target, sep_);
  Status s = reader_->Conversation(c.id, &c);
  if (!s.ok()) return s;
  if (std::string link; !PlainWay(relative, &link)) {
    *write_failed = true;
    NotWritten(target, Status::IOError(link + " is a symbolic link, not followed"), 1, 0);
    return Status::OK();
  }
  batches_.BeginFile(folder);
  // A file too long to hold is written as it is made, here, alone.
  std::string text;
  std::unique_ptr<SavingFile> alone;
  Status written;  // of this file's own writes
  auto sink = [&](std::string_view part) {
    if (alone) {
      if (written.ok()) written = alone->Append(part);
      return written;
    }
    text.append(part);
    if (text.size() < FileBatches::kBatchBytes) return Status::OK();
    batches_.Send();
    batches_.Settle();
    written = ReadyExportFolder(env_, folder);
    alone = std::make_unique<SavingFile>(env_, FileAccess::kOwnerOnly);
    if (written.ok()) written = alone->Open(target);
    if (written.ok()) written = alone->Append(text);
    std::string().swap(text);
    return written;
  };
  s = sink(writer_->BeginFile(&c));
  if (s.ok()) s = WriteConversation(*reader_, *writer_, c, selection_, count, sink, page_);
  if (s.ok()) s = sink(writer_->EndFile());
  if (s.ok() && alone) {
    Journal({relative});
    written = s = alone->Commit();
  }
  if (!written.ok()) {
    *write_failed = true;
    NotWritten(target, written, 1, 0);
    return Status::OK();
  }
  if (!s.ok()) return s;  // the archive could not be read
  if (options_.format == ExportFormat::kHtml) sent_[relative] = {c.first_sent_at, c.last_sent_at};
  if (alone) Written(relative, {c.id, c.signature, options_print_, {}, {}}, target);
  else batches_.Add({relative, {c.id, c.signature}, *count, target, std::move(text)});
  return s;
}

void FolderExport::Journal(const std::vector<std::string>& places) {
  std::string lines;
  for (const std::string& place : places) lines += place + '\n';
  Status s = journal_ ? Status::OK() : env_.NewAppendableFile(dir_ + kExportJournal, &journal_);
  // Without it, only a kill in the next moments could leave a file unknown.
  if (s.ok()) journal_->Append(lines).IgnoreError();
}

void FolderExport::Written(const std::string& relative, ManifestEntry entry,
                           const std::string& target) {
  // The file as it was put in place: anything that changes it later
  // (another run, a kill between a rename and the manifest) shows.
  env_.GetFileStamp(target, &entry.stamp).IgnoreError();
  if (const auto sent = sent_.find(relative); sent != sent_.end()) {
    entry.sent = std::move(sent->second);
    sent_.erase(sent);
  }
  after_.files[relative] = std::move(entry);
  ++result_.summary.written;
}

void FolderExport::NotWritten(const std::string& path, const Status& why, int64_t files,
                              int64_t messages) {
  if (observer_) observer_->OnProblem({Problem::Kind::kWriteFailed, path, why});
  result_.summary.not_written += files;
  result_.summary.conversations -= files;
  result_.summary.messages -= messages;
}

void FolderExport::RemoveUnselected() {
  // Only a run that wrote every file it made may remove what an earlier one wrote.
  const bool whole = result_.status.ok() && !result_.stopped && result_.summary.not_written == 0;
  std::set<std::string> kept;
  for (const auto& [relative, entry] : after_.files) kept.insert(FoldForFileSystem(relative));
  for (const auto& [relative, entry] : before_.files) {
    if (after_.files.count(relative)) continue;
    // A file of this run's under the same name, as the file system sees it.
    if (kept.count(FoldForFileSystem(relative))) continue;
    // A run that did not finish keeps what it has not reached, and one that
    // could not write a file keeps every earlier one.
    if (!whole) {
      after_.files[relative] = entry;
      continue;
    }
    FileKind kind = FileKind::kOther;
    std::string link;
    if (PlainWay(relative, &link) && env_.GetEntryKind(dir_ + relative, &kind).ok() &&
        kind == FileKind::kRegular && env_.DeleteFile(dir_ + relative).ok())
      ++result_.summary.removed;
  }
}

void FolderExport::WriteIndex() {
  if (options_.format != ExportFormat::kHtml || !result_.status.ok()) return;
  std::vector<IndexEntry> entries;
  for (auto& [relative, entry] : after_.files) {
    ConversationInfo c;
    Status s = reader_->Conversation(entry.conversation, &c, !entry.sent);
    // A file an unfinished run kept of a conversation no longer there: the
    // next whole run removes it.
    if (s.IsNotFound()) continue;
    // The archive cannot be read now (a stop): the index stays as it was.
    if (!s.ok()) return;
    if (entry.sent)
      std::tie(c.first_sent_at, c.last_sent_at) = std::tie(entry.sent->first, entry.sent->last);
    else entry.sent = SentSpan{c.first_sent_at, c.last_sent_at};
    entries.push_back({relative, std::move(c)});
  }
  const std::string path = dir_ + kExportIndex;
  if (Status s = WriteExportIndex(env_, dir_, sep_, std::move(entries), observer_); !s.ok()) {
    if (observer_) observer_->OnProblem({Problem::Kind::kWriteFailed, path, s});
    ++result_.summary.not_written;
  }
}

ArchiveExportResult FolderExport::Run(const std::string& db_path) {
  Status& s = result_.status;
  s = Open(db_path);
  if (!s.ok()) return result_;
  for (size_t index : ByContact()) {
    if (stop_.Requested()) {
      result_.stopped = true;
      break;
    }
    s = ExportOne(selection_.conversations[index]);
    if (!s.ok()) break;
  }
  // The files made so far are whole, a stop's too: they take their places.
  if (s.ok()) batches_.Send();
  batches_.Settle();
  for (const MadeFile& f : batches_.TakeUnsent()) {
    --result_.summary.conversations;
    result_.summary.messages -= f.messages;
  }
  RemoveUnselected();
  WriteIndex();
  // A run that changed nothing leaves the manifest as it was.
  Status m = after_ == before_ ? Status::OK() : WriteManifest(env_, dir_ + kExportManifest, after_);
  if (journal_) journal_->Close().IgnoreError();
  // Once the manifest says all the journal does, the journal goes.
  if (m.ok()) env_.DeleteFile(dir_ + kExportJournal).IgnoreError();
  if (s.ok() && !m.ok()) s = Status::IOError(WriteFailureMessage(dir_ + kExportManifest, m));
  return result_;
}

}  // namespace

ArchiveExportResult ExportArchiveToFolder(Env& env, const std::string& db_path,
                                          const std::string& dir,
                                          const ArchiveExportOptions& options,
                                          RunObserver* observer, StopFlag stop) {
  return FolderExport(env, dir, options, observer, stop).Run(db_path);
}

}  // namespace chatterwick::archive
