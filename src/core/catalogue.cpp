#include "core/catalogue.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>

#include "core/csv.h"
#include "core/log_file.h"
#include "core/log_tree.h"
#include "core/messages.h"
#include "core/output_folder.h"
#include "core/path.h"
#include "core/read_ahead.h"
#include "core/safe_file.h"

namespace chatterwick {

namespace {

// The problem, once the observer has heard of it as it happened.
Problem Told(Context& ctx, Problem problem) {
  if (ctx.observer) ctx.observer->OnProblem(problem);
  return problem;
}

// A log the walk numbered, and what reading it gave.
struct LoadedItem {
  LoadedLog log;
  LoadResult result;
  // LoadLogFile set the log's LineCount (it keeps the one before on failure).
  bool counted = false;
  uint64_t bytes = 0;
};

// Numbers the tree as the walk meets it: each level's folders from the
// table's first free slot, each log a conversation. The logs are read after
// the walk, in its order, and the problems it met are told between them just
// where it met them.
class CatalogueFiller : public LogTreeVisitor {
 public:
  CatalogueFiller(Context& ctx, FolderRunResult& result) : ctx_(ctx), result_(result) {}

  bool OnFolder(TreeLevel level, const std::string& name, int32_t parent_id, int32_t* id) override {
    Catalogue& cat = ctx_.catalogue;
    FolderRunResult::Skipped& k = result_.skipped;
    const auto [table, skipped] =
        level == TreeLevel::kProtocol  ? std::pair(&cat.Protocols, &k.protocols)
        : level == TreeLevel::kAccount ? std::pair(&cat.Accounts, &k.accounts)
                                       : std::pair(&cat.Contacts, &k.contacts);
    const int32_t s = table->FirstFreeSlot();
    if (s > table->LastIndex()) {
      ++*skipped;
      return false;
    }
    table->At(s) = CatalogueEntry{s, parent_id, name};
    *id = s;
    return true;
  }

  void OnLog(LogFileRef&& log, int32_t contact_id) override {
    Catalogue& cat = ctx_.catalogue;
    const int32_t s = cat.Conversations.FirstFreeSlot();
    if (s > cat.Conversations.LastIndex()) {
      ++result_.skipped.conversations;
      return;
    }
    cat.Conversations.At(s) = CatalogueEntry{s, contact_id, std::move(log.file_name)};
    met_.push_back({s, std::move(log.path)});
  }

  void OnUnreadable(const std::string& folder, const std::string& entry,
                    const Status& why) override {
    // An entry is named as the folder's text, a separator, and its name.
    const std::string path = entry.empty() ? folder : folder + ctx_.env.Separator() + entry;
    met_.push_back({0, {}});
    problems_.push_back({Problem::Kind::kFolderUnreadable, path, why});
  }

  // Every chat line stored from now on also goes to file as its row of the
  // chat file, while the next logs are read; see ChatRowsWritten.
  void WriteChatRows(WritableFile* file, CsvText style) {
    chat_file_ = file;
    chat_style_ = style;
  }
  // Whether every row went to the file.
  Status ChatRowsWritten() {
    FlushChatRows();
    return chat_status_;
  }

  // Reads the logs, on two more threads when asked, and stores their lines.
  void ReadLogs(bool read_ahead) {
    std::vector<const Met*> logs;
    for (const Met& m : met_)
      if (m.slot != 0) logs.push_back(&m);
    const bool weigh = ctx_.observer && ctx_.observer->WantsTotal();
    auto step = [this, weigh, &logs](size_t index, LoadedItem* item) {
      if (index >= logs.size() || ctx_.stop.Requested()) return false;
      const std::string& path = logs[index]->path;
      item->log.LineCount = -1;
      item->result = LoadLogFile(item->log, ctx_.env, path);
      item->counted = item->log.LineCount != -1;
      item->bytes = 0;
      // Only a progress against a total needs the weight; a vanished log has none.
      if (weigh) ctx_.env.GetFileSize(path, &item->bytes).IgnoreError();
      return true;
    };
    // Loading is nearly all of the work; storing a log's lines is quick.
    ReadAhead<LoadedItem> loads(step, read_ahead ? 2 : 0, 16);
    size_t problems = 0;
    for (const Met& m : met_) {
      if (ctx_.stop.Requested()) return;
      if (m.slot == 0) {
        Report(problems_[problems++]);
        continue;
      }
      LoadedItem* item = loads.Take();
      if (!item) return;
      Store(m, *item);
    }
  }

 private:
  struct Met {
    int32_t slot;  // the log's conversation, or 0 for the next of problems_
    std::string path;
  };

  void Store(const Met& m, LoadedItem& item) {
    // The loaded log becomes the item's, as if it had been loaded in place.
    const int32_t line_count = ctx_.log.LineCount;
    std::swap(ctx_.log, item.log);
    if (!item.counted) ctx_.log.LineCount = line_count;
    result_.last_log_stored = item.result.stored;
    if (!item.result.status.ok())
      Report({Problem::Kind::kLogUnreadable, m.path, item.result.status});
    result_.failed_lines += ctx_.log.FailedLineCount;
    Catalogue& cat = ctx_.catalogue;
    int32_t stored = 0;
    ctx_.log.ForEachChatLine([&](const ParsedLine& p) {
      if (!cat.ChatLines.Append(m.slot, stored + 1, p.Time, p.Sender, p.Message)) {
        ++result_.skipped.chat_lines;
        return;
      }
      ++stored;
      if (!chat_file_) return;
      AppendCsvLine(&chat_rows_, {m.slot, stored, p.Time, p.Sender, p.Message}, chat_style_);
    });
    if (chat_rows_.size() >= kChatRowsBuffer) FlushChatRows();
    if (ctx_.observer) ctx_.observer->OnLogDone(item.bytes, stored);
  }

  void FlushChatRows() {
    if (chat_file_ && chat_status_.ok() && !chat_rows_.empty())
      chat_status_ = chat_file_->Append(chat_rows_);
    chat_rows_.clear();
  }

  void Report(Problem problem) {
    result_.all_read = false;
    result_.walk_problems.push_back(Told(ctx_, std::move(problem)));
  }

  static constexpr size_t kChatRowsBuffer = 256 << 10;

  Context& ctx_;
  FolderRunResult& result_;
  std::vector<Met> met_;
  std::vector<Problem> problems_;
  WritableFile* chat_file_ = nullptr;
  CsvText chat_style_ = CsvText::kAsRead;
  std::string chat_rows_;
  Status chat_status_;
};

// Counts the logs and their bytes for a progress that shows a share of the
// whole. Problems are the walk's to report; this pass only counts.
class LogCounter : public LogTreeVisitor {
 public:
  explicit LogCounter(Env& env) : env_(env) {}
  bool OnFolder(TreeLevel, const std::string&, int32_t, int32_t*) override { return true; }
  void OnLog(LogFileRef&& log, int32_t) override {
    uint64_t size = 0;
    env_.GetFileSize(log.path, &size).IgnoreError();
    ++logs;
    bytes += size;
  }
  void OnUnreadable(const std::string&, const std::string&, const Status&) override {}

  int64_t logs = 0;
  uint64_t bytes = 0;

 private:
  Env& env_;
};

int32_t EntriesIn(const CatalogueTable& table) {
  int32_t found = 0;
  for (int32_t i = 1; i < table.Extent(); ++i) found += !table[i].Name.empty();
  return found;
}

// Writes one level's rows: "Id,Name", or "Id,ParentId,Name" below the protocols.
template <typename Row>
void LevelRows(const CatalogueTable& table, bool with_parent, Row&& row) {
  for (int32_t i = 1; i < table.Extent(); ++i) {
    const CatalogueEntry& e = table[i];
    if (e.Name.empty()) continue;
    if (with_parent) row({e.Id, e.ParentId, e.Name});
    else row({e.Id, e.Name});
  }
}

// The five files' rows into the set's files (0..4, in kCatalogueFiles order),
// and the counts into result. With the byte-order mark asked for, text is
// written safe for spreadsheets. False when a file could not be written.
bool WriteCatalogueCsv(Context& ctx, const CatalogueOptions& options, ReplacementSet& files,
                       Status chat_rows, FolderRunResult& result) {
  const Catalogue& cat = ctx.catalogue;
  const CsvText style = CsvTextFor(options.write_bom);
  const CatalogueTable* levels[] = {&cat.Protocols, &cat.Accounts, &cat.Contacts,
                                    &cat.Conversations};
  bool ok = true;
  auto write = [&](size_t index, auto&& emit_rows) {
    Status s = WriteCsvRows(files.file(index), style, emit_rows);
    if (s.ok()) return;
    ok = false;
    result.write_problems.push_back(
        Told(ctx, {Problem::Kind::kWriteFailed, files.target(index), std::move(s)}));
  };
  for (size_t i = 0; i < std::size(levels); ++i)
    write(i, [&](auto&& row) { LevelRows(*levels[i], i > 0, row); });
  // The chat file's rows went in as the lines were stored: every stored
  // line, a status line without a message too, so that the rows are as many
  // as the summary counts.
  if (!chat_rows.ok()) {
    ok = false;
    result.write_problems.push_back(
        Told(ctx, {Problem::Kind::kWriteFailed, files.target(4), std::move(chat_rows)}));
  }
  result.protocols = EntriesIn(cat.Protocols);
  result.accounts = EntriesIn(cat.Accounts);
  result.contacts = EntriesIn(cat.Contacts);
  result.conversations = EntriesIn(cat.Conversations);
  result.chat_lines = cat.ChatLines.Count();
  result.summarised = true;
  return ok;
}

// Makes the output folder ready before anything is read: created when
// missing, locked for this run, rid of what killed runs left, and holding the
// five new files, begun with the mark when asked. On failure, *problem says
// why; a commit record that is not the program's is passed over, and
// *passed_over says so.
RunOutcome OpenOutput(Context& ctx, const CatalogueOptions& options,
                      std::unique_ptr<FileLock>* lock, ReplacementSet& files,
                      std::optional<Problem>* problem, std::optional<Problem>* passed_over) {
  const std::string& folder = ctx.output_folder;
  // Never the working folder in its stead.
  Status s = folder.empty() ? Status::IOError(kNoOutputFolder) : ctx.env.CreateFolders(folder);
  if (s.ok()) s = ctx.env.LockFile(folder + kCatalogueLockFile, lock);
  if (s.IsBusy()) {
    *problem = Problem{Problem::Kind::kRefused, folder,
                       Status::Busy("Another run is writing into " + folder +
                                    "; nothing was changed. Try again when it has finished.")};
    return RunOutcome::kBusy;
  }
  if (!s.ok()) {
    *problem = Problem{Problem::Kind::kWriteFailed, folder, std::move(s)};
    return RunOutcome::kOutputUnusable;
  }
  // With the lock held, no other run can own these. A set that a run left
  // half renamed is completed first, so that the folder holds one whole set.
  const std::string record = folder + kCatalogueCommitRecord;
  const RecordRule rule{{std::begin(kCatalogueFiles), std::end(kCatalogueFiles)},
                        kCatalogueTempPrefix};
  s = CompleteReplacement(ctx.env, folder, record, rule);
  if (s.IsInvalidData()) {
    // Planted, or damaged: whoever may write here must not have this run
    // rename the user's files elsewhere.
    *passed_over = Problem{Problem::Kind::kPassedOver, record,
                           Status::InvalidData("Passed over " + record + ": " + s.message() +
                                               ", not a file this program writes there; "
                                               "nothing was renamed.")};
    s = Status::OK();
  }
  if (!s.ok()) {
    *problem = Problem{Problem::Kind::kWriteFailed, record, std::move(s)};
    return RunOutcome::kOutputUnusable;
  }
  std::vector<std::string> leftovers;
  if (ctx.env.ListFolder(folder + kCatalogueTempPrefix + "*", ListKind::kFilesOnly, &leftovers)
          .ok())
    for (const std::string& name : leftovers) ctx.env.DeleteFile(folder + name).IgnoreError();
  for (const char* file : kCatalogueFiles) {
    const std::string target = folder + file;
    FileKind kind = FileKind::kRegular;
    // Found now rather than when the new file would replace it.
    if (ctx.env.GetFileKind(target, &kind).ok() && kind == FileKind::kFolder)
      s = Status::IOError("Is a directory");
    size_t index = 0;
    if (s.ok()) s = files.Add(target, folder + kCatalogueTempPrefix + file + ".", &index);
    if (s.ok() && options.write_bom) s = files.file(index).Append(kUtf8Bom);
    if (!s.ok()) {
      *problem = Problem{Problem::Kind::kWriteFailed, target, std::move(s)};
      return RunOutcome::kOutputUnusable;
    }
  }
  return RunOutcome::kWritten;
}

// A run that read nothing: the reason is its only problem.
FolderRunResult Refused(Context& ctx, RunOutcome outcome, bool all_read, Problem problem) {
  FolderRunResult result;
  result.outcome = outcome;
  result.all_read = all_read;
  result.walk_problems.push_back(Told(ctx, std::move(problem)));
  return result;
}

}  // namespace

void FillCatalogue(Context& ctx, const std::string& mask, const std::string& root,
                   FolderRunResult* result, bool read_ahead) {
  CatalogueFiller filler(ctx, *result);
  WalkLogTree(ctx.env, root, mask, filler, ctx.stop);
  filler.ReadLogs(read_ahead);
}

FolderRunResult RunCatalogue(Context& ctx, const CatalogueOptions& options,
                             const std::string& typed_root) {
  // A folder typed without its final separator is the same folder.
  const std::string root = path::WithFinalSeparator(typed_root, ctx.env.Separator());
  if (Status why = CheckLogRoot(ctx.env, root); !why.ok())
    return Refused(ctx, RunOutcome::kRootUnreadable, false,
                   {Problem::Kind::kFolderUnreadable, root, std::move(why)});
  std::unique_ptr<FileLock> lock;
  ReplacementSet files(ctx.env);
  std::optional<Problem> refusal, passed_over;
  const RunOutcome opened = OpenOutput(ctx, options, &lock, files, &refusal, &passed_over);
  if (opened != RunOutcome::kWritten) return Refused(ctx, opened, true, std::move(*refusal));

  ctx.catalogue.Clear();
  ctx.window.MessageBox("Press OK to begin processing logs. This process may take some time.",
                        kAppTitle);
  if (ctx.observer && ctx.observer->WantsTotal()) {
    LogCounter counter(ctx.env);
    WalkLogTree(ctx.env, root, options.mask, counter, ctx.stop);
    ctx.observer->OnTotal(counter.logs, counter.bytes);
  }
  FolderRunResult result;
  if (passed_over) result.walk_problems.push_back(Told(ctx, std::move(*passed_over)));
  CatalogueFiller filler(ctx, result);
  filler.WriteChatRows(&files.file(4), CsvTextFor(options.write_bom));
  WalkLogTree(ctx.env, root, options.mask, filler, ctx.stop);
  filler.ReadLogs(options.read_ahead);
  if (!ctx.stop.Requested() && ctx.catalogue.Conversations.Extent() == 0 &&
      result.skipped.conversations == 0) {
    // Five empty files in place of the earlier ones would be a loss, not a result.
    result.outcome = RunOutcome::kNoLogs;
    result.no_logs = NoLogsFound(ctx.env, root, options.mask);
    return result;
  }
  bool written = !ctx.stop.Requested() &&
                 WriteCatalogueCsv(ctx, options, files, filler.ChatRowsWritten(), result);
  if (ctx.stop.Requested()) {
    result.outcome = RunOutcome::kStopped;
    return result;
  }
  if (written) {
    std::string failed;
    Status s = files.Commit(ctx.output_folder, &failed, ctx.output_folder + kCatalogueCommitRecord);
    if (!s.ok()) {
      result.commit_problem = Told(ctx, {Problem::Kind::kWriteFailed, failed, std::move(s)});
      written = false;
    }
  }
  result.outcome = written ? RunOutcome::kWritten : RunOutcome::kNotWritten;
  return result;
}

std::string FailureShare(int32_t failed, int32_t lines) {
  if (lines <= 0) return "0";
  const double share = static_cast<double>(failed) / static_cast<double>(lines) * 100.0;
  // nearbyint rounds half to even under the default rounding mode.
  const double rounded = std::nearbyint(share * 100.0) / 100.0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", rounded);
  std::string text = buf;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string FolderRunReport(const FolderRunResult& r, const std::string& output_folder,
                            bool with_problems) {
  std::string text;
  auto line = [&](const std::string& s) { text.append(s).append("\r\n"); };
  auto problems = [&](const std::vector<Problem>& list) {
    if (!with_problems) return;
    for (const Problem& p : list)
      line(p.kind == Problem::Kind::kLogUnreadable ? LoadFailureMessage(p.path) : ProblemLine(p));
  };
  problems(r.walk_problems);
  const std::pair<const char*, int64_t> tables[] = {{"Protocols", r.skipped.protocols},
                                                    {"Accounts", r.skipped.accounts},
                                                    {"Contacts", r.skipped.contacts},
                                                    {"Conversations", r.skipped.conversations},
                                                    {"ChatLines", r.skipped.chat_lines}};
  for (const auto& [name, count] : tables)
    if (count > 0)
      line(std::string("The ") + name + " table is full: " + std::to_string(count) +
           " entries were skipped.");
  if (r.summarised) {
    problems(r.write_problems);
    line("Log Folder Parsing Complete!\r\n");
    line("Protocols found: " + std::to_string(r.protocols));
    line("Accounts found: " + std::to_string(r.accounts));
    line("Contacts found: " + std::to_string(r.contacts));
    line("Conversations found: " + std::to_string(r.conversations));
    line("Lines of chat found: " + std::to_string(r.chat_lines));
    line("\r\nLine parsing failed " + std::to_string(r.failed_lines) + " times out of " +
         std::to_string(r.chat_lines) + " times (" + FailureShare(r.failed_lines, r.chat_lines) +
         "%)");
  }
  const std::string kept = "the earlier files in " + output_folder + " are kept as they were.";
  if (r.outcome == RunOutcome::kStopped)
    line("Stopped before the end: nothing was replaced; " + kept);
  if (r.outcome == RunOutcome::kNoLogs)
    text += r.no_logs + "Nothing was replaced: " + kept + "\r\n";
  if (r.outcome == RunOutcome::kNotWritten) {
    if (r.commit_problem) problems({*r.commit_problem});
    line("Nothing was replaced: " + kept);
  }
  return text;
}

}  // namespace chatterwick
