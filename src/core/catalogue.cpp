#include "core/catalogue.h"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/csv.h"
#include "core/log_tree.h"
#include "core/log_view.h"
#include "core/messages.h"

namespace chatterwick {

namespace {

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

// A folder that cannot be listed counts as empty, but the user hears of it.
std::vector<std::string> List(Context& ctx, const std::string& pattern, ListKind kind) {
  std::vector<std::string> names;
  Status s = ctx.env.ListFolder(pattern, kind, &names);
  if (!s.ok()) {
    AppendOutput(ctx.window, UnreadableFolderMessage(pattern, s));
    ++ctx.catalogue.unreadable;
  }
  return names;
}

// A name that cannot be examined is no folder; the user hears why, unless it
// simply is not there (it vanished, or is a dangling link).
bool IsFolderReported(Context& ctx, const std::string& path) {
  Status why;
  const bool is_folder = IsDirectory(ctx.env, path, &why);
  if (!why.ok() && !why.IsNotFound()) {
    AppendOutput(ctx.window, UnreadableFolderMessage(path, why));
    ++ctx.catalogue.unreadable;
  }
  return is_folder;
}

// One level of folders: numbers the child folders of path (but the one named
// passed_over) in table, then descends into each.
template <typename Descend>
void WalkFolderLevel(Context& ctx, const std::string& path, int32_t parent_id,
                     CatalogueTable& table, std::string_view passed_over, int64_t* skipped,
                     Descend descend) {
  const char sep = ctx.env.Separator();
  const std::vector<std::string> names = List(ctx, path, ListKind::kFilesAndFolders);
  const int32_t first = table.FirstFreeSlot();
  int32_t s = first;
  for (const std::string& name : names) {
    if (StopRequested(ctx)) return;
    if (IsDotName(name) || name == passed_over) continue;
    if (!IsFolderReported(ctx, path + sep + name)) continue;
    if (s > table.LastIndex()) {
      ++*skipped;
      continue;
    }
    table.At(s) = CatalogueEntry{s, parent_id, name};
    ++s;
  }
  for (int32_t slot = first; slot < s && !StopRequested(ctx); ++slot) {
    const CatalogueEntry entry = table[slot];
    descend(path + entry.Name + sep, entry.Id);
  }
}

// The logs of one contact folder: each becomes a conversation, its chat lines
// go into ChatLines numbered from 1.
void WalkContact(Context& ctx, const std::string& mask, const std::string& path, int32_t contact) {
  Catalogue& cat = ctx.catalogue;
  const std::vector<std::string> names = List(ctx, path + mask, ListKind::kFilesOnly);
  int32_t s = cat.Conversations.FirstFreeSlot();
  for (const std::string& name : names) {
    if (StopRequested(ctx)) return;
    if (s > cat.Conversations.LastIndex()) {
      ++cat.skipped.conversations;
      continue;
    }
    cat.Conversations.At(s) = CatalogueEntry{s, contact, name};
    const std::string log_path = path + name;
    const LoadResult loaded = LoadLogFile(ctx.log, ctx.env, log_path);
    ReportLoad(ctx.window, log_path, loaded);
    if (!loaded.status.ok()) {
      ++cat.unreadable;
      if (ctx.observer) ctx.observer->OnLoadFailed(log_path, loaded.status);
    }
    cat.failed_lines += ctx.log.FailedLineCount;
    int32_t stored = 0;
    ctx.log.ForEachChatLine([&](const ParsedLine& p) {
      if (cat.ChatLines.Append(s, stored + 1, p.Time, p.Sender, p.Message)) ++stored;
      else ++cat.skipped.chat_lines;
    });
    if (ctx.observer) {
      uint64_t bytes = 0;
      // Only a progress against a total needs the weight; a vanished log has none.
      if (ctx.observer->WantsTotal()) ctx.env.GetFileSize(log_path, &bytes).IgnoreError();
      ctx.observer->OnLogLoaded(stored, bytes);
    }
    ++s;
  }
}

void WalkAccount(Context& ctx, const std::string& mask, const std::string& path, int32_t account) {
  Catalogue& cat = ctx.catalogue;
  WalkFolderLevel(ctx, path, account, cat.Contacts, ".system", &cat.skipped.contacts,
                  [&](const std::string& contact_path, int32_t contact) {
                    WalkContact(ctx, mask, contact_path, contact);
                  });
}

void WalkProtocol(Context& ctx, const std::string& mask, const std::string& path,
                  int32_t protocol) {
  Catalogue& cat = ctx.catalogue;
  WalkFolderLevel(ctx, path, protocol, cat.Accounts, "Old Chat Logs", &cat.skipped.accounts,
                  [&](const std::string& account_path, int32_t account) {
                    WalkAccount(ctx, mask, account_path, account);
                  });
}

void ReportSkipped(Context& ctx) {
  const Catalogue::Skipped& k = ctx.catalogue.skipped;
  const std::pair<const char*, int64_t> tables[] = {{"Protocols", k.protocols},
                                                    {"Accounts", k.accounts},
                                                    {"Contacts", k.contacts},
                                                    {"Conversations", k.conversations},
                                                    {"ChatLines", k.chat_lines}};
  for (const auto& [name, count] : tables)
    if (count > 0)
      AppendOutput(ctx.window, std::string("The ") + name + " table is full: " +
                                   std::to_string(count) + " entries were skipped.");
}

}  // namespace

void WalkLogRoot(Context& ctx, const std::string& mask, const std::string& root) {
  Catalogue& cat = ctx.catalogue;
  WalkFolderLevel(
      ctx, root, 0, cat.Protocols, {}, &cat.skipped.protocols,
      [&](const std::string& path, int32_t protocol) { WalkProtocol(ctx, mask, path, protocol); });
  ReportSkipped(ctx);
}

void PrepareCatalogueRun(Context& ctx) {
  ctx.catalogue.Clear();
  ctx.window.MessageBox("Press OK to begin processing logs. This process may take some time.",
                        kAppTitle);
}

namespace {

// Writes rows to one file of the set; reports in the pane and returns false
// on failure.
template <typename EmitRows>
bool WriteRows(Context& ctx, ReplacementSet& files, size_t index, CsvText style,
               EmitRows emit_rows) {
  Status s = WriteCsvRows(files.file(index), style, emit_rows);
  if (!s.ok()) AppendOutput(ctx.window, WriteFailureMessage(files.target(index), s));
  return s.ok();
}

// Returns the entries found, which the summary reports even when their file
// could not be written.
int32_t WriteLevel(Context& ctx, ReplacementSet& files, size_t index, CsvText style,
                   const CatalogueTable& table, bool with_parent, bool* ok) {
  int32_t found = 0;
  for (int32_t i = 1; i < table.Extent(); ++i) found += !table[i].Name.empty();
  *ok &= WriteRows(ctx, files, index, style, [&](auto&& row) {
    for (int32_t i = 1; i < table.Extent(); ++i) {
      const CatalogueEntry& e = table[i];
      if (e.Name.empty()) continue;
      if (with_parent) row({e.Id, e.ParentId, e.Name});
      else row({e.Id, e.Name});
    }
  });
  return found;
}

}  // namespace

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

bool WriteCatalogueCsv(Context& ctx, const CatalogueOptions& options, ReplacementSet& files) {
  const Catalogue& cat = ctx.catalogue;
  const CsvText style = CsvTextFor(options.write_bom);
  bool ok = true;
  const int32_t protocols = WriteLevel(ctx, files, 0, style, cat.Protocols, false, &ok);
  const int32_t accounts = WriteLevel(ctx, files, 1, style, cat.Accounts, true, &ok);
  const int32_t contacts = WriteLevel(ctx, files, 2, style, cat.Contacts, true, &ok);
  const int32_t conversations = WriteLevel(ctx, files, 3, style, cat.Conversations, true, &ok);
  // Every stored line, a status line without a message too, so that the rows
  // are as many as the summary counts.
  ok &= WriteRows(ctx, files, 4, style, [&](auto&& row) {
    for (int32_t i = 1; i <= cat.ChatLines.Count(); ++i) {
      const ChatEntry e = cat.ChatLines[i];
      row({e.ConversationId, e.LineNumber, e.Time, e.Sender, e.Message});
    }
  });

  const int32_t lines = cat.ChatLines.Count();
  WindowOps& w = ctx.window;
  w.SetTitle("Log Folder Parsing Results:");
  AppendOutput(w, "Log Folder Parsing Complete!\r\n");
  AppendOutput(w, "Protocols found: " + std::to_string(protocols));
  AppendOutput(w, "Accounts found: " + std::to_string(accounts));
  AppendOutput(w, "Contacts found: " + std::to_string(contacts));
  AppendOutput(w, "Conversations found: " + std::to_string(conversations));
  AppendOutput(w, "Lines of chat found: " + std::to_string(lines));
  AppendOutput(w, "\r\nLine parsing failed " + std::to_string(cat.failed_lines) + " times out of " +
                      std::to_string(lines) + " times (" + FailureShare(cat.failed_lines, lines) +
                      "%)");
  return ok;
}

namespace {

// The root is a folder that can be listed; otherwise the pane says why.
bool CheckRoot(Context& ctx, const std::string& root) {
  const Status why = CheckLogRoot(ctx.env, root);
  if (why.ok()) return true;
  AppendOutput(ctx.window, UnreadableFolderMessage(root, why));
  return false;
}

// Makes the output folder ready before anything is read: created when
// missing, locked for this run, rid of what killed runs left, and holding the
// five new files, begun with the mark when asked.
RunOutcome OpenOutput(Context& ctx, const CatalogueOptions& options,
                      std::unique_ptr<FileLock>* lock, ReplacementSet& files) {
  const std::string& folder = ctx.output_folder;
  Status s = ctx.env.CreateFolders(folder);
  if (s.ok()) s = ctx.env.LockFile(folder + kCatalogueLockFile, lock);
  if (s.IsBusy()) {
    AppendOutput(ctx.window, "Another run is writing into " + folder +
                                 "; nothing was changed. Try again when it has finished.");
    return RunOutcome::kBusy;
  }
  if (!s.ok()) {
    AppendOutput(ctx.window, WriteFailureMessage(folder, s));
    return RunOutcome::kOutputUnusable;
  }
  // With the lock held, no other run can own these.
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
      AppendOutput(ctx.window, WriteFailureMessage(target, s));
      return RunOutcome::kOutputUnusable;
    }
  }
  return RunOutcome::kWritten;
}

}  // namespace

FolderRunResult RunCatalogue(Context& ctx, const CatalogueOptions& options,
                             const std::string& root) {
  if (!CheckRoot(ctx, root)) return {RunOutcome::kRootUnreadable, false};
  std::unique_ptr<FileLock> lock;
  ReplacementSet files(ctx.env);
  const RunOutcome opened = OpenOutput(ctx, options, &lock, files);
  if (opened != RunOutcome::kWritten) return {opened, true};

  PrepareCatalogueRun(ctx);
  if (ctx.observer && ctx.observer->WantsTotal()) {
    int64_t logs = 0;
    uint64_t bytes = 0;
    // Problems are the walk's to report; this pass only counts.
    ListLogTree(
        ctx.env, root, options.mask,
        [&](LogFileRef&& log) {
          uint64_t size = 0;
          ctx.env.GetFileSize(log.path, &size).IgnoreError();
          ++logs;
          bytes += size;
        },
        [](const std::string&) {});
    ctx.observer->OnTotal(logs, bytes);
  }
  WalkLogRoot(ctx, options.mask, root);
  FolderRunResult result{RunOutcome::kWritten, ctx.catalogue.unreadable == 0};
  const std::string kept = "the earlier files in " + ctx.output_folder + " are kept as they were.";
  bool written = !StopRequested(ctx) && WriteCatalogueCsv(ctx, options, files);
  if (StopRequested(ctx)) {
    AppendOutput(ctx.window, "Stopped before the end: nothing was replaced; " + kept);
    result.outcome = RunOutcome::kStopped;
    return result;
  }
  if (written) {
    std::string failed;
    Status s = files.Commit(ctx.output_folder, &failed);
    if (!s.ok()) AppendOutput(ctx.window, WriteFailureMessage(failed, s));
    written = s.ok();
  }
  if (!written) {
    AppendOutput(ctx.window, "Nothing was replaced: " + kept);
    ctx.window.ShowStatus("Nothing was replaced in " + ctx.output_folder, "");
    result.outcome = RunOutcome::kNotWritten;
    return result;
  }
  ctx.window.ShowStatus(
      std::to_string(std::size(kCatalogueFiles)) + " files written to " + ctx.output_folder,
      ctx.output_folder);
  return result;
}

}  // namespace chatterwick
