#include "core/catalogue.h"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/csv.h"
#include "core/log_view.h"
#include "core/messages.h"

namespace chatterwick {

namespace {

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

// A folder that cannot be listed counts as empty, but the user hears of it.
std::vector<std::string> List(Context& ctx, const std::string& pattern, ListKind kind) {
  std::vector<std::string> names;
  Status s = ctx.env.ListFolder(pattern, kind, &names);
  if (!s.ok()) AppendOutput(ctx.window, UnreadableFolderMessage(pattern, s));
  return names;
}

// A name that cannot be examined is no folder; the user hears why, unless it
// simply is not there (it vanished, or is a dangling link).
bool IsFolderReported(Context& ctx, const std::string& path) {
  Status why;
  const bool is_folder = IsDirectory(ctx.env, path, &why);
  if (!why.ok() && !why.IsNotFound()) AppendOutput(ctx.window, UnreadableFolderMessage(path, why));
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
    if (IsDotName(name) || name == passed_over) continue;
    if (!IsFolderReported(ctx, path + sep + name)) continue;
    if (s > table.LastIndex()) {
      ++*skipped;
      continue;
    }
    table.At(s) = CatalogueEntry{s, parent_id, name};
    ++s;
  }
  for (int32_t slot = first; slot < s; ++slot) {
    const CatalogueEntry entry = table[slot];
    descend(path + entry.Name + sep, entry.Id);
  }
}

// The logs of one contact folder: each becomes a conversation, its chat lines
// go into ChatLines numbered from 1.
void WalkContact(Context& ctx, const std::string& mask, const std::string& path, int32_t contact) {
  Catalogue& cat = ctx.catalogue;
  const std::vector<std::string> names = List(ctx, path + mask, ListKind::kFilesOnly);
  if (ctx.observer) ctx.observer->OnLogsListed(static_cast<int32_t>(names.size()));
  int32_t s = cat.Conversations.FirstFreeSlot();
  for (const std::string& name : names) {
    if (s > cat.Conversations.LastIndex()) {
      ++cat.skipped.conversations;
      continue;
    }
    cat.Conversations.At(s) = CatalogueEntry{s, contact, name};
    const std::string log_path = path + name;
    ReportLoad(ctx.window, log_path, LoadLogFile(ctx.log, ctx.env, log_path));
    cat.failed_lines += ctx.log.FailedLineCount;
    int32_t stored = 0;
    ctx.log.ForEachChatLine([&](const ParsedLine& p) {
      if (cat.ChatLines.Append(s, stored + 1, p.Time, p.Sender, p.Message)) ++stored;
      else ++cat.skipped.chat_lines;
    });
    if (ctx.observer) ctx.observer->OnLogLoaded(stored);
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

void PrepareCatalogueRun(Context& ctx, const CatalogueOptions& options) {
  ctx.catalogue.Clear();
  // Files that are not there, or cannot go, are passed over.
  for (const char* file : kCatalogueFiles)
    ctx.env.DeleteFile(ctx.output_folder + file).IgnoreError();
  ctx.window.MessageBox("Press OK to begin processing logs. This process may take some time.",
                        kAppTitle);
  if (options.write_bom)
    for (const char* file : kCatalogueFiles)
      WriteUtf8Bom(ctx.env, ctx.output_folder + file).IgnoreError();
}

namespace {

// Appends rows to one file; reports in the pane and returns false on failure.
template <typename EmitRows>
bool WriteRows(Context& ctx, const char* file, CsvText style, EmitRows emit_rows) {
  const std::string path = ctx.output_folder + file;
  Status s = AppendCsvRows(ctx.env, path, style, emit_rows);
  if (!s.ok()) AppendOutput(ctx.window, WriteFailureMessage(path, s));
  return s.ok();
}

// Returns the entries found, which the summary reports even when their file
// could not be written.
int32_t WriteLevel(Context& ctx, const char* file, CsvText style, const CatalogueTable& table,
                   bool with_parent, bool* ok) {
  int32_t found = 0;
  for (int32_t i = 1; i < table.Extent(); ++i) found += !table[i].Name.empty();
  *ok &= WriteRows(ctx, file, style, [&](auto&& row) {
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

bool WriteCatalogueCsv(Context& ctx, const CatalogueOptions& options) {
  const Catalogue& cat = ctx.catalogue;
  const CsvText style = CsvTextFor(options.write_bom);
  bool ok = true;
  const int32_t protocols = WriteLevel(ctx, kCatalogueFiles[0], style, cat.Protocols, false, &ok);
  const int32_t accounts = WriteLevel(ctx, kCatalogueFiles[1], style, cat.Accounts, true, &ok);
  const int32_t contacts = WriteLevel(ctx, kCatalogueFiles[2], style, cat.Contacts, true, &ok);
  const int32_t conversations =
      WriteLevel(ctx, kCatalogueFiles[3], style, cat.Conversations, true, &ok);
  // Every stored line, a status line without a message too, so that the rows
  // are as many as the summary counts.
  ok &= WriteRows(ctx, kCatalogueFiles[4], style, [&](auto&& row) {
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

}  // namespace chatterwick
