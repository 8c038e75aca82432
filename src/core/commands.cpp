#include "core/commands.h"

#include <exception>
#include <memory>
#include <new>

#include "core/catalogue.h"
#include "core/csv.h"
#include "core/log_view.h"
#include "core/messages.h"

namespace chatterwick::commands {

namespace {

// A failure nobody handled stops the command, never the program.
template <typename Fn>
void Guarded(Context& ctx, const char* what, Fn fn) {
  try {
    fn();
  } catch (const std::bad_alloc&) {
    ctx.window.MessageBox(std::string(what) + " stopped: not enough memory.", kAppTitle);
  } catch (const std::exception& e) {
    ctx.window.MessageBox(std::string(what) + " stopped: " + e.what(), kAppTitle);
  }
}

}  // namespace

bool FolderRun(Context& ctx, const CatalogueOptions& options, const std::string& root) {
  PrepareCatalogueRun(ctx, options);
  WalkLogRoot(ctx, options.mask, root);
  return WriteCatalogueCsv(ctx, options);
}

void FormLoad(Context& ctx, const CatalogueOptions& options, const std::string& argument_text) {
  Guarded(ctx, "Start-up", [&] {
    if (argument_text.compare(0, 2, "+p") == 0) {
      // The pane names any file that could not be written.
      (void)FolderRun(ctx, options, argument_text.size() >= 4 ? argument_text.substr(3) : "");
    } else {
      // A log that cannot be loaded has said so in the pane.
      OpenLog(ctx, argument_text).IgnoreError();
    }
  });
}

void LoadLogClick(Context& ctx) {
  Guarded(ctx, "Load Log", [&] {
    OpenLog(ctx, ctx.window.InputBox("Path to the log:", kAppTitle, "test.html")).IgnoreError();
  });
}

std::string ReplaceAppData(const std::string& text, const std::string& value) {
  static constexpr std::string_view kToken = "%appdata%";
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = text.find(kToken, pos)) != std::string::npos; pos = hit + kToken.size()) {
    out.append(text, pos, hit - pos);
    out.append(value);
  }
  out.append(text, pos);
  return out;
}

void FolderRunClick(Context& ctx, const CatalogueOptions& options) {
  Guarded(ctx, "Parse Log Folder to CSV", [&] {
    std::string root = options.folder;
    if (root.find("%appdata%") != std::string::npos)
      root = ReplaceAppData(root, ctx.env.AppData().value_or(std::string()));
    // The pane names any file that could not be written.
    (void)FolderRun(ctx, options, root);
  });
}

Status ViewLog(Context& ctx, const std::string& path) { return OpenLog(ctx, path); }

Status SaveLogAsCsvTo(Context& ctx, const ExportOptions& options, const std::string& path) {
  uint64_t old_size = 0;
  const bool existed = ctx.env.GetFileSize(path, &old_size).ok();
  // A file that already holds content keeps its first bytes: no mark then.
  if (options.write_bom) WriteUtf8Bom(ctx.env, path).IgnoreError();
  const LoadedLog& log = ctx.log;
  Status s = AppendCsvRows(ctx.env, path, CsvTextFor(options.write_bom), [&](auto&& row) {
    row({"", "", log.RawLines[0]});
    log.ForEachChatLine([&](const ParsedLine& p) { row({p.Time, p.Sender, p.Message}); });
  });
  // Half a log appended would pass for a whole one: cut back to what was there.
  if (!s.ok()) {
    if (existed) ctx.env.TruncateFile(path, old_size).IgnoreError();
    else ctx.env.DeleteFile(path).IgnoreError();
  }
  return s;
}

Status SaveLogAsTextTo(Context& ctx, const std::string& path) {
  // Written beside the target and put in its place only when complete, so a
  // failed save never costs the text saved there before.
  const std::string partial = path + ".partial";
  std::unique_ptr<WritableFile> out;
  Status s = ctx.env.NewWritableFile(partial, &out);
  if (s.ok()) {
    s = out->Append(ctx.window.PaneText() + "\r\n");
    Status closed = out->Close();
    if (s.ok()) s = closed;
  }
  if (s.ok()) s = ctx.env.RenameFile(partial, path);
  if (!s.ok()) ctx.env.DeleteFile(partial).IgnoreError();
  return s;
}

namespace {

template <typename Save>
void SaveWithPrompt(Context& ctx, const char* what, const char* prompt, const char* default_name,
                    Save save) {
  Guarded(ctx, what, [&] {
    const std::string answer = ctx.window.InputBox(prompt, kAppTitle, default_name);
    if (answer.empty()) return;
    const std::string path = ctx.output_folder + answer;
    Status s = save(path);
    if (!s.ok()) ctx.window.MessageBox(WriteFailureMessage(path, s), kAppTitle);
  });
}

}  // namespace

void SaveLogAsCsv(Context& ctx, const ExportOptions& options) {
  SaveWithPrompt(ctx, "Save as CSV", "What should this file be called? (Remember to include .csv)",
                 "log.csv",
                 [&](const std::string& path) { return SaveLogAsCsvTo(ctx, options, path); });
}

void SaveLogAsText(Context& ctx) {
  SaveWithPrompt(ctx, "Save as Text", "What should this file be called? (Remember to include .txt)",
                 "log.txt", [&](const std::string& path) { return SaveLogAsTextTo(ctx, path); });
}

}  // namespace chatterwick::commands
