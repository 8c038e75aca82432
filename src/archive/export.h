#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/export_format.h"
#include "archive/search.h"
#include "core/env.h"
#include "core/run_observer.h"
#include "core/status.h"
#include "core/stop_flag.h"

// Exporting conversations from the archive into files people read and
// programs load.
namespace chatterwick::archive {

struct ArchiveExportOptions {
  ExportFormat format = ExportFormat::kText;
  // Which messages: the search's filters and typed query. A conversation is
  // exported when any of its messages is selected; with only_matching, only
  // the selected messages are.
  SearchOptions selection;
  bool only_matching = false;
  // When not empty: these conversations, and no others.
  std::vector<int64_t> conversations;
  // CSV begun with the byte-order mark and guarded against formulas.
  bool spreadsheet_safe = true;
};

struct ArchiveExportSummary {
  int64_t conversations = 0, messages = 0;
  int64_t written = 0, unchanged = 0, removed = 0;
  // Files that could not be written (each told to the observer).
  int64_t not_written = 0;
  // Messages of a damaged archive that belong to no whole conversation.
  int64_t passed_over = 0;
};

struct ArchiveExportResult {
  Status status;  // OK, or why the export could not go on
  bool stopped = false;
  ArchiveExportSummary summary;
};

// Writes one file per selected conversation under dir (ending with a
// separator): dir/PROTOCOL/ACCOUNT/CONTACT/START.EXT, names that differ only
// as a case-insensitive file system folds them kept apart. Each file is
// complete or absent, written through a temporary file; one that cannot be
// written is told to the observer and counted, and the others go on. A
// manifest in dir records what each file holds as it was put in place, so
// that a later run with the same options rewrites only conversations whose
// messages changed (or whose file is not as it was put), and removes the
// files of conversations no longer selected. Nothing is written or removed
// through a link below dir, nor outside it, whatever the manifest says. One
// run at a time: another is refused (Busy). A stop keeps the files finished
// so far.
ArchiveExportResult ExportArchiveToFolder(Env& env, const std::string& db_path,
                                          const std::string& dir,
                                          const ArchiveExportOptions& options,
                                          RunObserver* observer, StopFlag stop = {});

// Everything selected into one file (replaced whole), or to out when path is
// empty (out is then called with each piece).
ArchiveExportResult ExportArchiveToFile(Env& env, const std::string& db_path,
                                        const std::string& path,
                                        const ArchiveExportOptions& options, RunObserver* observer,
                                        StopFlag stop,
                                        const std::function<bool(std::string_view)>& out = {});

}  // namespace chatterwick::archive
