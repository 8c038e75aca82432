#include "core/commands.h"

#include <exception>
#include <memory>
#include <new>

#include "core/catalogue.h"
#include "core/csv.h"
#include "core/log_view.h"
#include "core/messages.h"
#include "core/output_folder.h"
#include "core/path.h"
#include "core/safe_file.h"

namespace chatterwick::commands {

namespace {

// A failure nobody handled stops the command, never the program.
template <typename Fn>
void Guarded(Context& ctx, const char* what, Fn fn) {
  try {
    fn();
  } catch (const std::bad_alloc&) {
    ctx.window.WarningBox(std::string(what) + " stopped: not enough memory.", kAppTitle);
  } catch (const std::exception& e) {
    ctx.window.WarningBox(std::string(what) + " stopped: " + e.what(), kAppTitle);
  }
}

}  // namespace

namespace {

// The status line after a folder run, whatever its end.
std::string FolderRunStatus(const FolderRunResult& result, const std::string& folder) {
  switch (result.outcome) {
    case RunOutcome::kWritten:
      return std::to_string(std::size(kCatalogueFiles)) + " files written to " + folder;
    case RunOutcome::kNoLogs:
      return result.no_logs.substr(0, result.no_logs.find("\r\n")) + " Nothing was replaced in " +
             folder;
    case RunOutcome::kStopped:
    case RunOutcome::kNotWritten:
      return "Nothing was replaced in " + folder;
    default:
      return result.walk_problems.empty() ? "" : ProblemLine(result.walk_problems[0]);
  }
}

}  // namespace

FolderRunResult FolderRun(Context& ctx, const CatalogueOptions& options, const std::string& root) {
  const FolderRunResult result = RunCatalogue(ctx, options, root);
  WindowOps& w = ctx.window;
  // The buttons save the log the tables hold: the last one the walk loaded.
  if (result.last_log_stored) {
    if (*result.last_log_stored) w.EnableSaveButtons();
    else w.DisableSaveButtons();
  }
  if (result.summarised) w.SetTitle("Log Folder Parsing Results:");
  const std::string report = FolderRunReport(result, ctx.output_folder, true);
  if (!report.empty()) w.AppendToPane(report);
  w.ShowStatus(FolderRunStatus(result, ctx.output_folder),
               result.outcome == RunOutcome::kWritten ? ctx.output_folder : "");
  return result;
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

std::string FolderBoxRoot(Env& env, const std::string& text) {
  std::string root = text;
  if (root.find("%appdata%") != std::string::npos)
    root = ReplaceAppData(root, env.AppData().value_or(std::string()));
  return path::FromOwnText(std::move(root), env.Separator());
}

void FolderRunClick(Context& ctx, const CatalogueOptions& options) {
  Guarded(ctx, "Parse Log Folder to CSV", [&] {
    // The pane names any file that could not be written.
    (void)FolderRun(ctx, options, FolderBoxRoot(ctx.env, options.folder));
  });
}

std::string CsvExportText(const LoadedLog& log, CsvText style) {
  std::string text;
  FormatCsvRows(
      style,
      [&](auto&& row) {
        row({"", "", log.RawLines[0]});
        log.ForEachChatLine([&](const ParsedLine& p) { row({p.Time, p.Sender, p.Message}); });
      },
      [&](std::string_view r) { text.append(r); });
  return text;
}

std::string TextExportText(const WindowOps& window) { return window.PaneText() + "\r\n"; }

Status SaveLogAsCsvTo(Context& ctx, const ExportOptions& options, const std::string& path) {
  // Appended as a whole or not at all; the mark never lands on content.
  return SaveFile(
      ctx.env, path, SaveMode::kAppend,
      [&](bool has_content) {
        std::string text = options.write_bom && !has_content ? std::string(kUtf8Bom) : "";
        return text + CsvExportText(ctx.log, CsvTextFor(options.write_bom));
      },
      ctx.stop);
}

Status SaveLogAsTextTo(Context& ctx, const std::string& path) {
  return SaveFile(
      ctx.env, path, SaveMode::kReplace, [&](bool) { return TextExportText(ctx.window); },
      ctx.stop);
}

namespace {

template <typename Save>
void SaveWithPrompt(Context& ctx, const char* what, const char* prompt, const char* default_name,
                    int64_t lines, Save save) {
  Guarded(ctx, what, [&] {
    const std::string answer = ctx.window.InputBox(prompt, kAppTitle, default_name);
    if (answer.empty()) return;
    // A name goes into the output folder, made when missing; a path is used as typed.
    const bool absolute = path::IsAbsolute(answer, ctx.env.Separator());
    const std::string path = absolute ? answer : ctx.output_folder + answer;
    if (!absolute) ctx.env.CreateFolders(ctx.output_folder).IgnoreError();  // the save says why
    Status s =
        !absolute && ctx.output_folder.empty() ? Status::IOError(kNoOutputFolder) : save(path);
    if (!s.ok()) {
      ctx.window.WarningBox(WriteFailureMessage(path, s), kAppTitle);
      ctx.window.ShowStatus(WriteFailureMessage(path, s), "");
      return;
    }
    ctx.window.ShowStatus(
        "Saved " + std::to_string(lines) + (lines == 1 ? " line" : " lines") + " to " + path,
        path::FolderOf(path, ctx.env.Separator()));
  });
}

int64_t ChatLines(const LoadedLog& log) {
  int64_t n = 0;
  log.ForEachChatLine([&](const ParsedLine&) { ++n; });
  return n;
}

}  // namespace

void SaveLogAsCsv(Context& ctx, const ExportOptions& options) {
  SaveWithPrompt(ctx, "Save as CSV", "What should this file be called? (Remember to include .csv)",
                 "log.csv", ChatLines(ctx.log),
                 [&](const std::string& path) { return SaveLogAsCsvTo(ctx, options, path); });
}

void SaveLogAsText(Context& ctx) {
  SaveWithPrompt(ctx, "Save as Text", "What should this file be called? (Remember to include .txt)",
                 "log.txt", ChatLines(ctx.log),
                 [&](const std::string& path) { return SaveLogAsTextTo(ctx, path); });
}

}  // namespace chatterwick::commands
