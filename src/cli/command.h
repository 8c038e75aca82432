#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/search.h"
#include "cli/console_window.h"
#include "cli/progress.h"
#include "core/catalogue.h"
#include "core/context.h"
#include "core/env.h"
#include "core/log_file.h"
#include "core/options.h"
#include "core/run_observer.h"
#include "core/stop_flag.h"
#include "core/tables.h"

// What every command of the command line shares: what was asked for, where
// it reads and writes, and the helpers each command's room uses. Each
// command declares its options, checks what the parser cannot, and runs.
namespace chatterwick::cli {

// A usage error the parser could not see, such as an empty text.
struct Usage {
  std::string problem;
};

inline constexpr int kClosedPipeStatus = 128 + 13;  // SIGPIPE
// "-" as FILE: standard output.
inline constexpr const char* kStandardOutput = "-";

// What the command line asked for, once parsed.
struct Request {
  std::string path;           // LOG or ROOT
  std::string output_folder;  // the default one, looked up once
  std::string output, db, csv, text;
  std::vector<std::string> words;  // search's QUERY, and its archive before it; sources' action
  std::vector<std::string> roots;  // archive's ROOTs
  std::string archive_mask = archive::kArchiveMask;
  std::string format, query_text;  // export-archive's
  bool only_matching = false;
  CatalogueOptions catalogue;
  ExportOptions export_options;
  archive::SearchOptions search;
  bool quiet = false, csv_rows = false, fts = false, prune = false;
  CLI::App* command = nullptr;  // the subcommand given
};

// Where a command reads and writes, and what it may be told.
struct Shell {
  Env& env;
  std::ostream& out;
  std::ostream& err;
  bool err_is_terminal, out_is_terminal;
  StopFlag stop;
  BlockSource* blocks;
};

// False, with the reason on stderr, when a default in the output folder is
// needed and there is no output folder.
bool HaveOutputFolder(const Request& rq, Shell& sh);

// Each problem of a run on stderr, once, with its reason; and on a terminal
// the progress, against a total counted before the work.
class RunReporter : public RunObserver {
 public:
  RunReporter(std::ostream& err, bool draw) : line_(err, draw), draw_(draw) {}
  bool WantsTotal() const override { return draw_; }
  void OnTotal(int64_t logs, uint64_t bytes) override { line_.SetTotal(logs, bytes); }
  void OnLogDone(uint64_t bytes, int64_t lines) override { line_.Step(bytes, lines); }
  void OnProblem(const Problem& problem) override { line_.Print(ProblemLine(problem)); }

 private:
  ProgressLine line_;
  const bool draw_;
};

// What the program printed must have reached its standard output. A reader
// that stopped early (head) closed the pipe: the output ends quietly, with
// the status a shell gives a program that SIGPIPE ended.
int CheckOutput(std::ostream& out, std::ostream& err, int status);

// An empty text names no file: never the current folder or the root.
void NotEmpty(const std::string& value, const char* what);

// One command's tables and window, fresh for each command.
struct Session {
  LoadedLog log;
  Catalogue catalogue;
  ConsoleWindow window;
  Context ctx;
  Session(Env& env, std::string output_folder, StopFlag stop, RunObserver* observer = nullptr,
          BlockSource* blocks = nullptr)
      : catalogue(blocks), ctx{log,      catalogue, window, env, std::move(output_folder),
                               observer, stop} {}
};

// Loads the log at path, exactly as named (the shell took any quotes away),
// and lists it in the pane; the reason for a failure goes to err.
LoadResult LoadLog(Session& session, const std::string& path, std::ostream& err);

// The options of the two walks of a tree, catalogue and archive.
void DeclareTree(CLI::App* c, Request& rq);
void CheckTree(CLI::App* c, const Request& rq);
// The filters search and export-archive both take.
void DeclareFilters(CLI::App* c, Request& rq);
// False, with the reason on stderr, when --person names nobody in db.
bool PersonThere(Shell& sh, const std::string& db, const std::string& person);
void CheckFilters(CLI::App* c, const Request& rq);
// False, having said so, when there is no file at db, or one that cannot be
// an archive: a pipe or a device would keep the program waiting on its open.
bool ArchiveThere(Shell& sh, const std::string& db);

// Each command: its options, the checks the parser cannot make (throwing
// Usage), and its run, which returns the exit status.
void DeclareView(CLI::App* c, Request& rq);
void CheckView(CLI::App* c, const Request& rq);
int RunView(const Request& rq, Shell& sh);
void DeclareCatalogue(CLI::App* c, Request& rq);
void CheckCatalogue(CLI::App* c, const Request& rq);
int RunCatalogue(const Request& rq, Shell& sh);
void DeclareExport(CLI::App* c, Request& rq);
void CheckExport(CLI::App* c, const Request& rq);
int RunExport(const Request& rq, Shell& sh);
void DeclareArchive(CLI::App* c, Request& rq);
void CheckArchive(CLI::App* c, const Request& rq);
int RunArchive(const Request& rq, Shell& sh);
void DeclareSources(CLI::App* c, Request& rq);
void CheckSources(CLI::App* c, const Request& rq);
int RunSources(const Request& rq, Shell& sh);
void DeclarePeople(CLI::App* c, Request& rq);
void CheckPeople(CLI::App* c, const Request& rq);
int RunPeople(const Request& rq, Shell& sh);
void DeclareSearch(CLI::App* c, Request& rq);
void CheckSearch(CLI::App* c, const Request& rq);
int RunSearch(const Request& rq, Shell& sh);
void DeclareExportArchive(CLI::App* c, Request& rq);
void CheckExportArchive(CLI::App* c, const Request& rq);
int RunExportArchive(const Request& rq, Shell& sh);

}  // namespace chatterwick::cli
