#include "core/log_view.h"

#include <algorithm>

#include "core/messages.h"

namespace chatterwick {

void ReportLoad(WindowOps& window, const std::string& path, const LoadResult& result) {
  if (result.stored) window.EnableSaveButtons();
  else window.DisableSaveButtons();
  if (!result.status.ok()) AppendOutput(window, LoadFailureMessage(path));
}

Status OpenLog(Context& ctx, std::string path) {
  std::erase(path, '"');
  if (path.empty()) return Status::NotFound("no log named");
  const LoadResult loaded = LoadLogFile(ctx.log, ctx.env, path);
  ctx.window.ClearPane();
  ReportLoad(ctx.window, path, loaded);
  AppendListing(ctx.log, ctx.window);
  ctx.window.SetTitle(ExtractTitle(ctx.log.RawLines[0], ctx.log.Format));
  int64_t lines = 0;
  ctx.log.ForEachChatLine([&](const ParsedLine&) { ++lines; });
  ctx.window.ShowStatus(
      loaded.status.ok()
          ? "Loaded " + std::to_string(lines) + (lines == 1 ? " line from " : " lines from ") + path
          : LoadFailureLine(path, loaded.status),
      "");
  return loaded.status;
}

void ShowLog(const LoadedLog& log, WindowOps& window) {
  window.ClearPane();
  AppendListing(log, window);
}

void AppendListing(const LoadedLog& log, WindowOps& window) {
  std::string listing;
  log.ForEachChatLine([&](const ParsedLine& line) {
    listing.append(line.Time).append(" ").append(line.Sender).append(" ").append(line.Message);
    listing.append("\r\n");
  });
  if (!listing.empty()) window.AppendToPane(listing);
}

}  // namespace chatterwick
