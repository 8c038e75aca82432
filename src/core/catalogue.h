#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/options.h"
#include "core/run_observer.h"

// A folder run: the walk that fills the catalogue tables from a log tree, and
// the five CSV files made from them.
namespace chatterwick {

// The five catalogue files, in the order they are written.
inline constexpr const char* kCatalogueFiles[] = {"protocols.csv", "accounts.csv", "contacts.csv",
                                                  "conversations.csv", "chat.csv"};
// In the output folder: the lock one run at a time holds, and the beginning
// of the names its new files have until they replace the old ones.
inline constexpr const char* kCatalogueLockFile = ".chatterwick.lock";
inline constexpr const char* kCatalogueTempPrefix = ".chatterwick-catalogue-";
// Names the renames of a set being put in place; see ReplacementSet::Commit.
inline constexpr const char* kCatalogueCommitRecord = ".chatterwick-commit";

enum class RunOutcome {
  kWritten,         // the five new files replaced the old ones
  kNotWritten,      // a new file could not be written; the old ones are kept
  kRootUnreadable,  // nothing was read and nothing changed
  kOutputUnusable,  // the output folder cannot take the files; nothing was read
  kBusy,            // another run holds the output folder; nothing was touched
  kStopped,         // the user stopped the run; the old files are kept
  kNoLogs,          // the tree held no log; the old files are kept
};

// What a folder run found and did, for the shells to word.
struct FolderRunResult {
  RunOutcome outcome = RunOutcome::kWritten;
  // True when every folder and log of the tree could be read.
  bool all_read = true;
  // The files' rows were made, so the counts below are the run's summary.
  bool summarised = false;
  // Entries found, whether or not their file could be written.
  int32_t protocols = 0, accounts = 0, contacts = 0, conversations = 0, chat_lines = 0;
  // Lines the parser rejected, over every log of the run.
  int32_t failed_lines = 0;
  // Entries the run could not store for lack of room, by table.
  struct Skipped {
    int64_t protocols = 0, accounts = 0, contacts = 0, conversations = 0, chat_lines = 0;
  } skipped;
  // Folders and logs that could not be read, in the walk's order; then the
  // files that could not be written while the rows were made; then one that
  // could not be put in place. A run refused before the walk has its reason
  // as the only walk problem.
  std::vector<Problem> walk_problems, write_problems;
  std::optional<Problem> commit_problem;
  // Whether the tables hold the last log the walk loaded, when it loaded any.
  std::optional<bool> last_log_stored;
  // For kNoLogs: what a log root looks like, and a hint (see NoLogsFound).
  std::string no_logs;
};

// Checks the root, takes the output folder, walks the tree, writes the five
// files and puts them in place together. Tells ctx.observer of each problem
// as it happens; touches the window only for the box that asks to begin.
FolderRunResult RunCatalogue(Context& ctx, const CatalogueOptions& options,
                             const std::string& root);

// The walk alone: numbers the protocol folders under root (ending with a
// separator), then each level's folders, then the logs matching mask, reading
// each log into the loaded log and its chat lines into the catalogue, which
// it does not clear first. What it found and met goes into *result. With
// read_ahead, the next logs are read and parsed on a second thread while the
// lines of one are stored; the tables come out the same either way.
void FillCatalogue(Context& ctx, const std::string& mask, const std::string& root,
                   FolderRunResult* result, bool read_ahead = true);

// The pane's lines for a run's result: each problem as the pane words it,
// the tables that were full, the summary, and how the run ended. Without
// problems, the summary alone, as the command line prints it. Each line ends
// with CR LF.
std::string FolderRunReport(const FolderRunResult& result, const std::string& output_folder,
                            bool with_problems);

// F / N as a percentage, rounded half to even to two places, shortest text.
std::string FailureShare(int32_t failed, int32_t lines);

}  // namespace chatterwick
