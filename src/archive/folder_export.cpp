#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>

#include "archive/export.h"
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
  // The selection's order, a contact's conversations together: one sync of
  // the folder for all of them.
  std::vector<size_t> ByContact() const;
  Status ExportOne(int64_t id);
  // The file's place, " (2)" and on added for two conversations of a
  // contact that began in the same second.
  std::string FreePlace(std::string relative) const;
  // The file written before for this conversation, when it is still whole and current.
  bool StillCurrent(const std::string& relative, int64_t id, const ConversationInfo& c);
  Status MakeFile(const std::string& relative, ConversationInfo& c, int64_t* count);
  void NotExported(const std::vector<MadeFile>& files);
  // What an earlier run wrote for conversations no longer selected goes, but
  // a run that did not finish keeps what it has not reached.
  void RemoveUnselected();

  Env& env_;
  const std::string dir_;
  const ArchiveExportOptions& options_;
  RunObserver* observer_;
  const StopFlag stop_;
  const char sep_;
  ArchiveExportResult result_;
  std::unique_ptr<ArchiveReader> reader_;
  Selection selection_;
  Manifest before_, after_;
  std::unique_ptr<ExportWriter> writer_;
  std::vector<MessageRow> page_;
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
      writer_(MakeExportWriter(options.format, options.spreadsheet_safe)),
      batches_(
          env,
          [this](MadeFile& f) {
            after_.files[f.relative] = std::move(f.entry);
            ++result_.summary.written;
          },
          [this](const std::string& path, const Status& why, const std::vector<MadeFile>& files) {
            if (observer_) observer_->OnProblem({Problem::Kind::kWriteFailed, path, why});
            NotExported(files);
          }) {}

Status FolderExport::Open(const std::string& db_path) {
  Status s = OpenSelection(db_path, options_, &reader_, &selection_, stop_);
  if (!s.ok()) return s;
  s = env_.CreateFolders(dir_);
  if (!s.ok()) return Status::IOError(WriteFailureMessage(dir_, s));
  before_ = ReadManifest(env_, dir_ + kExportManifest);
  after_.options = OptionsKey(options_);
  if (observer_) observer_->OnTotal(static_cast<int64_t>(selection_.conversations.size()), 0);
  return s;
}

std::vector<size_t> FolderExport::ByContact() const {
  std::vector<size_t> order(selection_.conversations.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return selection_.contacts[a] < selection_.contacts[b];
  });
  return order;
}

std::string FolderExport::FreePlace(std::string relative) const {
  for (int n = 2; after_.files.count(relative) || batches_.Taken(relative); ++n) {
    const size_t dot = relative.rfind('.');
    relative = relative.substr(0, dot) + " (" + std::to_string(n) + ")" + relative.substr(dot);
  }
  return relative;
}

bool FolderExport::StillCurrent(const std::string& relative, int64_t id,
                                const ConversationInfo& c) {
  const auto old = before_.files.find(relative);
  FileKind kind = FileKind::kOther;
  return before_.options == after_.options && old != before_.files.end() &&
         old->second == std::pair(id, c.signature) &&
         env_.GetFileKind(dir_ + relative, &kind).ok() && kind == FileKind::kRegular;
}

Status FolderExport::ExportOne(int64_t id) {
  ConversationInfo c;
  // The times a header shows are read only for a file to be written.
  Status s = reader_->Conversation(id, &c, false);
  if (!s.ok()) return s;
  const std::string relative =
      FreePlace(ExportRelativePath(c, ExportExtension(options_.format), sep_));
  int64_t count = 0;
  if (StillCurrent(relative, id, c)) {
    after_.files[relative] = before_.files.at(relative);
    ++result_.summary.unchanged;
    count = selection_.every_message ? c.messages : 0;
  } else {
    s = MakeFile(relative, c, &count);
    if (!s.ok()) return s;
  }
  ++result_.summary.conversations;
  result_.summary.messages += count;
  if (observer_) observer_->OnLogDone(0, count);
  return s;
}

Status FolderExport::MakeFile(const std::string& relative, ConversationInfo& c, int64_t* count) {
  const std::string target = dir_ + relative;
  const std::string folder = path::FolderOf(target, sep_);
  Status s = reader_->Conversation(c.id, &c);
  if (s.ok()) s = batches_.BeginFile(folder);
  // A file too long to hold is written as it is made, here, alone.
  std::string text;
  std::unique_ptr<ReplacementSet> alone;
  size_t index = 0;
  auto sink = [&](std::string_view part) {
    if (alone) return alone->file(index).Append(part);
    text.append(part);
    if (text.size() < FileBatches::kBatchBytes) return Status::OK();
    Status st = batches_.Send();
    if (Status settled = batches_.Settle(); st.ok()) st = settled;
    if (st.ok()) st = ReadyExportFolder(env_, folder);
    if (!st.ok()) return st;
    alone = std::make_unique<ReplacementSet>(env_, FileAccess::kOwnerOnly);
    st = alone->Add(target, TempPrefixFor(target, sep_), &index);
    if (st.ok()) st = alone->file(index).Append(text);
    std::string().swap(text);
    return st;
  };
  if (s.ok()) s = sink(writer_->BeginFile());
  if (s.ok()) s = WriteConversation(*reader_, *writer_, c, selection_, count, sink, page_);
  if (s.ok()) s = sink(writer_->EndFile());
  std::string failed = target;
  if (s.ok() && alone) s = alone->Commit(folder, &failed);
  if (!s.ok()) {
    if (observer_) observer_->OnProblem({Problem::Kind::kWriteFailed, failed, s});
    return s;
  }
  if (!alone) {
    batches_.Add({relative, {c.id, c.signature}, *count, target, std::move(text)});
    return s;
  }
  after_.files[relative] = {c.id, c.signature};
  ++result_.summary.written;
  return s;
}

void FolderExport::NotExported(const std::vector<MadeFile>& files) {
  for (const MadeFile& f : files) {
    --result_.summary.conversations;
    result_.summary.messages -= f.messages;
  }
}

void FolderExport::RemoveUnselected() {
  const bool whole = result_.status.ok() && !result_.stopped;
  for (const auto& [relative, entry] : before_.files) {
    if (after_.files.count(relative)) continue;
    if (!whole) after_.files[relative] = entry;
    else if (env_.DeleteFile(dir_ + relative).ok()) ++result_.summary.removed;
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
  if (s.ok()) s = batches_.Send();
  if (Status last = batches_.Settle(); s.ok()) s = last;
  NotExported(batches_.TakeUnsent());
  RemoveUnselected();
  // A run that changed nothing leaves the manifest as it was.
  if (after_ != before_)
    if (Status m = WriteManifest(env_, dir_ + kExportManifest, after_); s.ok()) s = m;
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
