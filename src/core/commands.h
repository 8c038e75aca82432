#pragma once

#include <string>

#include "core/context.h"

// What the window's events and the command line start. The shells only
// forward to these.
namespace chatterwick::commands {

// PrepareCatalogueRun, WalkLogRoot, WriteCatalogueCsv. False when a file
// could not be written.
bool FolderRun(Context& ctx, const std::string& root);

// The load event: "+p" and a root start a folder run, anything else is a log.
void FormLoad(Context& ctx, const std::string& argument_text);
void LoadLogClick(Context& ctx);
void FolderRunClick(Context& ctx);
void SaveLogAsCsv(Context& ctx);
void SaveLogAsText(Context& ctx);

// Every "%appdata%" in text replaced by value, in one pass.
std::string ReplaceAppData(const std::string& text, const std::string& value);

// The two saves without their prompt: path is used as given.
Status SaveLogAsCsvTo(Context& ctx, const std::string& path);
Status SaveLogAsTextTo(Context& ctx, const std::string& path);

}  // namespace chatterwick::commands
