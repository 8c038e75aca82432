#include "core/log_view.h"

#include <algorithm>

#include "core/html_text.h"
#include "core/messages.h"
#include "core/text.h"

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
  ctx.window.SetTitle(ExtractTitle(ctx.log.RawLines[0]));
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

std::string ExtractTitle(std::string_view line) {
  constexpr std::string_view kTitleStart = "<title>", kTitleEnd = "</title>";
  const text::Pos t0 = text::After(line, kTitleStart);
  const text::Pos t1 = text::Find(line, kTitleEnd);
  std::string_view title;
  if (!text::Cut(line, t0, t1 - t0, &title)) return "Log File: Title Unknown";
  std::string decoded(title);
  DecodeReferences(&decoded);
  return decoded;
}

}  // namespace chatterwick
