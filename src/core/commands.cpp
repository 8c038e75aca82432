#include "core/commands.h"

#include <exception>
#include <memory>
#include <new>

#include "core/modCSV.h"
#include "core/modGeneral.h"

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

bool FolderRun(Context& ctx, const std::string& root) {
  modCSV::PrepareCatalogueRun(ctx);
  modCSV::WalkLogRoot(ctx, root);
  return modCSV::WriteCatalogueCsv(ctx);
}

void FormLoad(Context& ctx, const std::string& argument_text) {
  Guarded(ctx, "Start-up", [&] {
    if (argument_text.compare(0, 2, "+p") == 0) {
      FolderRun(ctx, argument_text.size() >= 4 ? argument_text.substr(3) : std::string());
    } else {
      modGeneral::OpenLog(ctx, argument_text);
    }
  });
}

void LoadLogClick(Context& ctx) {
  Guarded(ctx, "Load Log", [&] {
    modGeneral::OpenLog(ctx, ctx.window.InputBox("Path to the log:", kAppTitle, "test.html"));
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

void FolderRunClick(Context& ctx) {
  Guarded(ctx, "Parse Log Folder to CSV", [&] {
    modCSV::PrepareCatalogueRun(ctx);
    std::string root = ctx.window.Folder();
    if (root.find("%appdata%") != std::string::npos)
      root = ReplaceAppData(root, ctx.env.AppData().value_or(std::string()));
    modCSV::WalkLogRoot(ctx, root);
    modCSV::WriteCatalogueCsv(ctx);
  });
}

namespace {

// Writes text through out and closes it; the first failure wins.
Status WriteAndClose(WritableFile* out, std::string_view text) {
  Status s = out->Append(text);
  Status closed = out->Close();
  return s.ok() ? closed : s;
}

}  // namespace

Status SaveLogAsCsvTo(Context& ctx, const std::string& path) {
  const modGlobal::State& st = ctx.state;
  uint64_t old_size = 0;
  const bool existed = ctx.env.GetFileSize(path, &old_size).ok();
  // A file that already holds content keeps its first bytes: no mark then.
  if (ctx.window.BomChecked() == 1) modCSV::WriteUtf8Bom(ctx.env, path);
  std::unique_ptr<WritableFile> out;
  Status s = ctx.env.NewAppendableFile(path, &out);
  if (!s.ok()) return s;
  std::string text;
  modCSV::AppendCsvRow(&text, {"", "", st.RawLines[0]});
  text.append("\r\n");
  const int32_t last = modGeneral::LastLoadedIndex(st);
  for (int32_t i = 1; i <= last; ++i) {
    const modGlobal::ParsedLine& p = st.ParsedLines[i];
    if (p.empty()) continue;
    modCSV::AppendCsvRow(&text, {p.Time, p.Sender, p.Message});
    text.append("\r\n");
  }
  s = WriteAndClose(out.get(), text);
  // Half a log appended would pass for a whole one: cut back to what was there.
  if (!s.ok()) {
    if (existed) ctx.env.TruncateFile(path, old_size);
    else ctx.env.DeleteFile(path);
  }
  return s;
}

Status SaveLogAsTextTo(Context& ctx, const std::string& path) {
  // Written beside the target and put in its place only when complete, so a
  // failed save never costs the text saved there before.
  const std::string partial = path + ".partial";
  std::unique_ptr<WritableFile> out;
  Status s = ctx.env.NewWritableFile(partial, &out);
  if (s.ok()) s = WriteAndClose(out.get(), ctx.window.PaneText() + "\r\n");
  if (s.ok()) s = ctx.env.RenameFile(partial, path);
  if (!s.ok()) ctx.env.DeleteFile(partial);
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
    Status s = save(ctx, path);
    if (!s.ok()) ctx.window.MessageBox("Could not write " + path + " (" + s.message() + ")", kAppTitle);
  });
}

}  // namespace

void SaveLogAsCsv(Context& ctx) {
  SaveWithPrompt(ctx, "Save as CSV", "What should this file be called? (Remember to include .csv)",
                 "log.csv", SaveLogAsCsvTo);
}

void SaveLogAsText(Context& ctx) {
  SaveWithPrompt(ctx, "Save as Text", "What should this file be called? (Remember to include .txt)",
                 "log.txt", SaveLogAsTextTo);
}

}  // namespace chatterwick::commands
