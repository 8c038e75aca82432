#include "cli/cli.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "archive/archive.h"
#include "archive/search.h"
#include "cli/console_window.h"
#include "core/commands.h"
#include "core/csv.h"
#include "core/log_view.h"
#include "core/messages.h"
#include "core/text.h"

namespace chatterwick::cli {

namespace {

constexpr const char* kVersion = "chatterwick-cli 0.1.0";
constexpr const char* kUsageLine =
    "usage: chatterwick-cli view LOG | catalogue ROOT [--mask PATTERN] [--no-bom] [--output DIR] "
    "[--quiet] | export LOG (--csv FILE [--no-bom] | --text FILE) | archive ROOT [--db FILE] "
    "[--mask PATTERN] [--quiet] | search DB [QUERY] [filters]   (--help for more)";
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
    "  chatterwick-cli archive ROOT [--db FILE] [--mask PATTERN] [--quiet]\n"
    "      Keeps every log and line of the tree in the SQLite database FILE (default:\n"
    "      archive.sqlite in the folder \"output\" beside this program), with full time\n"
    "      stamps and full-text search, and no limit on logs or lines. A later run\n"
    "      reads only new and changed logs; logs gone from the disk stay.\n"
    "  chatterwick-cli search DB [QUERY] [--contact TEXT] [--account TEXT]\n"
    "                  [--protocol TEXT] [--sender TEXT] [--from DATE] [--to DATE]\n"
    "                  [--limit N] [--csv]\n"
    "      Lists the messages of the archive DB that match QUERY (words, \"a phrase\",\n"
    "      OR, NOT, prefix*) and the filters, in time order. The names match a part,\n"
    "      letter case ignored; --from and --to take YYYY-MM-DD and include the whole\n"
    "      day. --csv writes CSV rows with a header. Exit status 1: no message matched.\n"
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

// Progress of an archive run on a terminal: logs and bytes done of those
// listed before the first was read, the share, and the time left.
class ArchiveReporter : public archive::ArchiveObserver {
 public:
  ArchiveReporter(std::ostream& err, bool draw)
      : err_(err), draw_(draw), start_(Clock::now()), last_(start_) {}
  ~ArchiveReporter() override { Erase(); }
  void OnListed(int64_t logs, uint64_t bytes) override {
    logs_ = logs;
    bytes_ = bytes;
  }
  void OnLogDone(uint64_t bytes, int64_t messages) override {
    ++done_;
    done_bytes_ += bytes;
    messages_ += messages;
    if (!draw_) return;
    const auto now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    const double secs = std::chrono::duration<double>(now - start_).count();
    // Weighed by bytes, so that one long log does not hold the share still.
    const double share = bytes_ ? static_cast<double>(done_bytes_) / static_cast<double>(bytes_)
                                : static_cast<double>(done_) / std::max<int64_t>(logs_, 1);
    char left[32] = "";
    if (share > 0.01) std::snprintf(left, sizeof left, "  %.0f s left", secs / share - secs);
    char buf[160];
    std::snprintf(buf, sizeof buf, "\r\033[Klogs %lld/%lld  %.0f%%  messages %lld%s",
                  static_cast<long long>(done_), static_cast<long long>(logs_), share * 100,
                  static_cast<long long>(messages_), left);
    err_ << buf << std::flush;
  }
  void OnProblem(const std::string& message) override {
    Erase();
    err_ << message << '\n';
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
  int64_t logs_ = 0, done_ = 0, messages_ = 0;
  uint64_t bytes_ = 0, done_bytes_ = 0;
  bool drawn_ = false;
};

int RunArchive(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
               bool err_is_terminal, const std::atomic<int>* stop) {
  std::optional<std::string> root, db;
  std::string mask = "*.html";
  bool quiet = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--db") db = NotEmpty(TakeValue(args, &i), "FILE");
    else if (a == "--mask") mask = NotEmpty(TakeValue(args, &i), "PATTERN");
    else if (a == "--quiet") quiet = true;
    else if (a.rfind("--", 0) == 0) throw Usage{"unknown option " + a};
    else if (root) throw Usage{"archive takes one ROOT"};
    else root = NotEmpty(a, "ROOT");
  }
  if (!root) throw Usage{"archive needs a ROOT"};
  if (!EndsWithSeparator(*root)) *root += env.Separator();
  if (!db) {
    const std::string folder = DefaultOutputFolder(env);
    Status made = env.CreateFolders(folder);
    if (!made.ok()) {
      err << WriteFailureMessage(folder, made) << '\n';
      return 1;
    }
    db = folder + archive::kArchiveFile;
  }

  const auto start = std::chrono::steady_clock::now();
  std::optional<ArchiveReporter> reporter;
  reporter.emplace(err, err_is_terminal && !quiet);
  const archive::ArchiveResult r = archive::RunArchive(env, *root, *db, mask, &*reporter, stop);
  reporter.reset();
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  switch (r.outcome) {
    case archive::ArchiveOutcome::kRootUnreadable:
    case archive::ArchiveOutcome::kBusy:
      err << r.why.message() << '\n';
      return 1;
    case archive::ArchiveOutcome::kDatabaseError:
      err << "chatterwick-cli: the archive " << *db << " could not be used: " << r.why.message()
          << '\n';
      return 1;
    case archive::ArchiveOutcome::kStopped:
      err << "chatterwick-cli: stopped; the logs read so far are in " << *db
          << ", the next run reads the rest\n";
      return 128 + stop->load();
    case archive::ArchiveOutcome::kDone:
      break;
  }
  const archive::ArchiveSummary& m = r.summary;
  char taken[32];
  std::snprintf(taken, sizeof taken, "%.2f", secs);
  out << "Logs found: " << m.logs_found << "\n  new: " << m.new_logs
      << ", changed: " << m.changed_logs << ", unchanged: " << m.unchanged_logs
      << ", could not be read: " << m.unreadable_logs
      << "\nLogs in the archive but no longer found here: " << m.gone_logs
      << "\nFolders that could not be read: " << m.unreadable_folders
      << "\nMessages added: " << m.messages_added
      << "\nMessages in the archive: " << m.messages_total
      << "\nTime stamps that could not be read: " << m.unreadable_stamps
      << "\nTime taken: " << taken << " s\nArchive: " << *db << '\n';
  const bool all_read = m.unreadable_logs == 0 && m.unreadable_folders == 0;
  return CheckOutput(out, err, all_read ? 0 : 1);
}

int RunSearch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool out_is_terminal) {
  std::optional<std::string> db;
  archive::SearchOptions options;
  bool csv = false;
  auto date = [&](size_t* i) {
    std::string d = TakeValue(args, i);
    if (!archive::IsDate(d)) throw Usage{args[*i - 1] + " takes a date as YYYY-MM-DD, not " + d};
    return d;
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--contact") options.contact = TakeValue(args, &i);
    else if (a == "--account") options.account = TakeValue(args, &i);
    else if (a == "--protocol") options.protocol = TakeValue(args, &i);
    else if (a == "--sender") options.sender = TakeValue(args, &i);
    else if (a == "--from") options.from = date(&i);
    else if (a == "--to") options.to = date(&i);
    else if (a == "--limit") {
      const std::string n = TakeValue(args, &i);
      char* end = nullptr;
      options.limit = std::strtoll(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || options.limit < 1)
        throw Usage{"--limit takes a whole number above 0, not " + n};
    } else if (a == "--csv") csv = true;
    else if (a.rfind("--", 0) == 0) throw Usage{"unknown option " + a};
    else if (!db) db = NotEmpty(a, "DB");
    else if (options.query.empty()) options.query = NotEmpty(a, "QUERY");
    else throw Usage{"search takes one QUERY; put a phrase in quotes"};
  }
  if (!db) throw Usage{"search needs a DB"};
  if (out_is_terminal && !csv) options.mark_start = "\033[1;33m", options.mark_end = "\033[0m";

  int64_t hits = 0;
  if (csv)
    out << FormatCsvRow({"sent_at", "protocol", "account", "contact", "sender", "body"}) << "\r\n";
  const Status s = archive::Search(*db, options, [&](const archive::SearchHit& h) {
    ++hits;
    const std::string& when = h.sent_at.empty() ? h.time_text : h.sent_at;
    if (csv) {
      out << FormatCsvRow({when, h.protocol, h.account, h.contact, h.sender, h.body},
                          CsvText::kSpreadsheetSafe)
          << "\r\n";
      return;
    }
    out << when << "  " << h.protocol << '/' << h.account << '/' << h.contact << "  ";
    if (h.kind == "action") out << "* " << h.sender << ' ';
    else if (!h.sender.empty()) out << h.sender << ": ";
    out << text::TrimBlanks(h.body) << '\n';
  });
  if (!s.ok()) {
    err << "chatterwick-cli: " << (s.IsInvalidData() ? *db + " is not an archive: " : "search: ")
        << s.message() << '\n';
    return 2;
  }
  return CheckOutput(out, err, hits > 0 ? 0 : 1);
}

}  // namespace

int Run(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
        bool err_is_terminal, const std::atomic<int>* stop, bool out_is_terminal) {
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
    if (cmd == "archive") return RunArchive(args, env, out, err, err_is_terminal, stop);
    if (cmd == "search") return RunSearch(args, out, err, out_is_terminal);
    throw Usage{"unknown command " + cmd};
  } catch (const Usage& u) {
    err << "chatterwick-cli: " << u.problem << "; " << kUsageLine << '\n';
    return 2;
  }
}

}  // namespace chatterwick::cli
