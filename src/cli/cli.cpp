#include "cli/cli.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

#include "cli/console_window.h"
#include "core/commands.h"
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
    "      files (default *.html); --quiet hides the progress bar.\n"
    "  chatterwick-cli export LOG --csv FILE [--no-bom]\n"
    "  chatterwick-cli export LOG --text FILE\n"
    "      Saves the log as CSV, or its listing as text, into FILE.\n"
    "\n"
    "CSV files begin with the UTF-8 byte-order mark and are safe to open in a\n"
    "spreadsheet: a text that would start a formula (= + - @) gets an apostrophe in\n"
    "front. --no-bom leaves out the mark and writes every field as read.\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 wrong arguments.\n";

struct Usage {
  std::string problem;
};

// Progress on a terminal: files done of files found so far, lines, time.
class ProgressBar : public WalkObserver {
 public:
  explicit ProgressBar(std::ostream& err) : err_(err), start_(Clock::now()), last_(start_) {}
  ~ProgressBar() override {
    if (drawn_) err_ << "\r\033[K" << std::flush;
  }
  void OnLogsListed(int32_t count) override { found_ += count; }
  void OnLogLoaded(int32_t lines) override {
    ++done_;
    lines_ += lines;
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

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  Clock::time_point start_, last_;
  long long found_ = 0, done_ = 0, lines_ = 0;
  bool drawn_ = false;
};

// The loader's message names the path as the loader saw it: quotes removed.
void ReportLoadFailure(std::ostream& err, std::string path) {
  std::erase(path, '"');
  err << LoadFailureMessage(path) << '\n';
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
  Session(Env& env, std::string output_folder, WalkObserver* observer = nullptr)
      : ctx{log, catalogue, window, env, std::move(output_folder), observer} {}
};

// Takes the value after an option; Usage when there is none.
std::string TakeValue(const std::vector<std::string>& args, size_t* i) {
  if (*i + 1 >= args.size()) throw Usage{args[*i] + " needs a value"};
  return args[++*i];
}

int RunView(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) throw Usage{args.size() < 2 ? "view needs a LOG" : "view takes one LOG"};
  Session session(env, DefaultOutputFolder(env));
  const Status loaded = commands::ViewLog(session.ctx, args[1]);
  out << session.window.title() << '\n' << session.window.PaneAsLines() << std::flush;
  if (!loaded.ok()) {
    ReportLoadFailure(err, args[1]);
    return 1;
  }
  return 0;
}

int RunCatalogue(const std::vector<std::string>& args, Env& env, std::ostream& out,
                 std::ostream& err, bool err_is_terminal) {
  std::optional<std::string> root, output;
  CatalogueOptions options;
  bool quiet = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--mask") options.mask = TakeValue(args, &i);
    else if (a == "--output") output = TakeValue(args, &i);
    else if (a == "--no-bom") options.write_bom = false;
    else if (a == "--quiet") quiet = true;
    else if (a.rfind("--", 0) == 0) throw Usage{"unknown option " + a};
    else if (root) throw Usage{"catalogue takes one ROOT"};
    else root = a;
  }
  if (!root) throw Usage{"catalogue needs a ROOT"};
  const char sep = env.Separator();
  if (!EndsWithSeparator(*root)) *root += sep;
  std::string folder = output ? *output : DefaultOutputFolder(env);
  if (!EndsWithSeparator(folder)) folder += sep;
  // A folder that cannot be made shows as the five files that cannot be written.
  env.CreateFolders(folder).IgnoreError();

  std::optional<ProgressBar> bar;
  if (err_is_terminal && !quiet) bar.emplace(err);
  Session session(env, folder, bar ? &*bar : nullptr);
  const bool ok = commands::FolderRun(session.ctx, options, *root);
  bar.reset();
  out << session.window.PaneAsLines() << std::flush;
  if (!quiet) err << "Files written to " << folder << '\n';
  return ok ? 0 : 1;
}

int RunExport(const std::vector<std::string>& args, Env& env, std::ostream& err) {
  std::optional<std::string> log_path, csv, txt;
  ExportOptions options;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--csv") csv = TakeValue(args, &i);
    else if (a == "--text") txt = TakeValue(args, &i);
    else if (a == "--no-bom") options.write_bom = false;
    else if (a.rfind("--", 0) == 0) throw Usage{"unknown option " + a};
    else if (log_path) throw Usage{"export takes one LOG"};
    else log_path = a;
  }
  if (!log_path) throw Usage{"export needs a LOG"};
  if (csv.has_value() == txt.has_value())
    throw Usage{"export needs one of --csv FILE or --text FILE"};
  if (txt && !options.write_bom) throw Usage{"--no-bom goes with --csv"};

  Session session(env, DefaultOutputFolder(env));
  int status = 0;
  if (!commands::ViewLog(session.ctx, *log_path).ok()) {
    ReportLoadFailure(err, *log_path);
    status = 1;
    // Nothing was read: there is not even a header to save.
    if (session.log.RawLines[0].empty()) return status;
  }
  const std::string& target = csv ? *csv : *txt;
  Status s = csv ? commands::SaveLogAsCsvTo(session.ctx, options, target)
                 : commands::SaveLogAsTextTo(session.ctx, target);
  if (!s.ok()) {
    err << WriteFailureMessage(target, s) << '\n';
    status = 1;
  }
  return status;
}

}  // namespace

int Run(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
        bool err_is_terminal) {
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
    if (cmd == "view") return RunView(args, env, out, err);
    if (cmd == "catalogue") return RunCatalogue(args, env, out, err, err_is_terminal);
    if (cmd == "export") return RunExport(args, env, err);
    throw Usage{"unknown command " + cmd};
  } catch (const Usage& u) {
    err << "chatterwick-cli: " << u.problem << "; " << kUsageLine << '\n';
    return 2;
  }
}

}  // namespace chatterwick::cli
