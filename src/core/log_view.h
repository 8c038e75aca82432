#pragma once

#include <string>
#include <string_view>

#include "core/context.h"
#include "core/log_file.h"

// Showing one log in the window: the listing, the title, the loader's outcome.
namespace chatterwick {

// The loader's message goes into the pane when the load failed; the save
// buttons come on when the tables hold the log, and go off when they do not.
void ReportLoad(WindowOps& window, const std::string& path, const LoadResult& result);

// Loads the log at path (every double quote removed), lists it and shows its
// title; a failed load leaves its message at the top of the pane. An empty
// path does nothing and is NotFound. Returns why the log could not be loaded.
Status OpenLog(Context& ctx, std::string path);

// Replaces the pane's text with one line per chat line: time, sender, message.
void ShowLog(const LoadedLog& log, WindowOps& window);
// Those lines after what the pane holds.
void AppendListing(const LoadedLog& log, WindowOps& window);

}  // namespace chatterwick
