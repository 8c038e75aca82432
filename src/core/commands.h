#pragma once

#include <string>

#include "core/catalogue.h"
#include "core/context.h"
#include "core/csv.h"
#include "core/options.h"

// What the window's events and the command line start. The shells only
// forward to these, with the settings they hold.
namespace chatterwick::commands {

// Walks root and writes the five files (see RunCatalogue), then shows the
// result: the pane's report, the title, the status line and the save buttons.
FolderRunResult FolderRun(Context& ctx, const CatalogueOptions& options, const std::string& root);

// The load event: "+p" and a root start a folder run, anything else is a log.
void FormLoad(Context& ctx, const CatalogueOptions& options, const std::string& argument_text);
void LoadLogClick(Context& ctx);
// A folder run over the Folder box's folder (FolderBoxRoot).
void FolderRunClick(Context& ctx, const CatalogueOptions& options);
void SaveLogAsCsv(Context& ctx, const ExportOptions& options);
void SaveLogAsText(Context& ctx);

// Every "%appdata%" in text replaced by value, in one pass.
std::string ReplaceAppData(const std::string& text, const std::string& value);
// The folder a Folder box text names: "%appdata%" expanded and "\" read as
// the separator, as the box's own default joins its parts.
std::string FolderBoxRoot(Env& env, const std::string& text);

// The two saves without their prompt: path is used as given, and what it
// held survives any failure. The CSV rows follow the file's content, the mark
// first when asked and the file is new or empty; with the mark asked for,
// text is written safe for spreadsheets. The text save replaces the file.
Status SaveLogAsCsvTo(Context& ctx, const ExportOptions& options, const std::string& path);
Status SaveLogAsTextTo(Context& ctx, const std::string& path);

// What the two saves write, without the mark.
std::string CsvExportText(const LoadedLog& log, CsvText style);
std::string TextExportText(const WindowOps& window);

}  // namespace chatterwick::commands
