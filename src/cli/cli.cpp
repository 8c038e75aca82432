#include "cli/cli.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

#include "cli/console_window.h"
#include "core/commands.h"
#include "core/log_view.h"
#include "core/messages.h"

namespace chatterwick::cli {

namespace {

constexpr const char* kVersion = "chatterwick-cli 0.1.0";
constexpr const char* kUsageLine =
    "usage: chatterwick-cli view LOG | catalogue ROOT [--mask PATTERN] [--no-bom] [--output DIR] "
    "[--quiet] | export LOG (--csv FILE [--no-bom] | --text FILE)   (--help for more)";
constexpr const char* kHelp =
    "chatterwick-cli: reads chat logs without a window.\n"
    "\n"
    "  chatterwick-cli view LOG\n"
    "      Lists the log: its title, then one line per chat line (time, sender, message).\n"
    "  chatterwick-cli catalogue ROOT [--mask PATTERN] [--no-bom] [--output DIR] [--quiet]\n"
    "      Catalogues the log tree under ROOT (protocol/account/contact/log files) into\n"
    "      protocols.csv, accounts.csv, contacts.csv, conversations.csv and chat.csv in DIR\n"
    "      (default: the folder \"output\" beside this program). PATTERN picks the log\n"
    "      files (default *.html); --quiet hides the progress bar. The five files are\n"
    "      replaced together when the run is complete, or not at all; one run at a\n"
    "      time may write into DIR.\n"
    "  chatterwick-cli export LOG --csv FILE [--no-bom]\n"
    "  chatterwick-cli export LOG --text FILE\n"
    "      Saves the log as CSV (after what FILE holds), or its listing as text, into\n"
    "      FILE; \"-\" is standard output. FILE changes only when the save is complete.\n"
    "\n"
    "CSV files begin with the UTF-8 byte-order mark and are safe to open in a\n"
    "spreadsheet: a text that would start a formula (= + - @) gets an apostrophe in\n"
    "front. --no-bom leaves out the mark and writes every field as read.\n"
    "\n"
    "Exit status: 0 done, 1 a file or folder could not be read or written, 2 wrong\n"
    "arguments, 130 or 143 stopped by Ctrl+C or SIGTERM (nothing changed).\n";

struct Usage {
  std::string problem;
};

// Each log that could not be loaded, with the reason, on stderr; and on a
// terminal the progress: files done of files found so far, lines, time.
class RunReporter : public WalkObserver {
 public:
  RunReporter(std::ostream& err, bool draw)
      : err_(err), draw_(draw), start_(Clock::now()), last_(start_) {}
  ~RunReporter() override { Erase(); }
  void OnLogsListed(int32_t count) override { found_ += count; }
  void OnLoadFailed(const std::string& path, const Status& why) override {
    Erase();
    err_ << LoadFailureMessage(path) << ": " << LoadFailureReason(why) << '\n';
  }
  void OnLogLoaded(int32_t lines) override {
    ++done_;
    lines_ += lines;
    if (!draw_) return;
    auto now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    double secs = std::chrono::duration<double>(now - start_).count();
    char buf[160];
    std::snprintf(buf, sizeof buf, "\r\033[Klogs %lld/%lld  lines %lld  %.1f s", done_, found_,
                  lines_, secs);
    err_ << buf << std::flush;
  }
  void Erase() {
    if (drawn_) err_ << "\r\033[K" << std::flush;
    drawn_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  const bool draw_;
  Clock::time_point start_, last_;
  long long found_ = 0, done_ = 0, lines_ = 0;
  bool drawn_ = false;
};

void ReportLoadFailure(std::ostream& err, const std::string& path, const Status& why) {
  err << LoadFailureMessage(path) << ": " << LoadFailureReason(why) << '\n';
}

// What the program printed must have reached its standard output.
int CheckOutput(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  if (out) return status;
  err << "chatterwick-cli: could not write to standard output\n";
  return 1;
}

// An empty text names no file: never the current folder or the root.
const std::string& NotEmpty(const std::string& value, const char* what) {
  if (value.empty()) throw Usage{std::string(what) + " must not be empty"};
  return value;
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

// One command's tables and window, fresh for each command.
struct Session {
  LoadedLog log;
  Catalogue catalogue;
  ConsoleWindow window;
  Context ctx;
  Session(Env& env, std::string output_folder, const std::atomic<int>* stop,
          WalkObserver* observer = nullptr)
      : ctx{log, catalogue, window, env, std::move(output_folder), observer, stop} {}
};

// Loads the log at path, exactly as named (the shell took any quotes away),
// and lists it in the pane; the reason for a failure goes to err.
LoadResult LoadLog(Session& session, const std::string& path, std::ostream& err) {
  LoadResult loaded = LoadLogFile(session.log, session.ctx.env, path);
  if (!loaded.status.ok()) ReportLoadFailure(err, path, loaded.status);
  ShowLog(session.log, session.window);
  return loaded;
}

// Takes the value after an option; Usage when there is none.
std::string TakeValue(const std::vector<std::string>& args, size_t* i) {
  if (*i + 1 >= args.size()) throw Usage{args[*i] + " needs a value"};
  return args[++*i];
}

int RunView(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) throw Usage{args.size() < 2 ? "view needs a LOG" : "view takes one LOG"};
  Session session(env, DefaultOutputFolder(env), nullptr);
  const LoadResult loaded = LoadLog(session, NotEmpty(args[1], "LOG"), err);
  out << ExtractTitle(session.log.RawLines[0]) << '\n' << session.window.PaneAsLines();
  return CheckOutput(out, err, loaded.status.ok() ? 0 : 1);
}

int RunCatalogue(const std::vector<std::string>& args, Env& env, std::ostream& out,
                 std::ostream& err, bool err_is_terminal, const std::atomic<int>* stop) {
  std::optional<std::string> root, output;
  CatalogueOptions options;
  bool quiet = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--mask") options.mask = NotEmpty(TakeValue(args, &i), "PATTERN");
    else if (a == "--output") output = NotEmpty(TakeValue(args, &i), "DIR");
    else if (a == "--no-bom") options.write_bom = false;
    else if (a == "--quiet") quiet = true;
    else if (a.rfind("--", 0) == 0) throw Usage{"unknown option " + a};
    else if (root) throw Usage{"catalogue takes one ROOT"};
    else root = NotEmpty(a, "ROOT");
  }
  if (!root) throw Usage{"catalogue needs a ROOT"};
  const char sep = env.Separator();
  if (!EndsWithSeparator(*root)) *root += sep;
  std::string folder = output ? *output : DefaultOutputFolder(env);
  if (!EndsWithSeparator(folder)) folder += sep;

  std::optional<RunReporter> reporter;
  reporter.emplace(err, err_is_terminal && !quiet);
  Session session(env, folder, stop, &*reporter);
  const FolderRunResult result = commands::FolderRun(session.ctx, options, *root);
  reporter.reset();
  switch (result.outcome) {
    case RunOutcome::kWritten:
      out << session.window.PaneAsLines();
      if (!quiet) err << "Files written to " << folder << '\n';
      return CheckOutput(out, err, result.all_read ? 0 : 1);
    case RunOutcome::kNotWritten:
      out << session.window.PaneAsLines();
      return CheckOutput(out, err, 1);
    case RunOutcome::kStopped:
      err << "chatterwick-cli: stopped; nothing in " << folder << " was replaced\n";
      return 128 + stop->load();
    default:
      // Nothing was read: there is no summary, only why.
      err << session.window.PaneAsLines();
      return 1;
  }
}

// "-" as FILE: standard output.
constexpr const char* kStandardOutput = "-";

int RunExport(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
              const std::atomic<int>* stop) {
  std::optional<std::string> log_path, csv, txt;
  ExportOptions options;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--csv") csv = NotEmpty(TakeValue(args, &i), "FILE");
    else if (a == "--text") txt = NotEmpty(TakeValue(args, &i), "FILE");
    else if (a == "--no-bom") options.write_bom = false;
    else if (a.rfind("--", 0) == 0) throw Usage{"unknown option " + a};
    else if (log_path) throw Usage{"export takes one LOG"};
    else log_path = NotEmpty(a, "LOG");
  }
  if (!log_path) throw Usage{"export needs a LOG"};
  if (csv.has_value() == txt.has_value())
    throw Usage{"export needs one of --csv FILE or --text FILE"};
  if (txt && !options.write_bom) throw Usage{"--no-bom goes with --csv"};

  Session session(env, DefaultOutputFolder(env), stop);
  const LoadResult loaded = LoadLog(session, *log_path, err);
  // A log that was not read has nothing worth saving; one that was too long
  // for the table is saved as far as it was read, and still reported.
  if (!loaded.stored) return 1;
  const int status = loaded.status.ok() ? 0 : 1;
  const std::string& target = csv ? *csv : *txt;
  if (target == kStandardOutput) {
    // A stream, not a file for a spreadsheet: no mark.
    out << (csv ? commands::CsvExportText(session.log, CsvTextFor(options.write_bom))
                : commands::TextExportText(session.window));
    return CheckOutput(out, err, status);
  }
  Status s = csv ? commands::SaveLogAsCsvTo(session.ctx, options, target)
                 : commands::SaveLogAsTextTo(session.ctx, target);
  if (stop && stop->load() != 0) return 128 + stop->load();
  if (!s.ok()) {
    err << WriteFailureMessage(target, s) << '\n';
    return 1;
  }
  return status;
}

}  // namespace

int Run(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
        bool err_is_terminal, const std::atomic<int>* stop) {
  try {
    if (args.empty()) throw Usage{"no command given"};
    const std::string& cmd = args[0];
    if (cmd == "--help" || cmd == "-h") {
      out << kHelp;
      return 0;
    }
    if (cmd == "--version") {
      out << kVersion << '\n';
      return 0;
    }
    if (cmd == "view") {
      const int status = RunView(args, env, out, err);
      // The listing is whole, but the user asked for an end: say it was not.
      return stop && stop->load() != 0 ? 128 + stop->load() : status;
    }
    if (cmd == "catalogue") return RunCatalogue(args, env, out, err, err_is_terminal, stop);
    if (cmd == "export") return RunExport(args, env, out, err, stop);
    throw Usage{"unknown command " + cmd};
  } catch (const Usage& u) {
    err << "chatterwick-cli: " << u.problem << "; " << kUsageLine << '\n';
    return 2;
  }
}

}  // namespace chatterwick::cli
