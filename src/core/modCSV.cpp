#include "core/modCSV.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/modGeneral.h"

namespace chatterwick::modCSV {

using modGeneral::AppendOutput;
using modGlobal::CatalogueEntry;
using modGlobal::CatalogueTable;
using modGlobal::ParsedLine;
using modGlobal::ProtocolEntry;
using modGlobal::State;

void AppendCsvRow(std::string* out, std::initializer_list<std::string_view> fields) {
  bool first = true;
  for (std::string_view f : fields) {
    out->append(first ? "\"" : "\",\"");
    first = false;
    for (size_t q; (q = f.find('"')) != std::string_view::npos; f.remove_prefix(q + 1)) {
      out->append(f.substr(0, q + 1));
      out->push_back('"');
    }
    out->append(f);
  }
  out->push_back('"');
}

std::string FormatCsvRow(std::initializer_list<std::string_view> fields) {
  std::string row;
  AppendCsvRow(&row, fields);
  return row;
}

Status WriteUtf8Bom(Env& env, const std::string& path) {
  uint64_t size = 0;
  if (env.GetFileSize(path, &size).ok() && size > 0)
    return Status::IOError("the file already holds content");
  return env.WriteAt(path, 0, "\xEF\xBB\xBF");
}

namespace {

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

void ReportUnreadableFolder(Context& ctx, const std::string& path, const Status& why) {
  AppendOutput(ctx.window, "Folder could not be read. (" + path + ": " + why.message() + ")");
}

// A folder that cannot be listed counts as empty, but the user hears of it.
std::vector<std::string> List(Context& ctx, const std::string& pattern, ListKind kind) {
  std::vector<std::string> names;
  Status s = ctx.env.ListFolder(pattern, kind, &names);
  if (!s.ok()) ReportUnreadableFolder(ctx, pattern, s);
  return names;
}

// A name that cannot be examined is no folder; the user hears why, unless it
// simply is not there (it vanished, or is a dangling link).
bool IsFolderReported(Context& ctx, const std::string& path) {
  Status why;
  const bool is_folder = modGeneral::IsDirectory(ctx.env, path, &why);
  if (!why.ok() && !why.IsNotFound()) ReportUnreadableFolder(ctx, path, why);
  return is_folder;
}

// The protocol and account levels: number the child folders, then descend.
template <typename Descend>
void WalkFolderLevel(Context& ctx, const std::string& path, int32_t parent_id,
                     CatalogueTable<CatalogueEntry>& table, const char* passed_over,
                     int64_t* skipped, Descend descend) {
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
    descend(ctx, path + entry.Name + sep, entry);
  }
}

void ReportSkipped(Context& ctx) {
  const State::Skipped& k = ctx.state.skipped;
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

void WalkLogRoot(Context& ctx, const std::string& root) {
  State& st = ctx.state;
  const char sep = ctx.env.Separator();
  int32_t n = 0;
  for (const std::string& name : List(ctx, root, ListKind::kFilesAndFolders)) {
    if (IsDotName(name)) continue;
    if (!IsFolderReported(ctx, root + sep + name)) continue;
    if (n >= st.Protocols.LastIndex()) {
      ++st.skipped.protocols;
      continue;
    }
    ++n;
    st.Protocols.At(n) = ProtocolEntry{n, name};
  }
  for (int32_t i = 1; i <= n; ++i) {
    const ProtocolEntry entry = st.Protocols[i];
    WalkProtocol(ctx, root + entry.Name + sep, entry);
  }
  ReportSkipped(ctx);
}

void WalkProtocol(Context& ctx, const std::string& path, ProtocolEntry protocol) {
  WalkFolderLevel(ctx, path, protocol.Id, ctx.state.Accounts, "Old Chat Logs",
                  &ctx.state.skipped.accounts, WalkAccount);
}

void WalkAccount(Context& ctx, const std::string& path, CatalogueEntry account) {
  WalkFolderLevel(ctx, path, account.Id, ctx.state.Contacts, ".system",
                  &ctx.state.skipped.contacts, WalkContact);
}

void WalkContact(Context& ctx, const std::string& path, CatalogueEntry contact) {
  State& st = ctx.state;
  const std::string mask = ctx.window.Mask();
  const std::vector<std::string> names = List(ctx, path + mask, ListKind::kFilesOnly);
  if (ctx.observer) ctx.observer->OnLogsListed(static_cast<int32_t>(names.size()));
  int32_t s = st.Conversations.FirstFreeSlot();
  for (const std::string& name : names) {
    if (s > st.Conversations.LastIndex()) {
      ++st.skipped.conversations;
      continue;
    }
    st.Conversations.At(s) = CatalogueEntry{s, contact.Id, name};
    modGeneral::LoadLogFile(ctx, path + name);
    const int32_t base = st.ChatLines.Count();
    const int32_t last = modGeneral::LastLoadedIndex(st);
    for (int32_t i = 1; i <= last; ++i) {
      const ParsedLine& p = st.ParsedLines[i];
      if (p.empty()) continue;
      if (!st.ChatLines.Append(s, st.ChatLines.Count() + 1 - base, p.Time, p.Sender, p.Message)) {
        ++st.skipped.chat_lines;
        continue;
      }
      st.NextChatSlot = st.ChatLines.Count() + 1;
    }
    if (ctx.observer) ctx.observer->OnLogLoaded(st.ChatLines.Count() - base);
    ++s;
  }
}

void PrepareCatalogueRun(Context& ctx) {
  modGlobal::ClearCatalogue(ctx.state);
  for (const char* file : kCatalogueFiles) ctx.env.DeleteFile(ctx.output_folder + file);
  ctx.window.MessageBox("Press OK to begin processing logs. This process may take some time.",
                        kAppTitle);
  if (ctx.window.BomChecked() == 1)
    for (const char* file : kCatalogueFiles) WriteUtf8Bom(ctx.env, ctx.output_folder + file);
}

namespace {

// Appends rows to one file; reports in the pane and returns false on failure.
template <typename EmitRows>
bool WriteRows(Context& ctx, const char* file, EmitRows emit_rows) {
  const std::string path = ctx.output_folder + file;
  std::unique_ptr<WritableFile> out;
  Status s = ctx.env.NewAppendableFile(path, &out);
  if (s.ok()) {
    std::string row;
    emit_rows([&](std::initializer_list<std::string_view> fields) {
      row.clear();
      AppendCsvRow(&row, fields);
      row.append("\r\n");
      if (s.ok()) s = out->Append(row);
    });
    Status closed = out->Close();
    if (s.ok()) s = closed;
  }
  if (!s.ok()) AppendOutput(ctx.window, "Could not write " + path + " (" + s.message() + ")");
  return s.ok();
}

// Returns the entries found, which the summary reports even when their file
// could not be written.
template <typename Table>
int32_t WriteLevel(Context& ctx, const char* file, const Table& table, bool* ok) {
  int32_t found = 0;
  for (int32_t i = 1; i < table.Extent(); ++i) found += !table[i].Name.empty();
  *ok &= WriteRows(ctx, file, [&](auto&& write) {
    for (int32_t i = 1; i < table.Extent(); ++i) {
      const auto& e = table[i];
      if (e.Name.empty()) continue;
      if constexpr (std::is_same_v<std::decay_t<decltype(e)>, ProtocolEntry>)
        write({std::to_string(e.Id), e.Name});
      else
        write({std::to_string(e.Id), std::to_string(e.ParentId), e.Name});
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

bool WriteCatalogueCsv(Context& ctx) {
  const State& st = ctx.state;
  bool ok = true;
  const int32_t protocols = WriteLevel(ctx, kCatalogueFiles[0], st.Protocols, &ok);
  const int32_t accounts = WriteLevel(ctx, kCatalogueFiles[1], st.Accounts, &ok);
  const int32_t contacts = WriteLevel(ctx, kCatalogueFiles[2], st.Contacts, &ok);
  const int32_t conversations = WriteLevel(ctx, kCatalogueFiles[3], st.Conversations, &ok);
  ok &= WriteRows(ctx, kCatalogueFiles[4], [&](auto&& write) {
    for (int32_t i = 1; i <= st.ChatLines.Count(); ++i) {
      const modGlobal::ChatEntry e = st.ChatLines[i];
      if (e.Message.empty()) continue;
      write({std::to_string(e.ConversationId), std::to_string(e.LineNumber), e.Time, e.Sender,
             e.Message});
    }
  });

  const int32_t lines = st.ChatLines.Count();
  ctx.window.SetTitle("Log Folder Parsing Results:");
  WindowOps& w = ctx.window;
  AppendOutput(w, "Log Folder Parsing Complete!\r\n");
  AppendOutput(w, "Protocols found: " + std::to_string(protocols));
  AppendOutput(w, "Accounts found: " + std::to_string(accounts));
  AppendOutput(w, "Contacts found: " + std::to_string(contacts));
  AppendOutput(w, "Conversations found: " + std::to_string(conversations));
  AppendOutput(w, "Lines of chat found: " + std::to_string(lines));
  AppendOutput(w, "\r\nLine parsing failed " + std::to_string(st.FailedLineCount) +
                      " times out of " + std::to_string(lines) + " times (" +
                      FailureShare(st.FailedLineCount, lines) + "%)");
  return ok;
}

}  // namespace chatterwick::modCSV
