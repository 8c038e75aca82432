#pragma once

#include <cstdint>
#include <string>

#include "core/context.h"
#include "core/options.h"
#include "core/safe_file.h"

// A folder run: the walk that fills the catalogue tables from a log tree, and
// the five CSV files and summary made from them.
namespace chatterwick {

// The five catalogue files, in the order they are written.
inline constexpr const char* kCatalogueFiles[] = {"protocols.csv", "accounts.csv", "contacts.csv",
                                                  "conversations.csv", "chat.csv"};
// In the output folder: the lock one run at a time holds, and the beginning
// of the names its new files have until they replace the old ones.
inline constexpr const char* kCatalogueLockFile = ".chatterwick.lock";
inline constexpr const char* kCatalogueTempPrefix = ".chatterwick-catalogue-";

enum class RunOutcome {
  kWritten,         // the five new files replaced the old ones
  kNotWritten,      // a new file could not be written; the old ones are kept
  kRootUnreadable,  // nothing was read and nothing changed
  kOutputUnusable,  // the output folder cannot take the files; nothing was read
  kBusy,            // another run holds the output folder; nothing was touched
  kStopped,         // the user stopped the run; the old files are kept
};

struct FolderRunResult {
  RunOutcome outcome = RunOutcome::kWritten;
  // True when every folder and log of the tree could be read.
  bool all_read = true;
};

// Checks the root, takes the output folder, walks the tree, writes the five
// files and the summary, and puts the files in place together.
FolderRunResult RunCatalogue(Context& ctx, const CatalogueOptions& options,
                             const std::string& root);

// Empties the catalogue and tells the user the run begins.
void PrepareCatalogueRun(Context& ctx);

// Numbers the protocol folders under root (which should end with a
// separator), then each level's folders, then the logs matching mask, reading
// each log into the loaded log and its chat lines into the catalogue.
void WalkLogRoot(Context& ctx, const std::string& mask, const std::string& root);

// The five files' rows into the set's files (0..4, in kCatalogueFiles order);
// the summary goes to the pane. False when a file could not be written; the
// pane says which and why. With the byte-order mark asked for, text is
// written safe for spreadsheets.
[[nodiscard]] bool WriteCatalogueCsv(Context& ctx, const CatalogueOptions& options,
                                     ReplacementSet& files);

// F / N as a percentage, rounded half to even to two places, shortest text.
std::string FailureShare(int32_t failed, int32_t lines);

}  // namespace chatterwick
