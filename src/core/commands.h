#pragma once

#include <string>

#include "core/context.h"
#include "core/options.h"

// What the window's events and the command line start. The shells only
// forward to these, with the settings they hold.
namespace chatterwick::commands {

// Prepares the run, walks root, writes the five files and the summary. False
// when a file could not be written.
[[nodiscard]] bool FolderRun(Context& ctx, const CatalogueOptions& options,
                             const std::string& root);

// The load event: "+p" and a root start a folder run, anything else is a log.
void FormLoad(Context& ctx, const CatalogueOptions& options, const std::string& argument_text);
void LoadLogClick(Context& ctx);
// A folder run over options.folder with "%appdata%" expanded.
void FolderRunClick(Context& ctx, const CatalogueOptions& options);
void SaveLogAsCsv(Context& ctx, const ExportOptions& options);
void SaveLogAsText(Context& ctx);

// Every "%appdata%" in text replaced by value, in one pass.
std::string ReplaceAppData(const std::string& text, const std::string& value);

// Opens the log at path and lists it, as Load Log does without its prompt.
// Returns why the log could not be loaded.
Status ViewLog(Context& ctx, const std::string& path);

// The two saves without their prompt: path is used as given. With the mark
// asked for, the CSV text is written safe for spreadsheets.
Status SaveLogAsCsvTo(Context& ctx, const ExportOptions& options, const std::string& path);
Status SaveLogAsTextTo(Context& ctx, const std::string& path);

}  // namespace chatterwick::commands
