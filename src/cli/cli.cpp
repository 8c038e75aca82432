#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "archive/archive.h"
#include "archive/export.h"
#include "archive/search.h"
#include "cli/console_window.h"
#include "cli/progress.h"
#include "cli/terminal.h"
#include "core/catalogue.h"
#include "core/commands.h"
#include "core/csv.h"
#include "core/log_view.h"
#include "core/messages.h"
#include "core/output_folder.h"
#include "core/path.h"
#include "core/text.h"

namespace chatterwick::cli {

namespace {

constexpr const char* kVersion = "chatterwick-cli 0.1.0";
constexpr const char* kNotes =
    "CSV files begin with the UTF-8 byte-order mark and are safe to open in a\n"
    "spreadsheet: a text that would start a formula (= + - @) gets an apostrophe in\n"
    "front. --no-bom leaves out the mark and writes every field as read.\n"
    "\n"
    "Exit status: 0 done, 1 a file or folder could not be read or written (for search:\n"
    "no message matched), 2 wrong arguments, 130 or 143 stopped by Ctrl+C or SIGTERM.\n";
constexpr const char* kUsage =
    "chatterwick-cli (view | catalogue | export | archive | search | export-archive) ...";

struct Usage {
  std::string problem;
};

constexpr int kClosedPipeStatus = 128 + 13;  // SIGPIPE

// What the command line asked for, once parsed.
struct Request {
  std::string path;           // LOG or ROOT
  std::string output_folder;  // the default one, looked up once
  std::string output, db, csv, text;
  std::vector<std::string> words;  // search's QUERY, and its archive before it
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
bool HaveOutputFolder(const Request& rq, Shell& sh) {
  if (!rq.output_folder.empty()) return true;
  sh.err << "chatterwick-cli: " << kNoOutputFolder << "; name one with --output or --db.\n";
  return false;
}

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
int CheckOutput(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  if (out) return status;
  if (errno == EPIPE) return kClosedPipeStatus;
  err << "chatterwick-cli: could not write to standard output\n";
  return 1;
}

// An empty text names no file: never the current folder or the root.
void NotEmpty(const std::string& value, const char* what) {
  if (value.empty()) throw Usage{std::string(what) + " must not be empty"};
}

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
LoadResult LoadLog(Session& session, const std::string& path, std::ostream& err) {
  LoadResult loaded = LoadLogFile(session.log, session.ctx.env, path);
  if (!loaded.status.ok()) err << LoadFailureLine(path, loaded.status) << '\n';
  ShowLog(session.log, session.window);
  return loaded;
}

// ---- view ----

void DeclareView(CLI::App* c, Request& rq) {
  c->add_option("LOG", rq.path, "the log file")->required();
}

void CheckView(CLI::App*, const Request& rq) { NotEmpty(rq.path, "LOG"); }

int RunView(const Request& rq, Shell& sh) {
  Session session(sh.env, rq.output_folder, {});
  const LoadResult loaded = LoadLog(session, rq.path, sh.err);
  if (sh.stop.Requested()) return sh.stop.ExitCode();
  std::string listing = ExtractTitle(session.log.RawLines[0]) + '\n' + session.window.PaneAsLines();
  if (sh.out_is_terminal) listing = ForTerminal(listing);
  // In pieces, so that a stop does not wait for a huge listing to be written.
  constexpr size_t kPiece = size_t{1} << 20;
  for (size_t at = 0; at < listing.size() && sh.out; at += kPiece) {
    if (sh.stop.Requested()) return sh.stop.ExitCode();
    sh.out.write(listing.data() + at,
                 static_cast<std::streamsize>(std::min(kPiece, listing.size() - at)));
  }
  const int status = CheckOutput(sh.out, sh.err, loaded.status.ok() ? 0 : 1);
  return sh.stop.Requested() ? sh.stop.ExitCode() : status;
}

// ---- catalogue and archive: the two walks of a tree ----

void DeclareTree(CLI::App* c, Request& rq) {
  c->add_option("ROOT", rq.path, "the log tree's root folder")->required();
  c->add_option("-m,--mask", rq.catalogue.mask, "which files are logs")->default_str("*.html");
  c->add_flag_callback(
      "--one-thread", [&rq] { rq.catalogue.read_ahead = false; },
      "read the logs on the same thread that stores them (the same result, slower)");
}

void CheckTree(CLI::App* c, const Request& rq) {
  NotEmpty(rq.path, "ROOT");
  if (c->count("--mask")) NotEmpty(rq.catalogue.mask, "PATTERN");
}

void DeclareCatalogue(CLI::App* c, Request& rq) {
  c->footer(
      "Walks ROOT (protocol, account and contact folders, then the logs) and writes\n"
      "protocols.csv, accounts.csv, contacts.csv, conversations.csv and chat.csv into\n"
      "DIR. The five files are replaced together when the run is complete, or not at\n"
      "all; one run at a time may write into DIR.");
  DeclareTree(c, rq);
  c->add_flag_callback(
      "--no-bom", [&rq] { rq.catalogue.write_bom = false; },
      "no byte-order mark; every field as read");
  c->add_option("-o,--output", rq.output, "where the files go (default: " + rq.output_folder + ")");
  c->add_flag("-q,--quiet", rq.quiet, "no progress and no \"Files written\" line");
}

void CheckCatalogue(CLI::App* c, const Request& rq) {
  NotEmpty(rq.path, "ROOT");
  if (c->count("--output")) NotEmpty(rq.output, "DIR");
  CheckTree(c, rq);
}

int RunCatalogueCommand(const Request& rq, Shell& sh) {
  if (rq.output.empty() && !HaveOutputFolder(rq, sh)) return 1;
  const std::string folder = path::WithFinalSeparator(
      rq.output.empty() ? rq.output_folder : rq.output, sh.env.Separator());
  std::optional<RunReporter> reporter;
  reporter.emplace(sh.err, TerminalTakesColour(sh.env, sh.err_is_terminal) && !rq.quiet);
  Session session(sh.env, folder, sh.stop, &*reporter, sh.blocks);
  const FolderRunResult result = RunCatalogue(session.ctx, rq.catalogue, rq.path);
  reporter.reset();
  switch (result.outcome) {
    case RunOutcome::kWritten:
    case RunOutcome::kNotWritten: {
      sh.out << AsLines(FolderRunReport(result, folder, false));
      const bool written = result.outcome == RunOutcome::kWritten;
      if (written && !rq.quiet) sh.err << "Files written to " << folder << '\n';
      return CheckOutput(sh.out, sh.err, written && result.all_read ? 0 : 1);
    }
    case RunOutcome::kStopped:
      sh.err << "chatterwick-cli: stopped; nothing in " << folder << " was replaced\n";
      return sh.stop.ExitCode();
    case RunOutcome::kNoLogs:
      sh.err << AsLines(FolderRunReport(result, folder, false));
      return 1;
    default:
      // Nothing was read: there is no summary, only why, told already.
      return 1;
  }
}

void DeclareArchive(CLI::App* c, Request& rq) {
  c->footer(
      "Every log and line, with full time stamps and full-text search, and no limit on\n"
      "logs or lines. A later run reads only new and changed logs; logs gone from the\n"
      "disk stay (unless --prune), but a log moved or renamed is not kept twice.");
  DeclareTree(c, rq);
  c->add_option("--db", rq.db,
                "the archive (default: " + rq.output_folder + archive::kArchiveFile + ")");
  c->add_flag("-q,--quiet", rq.quiet, "no progress");
  c->add_flag("--prune", rq.prune, "remove the conversations of logs gone from the disk");
}

void CheckArchive(CLI::App* c, const Request& rq) {
  NotEmpty(rq.path, "ROOT");
  if (c->count("--db")) NotEmpty(rq.db, "FILE");
  CheckTree(c, rq);
}

void PrintArchiveSummary(std::ostream& out, const archive::ArchiveSummary& m, double secs,
                         const std::string& db) {
  char taken[32];
  std::snprintf(taken, sizeof taken, "%.2f", secs);
  out << "Logs found: " << m.logs_found << "\n  new: " << m.new_logs
      << ", changed: " << m.changed_logs << ", unchanged: " << m.unchanged_logs
      << ", could not be read: " << m.unreadable_logs
      << "\nLogs in the archive but no longer found here: " << m.gone_logs;
  if (m.moved_logs > 0) out << "\nLogs found again at another place (kept once): " << m.moved_logs;
  if (m.pruned_logs > 0) out << "\nConversations removed (--prune): " << m.pruned_logs;
  out << "\nFolders that could not be read: " << m.unreadable_folders
      << "\nMessages added: " << m.messages_added
      << "\nMessages in the archive: " << m.messages_total
      << "\nTime stamps that could not be read: " << m.unreadable_stamps
      << "\nTime taken: " << taken << " s\nArchive: " << db << '\n';
}

int RunArchiveCommand(const Request& rq, Shell& sh) {
  std::string db = rq.db;
  if (db.empty()) {
    if (!HaveOutputFolder(rq, sh)) return 1;
    const std::string& folder = rq.output_folder;
    if (Status made = sh.env.CreateFolders(folder); !made.ok()) {
      sh.err << WriteFailureMessage(folder, made) << '\n';
      return 1;
    }
    db = folder + archive::kArchiveFile;
  }
  const auto start = std::chrono::steady_clock::now();
  std::optional<RunReporter> reporter;
  reporter.emplace(sh.err, TerminalTakesColour(sh.env, sh.err_is_terminal) && !rq.quiet);
  const archive::ArchiveResult r = archive::RunArchive(
      sh.env, rq.path, db, rq.catalogue.mask, &*reporter, sh.stop,
      rq.prune ? archive::GoneLogs::kPrune : archive::GoneLogs::kKeep, rq.catalogue.read_ahead);
  reporter.reset();
  switch (r.outcome) {
    case archive::ArchiveOutcome::kRootUnreadable:
    case archive::ArchiveOutcome::kBusy:
      sh.err << r.why.message() << '\n';
      return 1;
    case archive::ArchiveOutcome::kNoLogs:
      sh.err << AsLines(r.why.message()) << '\n';
      return 1;
    case archive::ArchiveOutcome::kDatabaseError:
      sh.err << "chatterwick-cli: the archive " << db << " could not be used: " << r.why.message()
             << '\n';
      return 1;
    case archive::ArchiveOutcome::kStopped:
      sh.err << "chatterwick-cli: stopped; the logs read so far are in " << db
             << ", the next run reads the rest\n";
      return sh.stop.ExitCode();
    case archive::ArchiveOutcome::kDone:
      break;
  }
  PrintArchiveSummary(
      sh.out, r.summary,
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), db);
  const bool all_read = r.summary.unreadable_logs == 0 && r.summary.unreadable_folders == 0;
  return CheckOutput(sh.out, sh.err, all_read ? 0 : 1);
}

// ---- export ----

// "-" as FILE: standard output.
constexpr const char* kStandardOutput = "-";

void DeclareExport(CLI::App* c, Request& rq) {
  c->footer(
      "--csv adds the rows after what FILE holds; --text replaces FILE. \"-\" is standard\n"
      "output. FILE changes only when the save is complete.");
  c->add_option("LOG", rq.path, "the log file")->required();
  CLI::Option* csv = c->add_option("--csv", rq.csv, "save as CSV");
  CLI::Option* text = c->add_option("--text", rq.text, "save the listing as text");
  csv->excludes(text);
  c->add_flag_callback(
       "--no-bom", [&rq] { rq.export_options.write_bom = false; },
       "no byte-order mark; every field as read")
      ->excludes(text);
}

void CheckExport(CLI::App* c, const Request& rq) {
  NotEmpty(rq.path, "LOG");
  if (c->count("--csv") + c->count("--text") != 1)
    throw Usage{"export needs one of --csv FILE or --text FILE"};
  NotEmpty(c->count("--csv") ? rq.csv : rq.text, "FILE");
}

int RunExport(const Request& rq, Shell& sh) {
  const bool csv = !rq.csv.empty();
  Session session(sh.env, rq.output_folder, sh.stop);
  const LoadResult loaded = LoadLog(session, rq.path, sh.err);
  // A log that was not read has nothing worth saving; one that was too long
  // for the table is saved as far as it was read, and still reported.
  if (!loaded.stored) return 1;
  const int status = loaded.status.ok() ? 0 : 1;
  const std::string& target = csv ? rq.csv : rq.text;
  if (target == kStandardOutput) {
    // A stream, not a file for a spreadsheet: no mark.
    sh.out << (csv ? commands::CsvExportText(session.log, CsvTextFor(rq.export_options.write_bom))
                   : commands::TextExportText(session.window));
    return CheckOutput(sh.out, sh.err, status);
  }
  Status s = csv ? commands::SaveLogAsCsvTo(session.ctx, rq.export_options, target)
                 : commands::SaveLogAsTextTo(session.ctx, target);
  if (sh.stop.Requested()) return sh.stop.ExitCode();
  if (!s.ok()) {
    sh.err << WriteFailureMessage(target, s) << '\n';
    return 1;
  }
  return status;
}

// ---- search ----

// The filters search and export-archive both take.
void DeclareFilters(CLI::App* c, Request& rq) {
  c->add_option("--contact", rq.search.contact, "part of the contact's name");
  c->add_option("--account", rq.search.account, "part of the account's name");
  c->add_option("--protocol", rq.search.protocol, "part of the protocol's name");
  c->add_option("--sender", rq.search.sender, "part of the sender's name");
  auto date = [](const std::string& d) {
    return archive::IsDate(d) ? std::string()
                              : "a date from 1000-01-01 to 9999-12-31 as YYYY-MM-DD, not " + d;
  };
  c->add_option("--from", rq.search.from, "from this day (YYYY-MM-DD), included")
      ->check(CLI::Validator(date, "DATE"));
  c->add_option("--to", rq.search.to, "to this day (YYYY-MM-DD), all of it included")
      ->check(CLI::Validator(date, "DATE"));
}

void CheckFilters(CLI::App* c, const Request& rq) {
  if (c->count("--db")) NotEmpty(rq.db, "FILE");
  const archive::SearchOptions& o = rq.search;
  if (!o.from.empty() && !o.to.empty() && o.from > o.to)
    throw Usage{"--from " + o.from + " is later than --to " + o.to};
}

void DeclareSearch(CLI::App* c, Request& rq) {
  c->footer(
      "QUERY is plain text: words and anything typed between blanks match as written\n"
      "(letter case and accents ignored), \"a phrase\" in double quotes, OR between two\n"
      "terms, -word or NOT word leaves out messages with it, word* matches a prefix.\n"
      "--fts passes QUERY to SQLite's FTS5 unchanged. Put -- before a QUERY that begins\n"
      "with -. Without --db, a first word that names an archive file is the archive.\n"
      "Hits come in time order. The names match a part, letter case and accents\n"
      "ignored. Exit status 1: no message matched.");
  c->add_option("QUERY", rq.words, "what to find");
  c->add_option("--db", rq.db,
                "the archive (default: " + rq.output_folder + archive::kArchiveFile + ")");
  c->add_flag("--fts", rq.fts, "QUERY in FTS5's own syntax");
  DeclareFilters(c, rq);
  c->add_option("--limit", rq.search.limit, "at most N messages")->check(CLI::PositiveNumber);
  c->add_flag("--csv", rq.csv_rows, "CSV rows with a header");
  c->add_flag("--present", rq.search.present_only,
              "only conversations whose logs are still on the disk");
}

void CheckSearch(CLI::App* c, const Request& rq) {
  CheckFilters(c, rq);
  for (const std::string& word : rq.words) NotEmpty(word, "QUERY");
}

// The SQLite file's first bytes: a word of a query is never taken for one.
bool IsDatabaseFile(Env& env, const std::string& path) {
  static constexpr std::string_view kHeader("SQLite format 3\0", 16);
  // Opening a pipe would wait for a writer that may never come.
  FileKind kind = FileKind::kOther;
  if (!env.GetFileKind(path, &kind).ok() || kind != FileKind::kRegular) return false;
  std::unique_ptr<SequentialFile> file;
  if (!env.NewSequentialFile(path, &file).ok()) return false;
  char head[16];
  size_t got = 0;
  return file->Read(sizeof head, head, &got).ok() && std::string_view(head, got) == kHeader;
}

// False, having said so, when there is no file at db, or one that cannot be
// an archive: a pipe or a device would keep the program waiting on its open.
bool ArchiveThere(Shell& sh, const std::string& db) {
  FileKind kind = FileKind::kOther;
  const Status s = sh.env.GetFileKind(db, &kind);
  if (s.IsNotFound()) {
    sh.err << "chatterwick-cli: there is no archive " << db
           << " (chatterwick-cli archive ROOT makes it)\n";
    return false;
  }
  if (s.ok() && kind != FileKind::kRegular) {
    sh.err << "chatterwick-cli: " << db << " is not an archive: not a regular file\n";
    return false;
  }
  return true;
}

std::string HitLine(const archive::SearchHit& h, bool csv) {
  const std::string& when = h.sent_at.empty() ? h.time_text : h.sent_at;
  if (csv)
    return FormatCsvRow({when, h.protocol, h.account, h.contact, h.sender, h.body},
                        CsvText::kSpreadsheetSafe) +
           "\r\n";
  std::string line = when + "  " + h.protocol + '/' + h.account + '/' + h.contact + "  ";
  if (h.kind == "action") line += "* " + h.sender + ' ';
  else if (!h.sender.empty()) line += h.sender + ": ";
  return line.append(text::TrimBlanks(h.body)) + '\n';
}

int RunSearch(const Request& rq, Shell& sh) {
  std::vector<std::string> words = rq.words;
  std::string db = rq.db;
  if (db.empty() && !words.empty() && IsDatabaseFile(sh.env, words[0])) {
    db = words[0];
    words.erase(words.begin());
  }
  if (db.empty() && !HaveOutputFolder(rq, sh)) return 1;
  if (db.empty()) db = rq.output_folder + archive::kArchiveFile;
  if (!ArchiveThere(sh, db)) return 2;
  std::string typed;
  for (const std::string& w : words) typed += (typed.empty() ? "" : " ") + w;
  archive::SearchOptions options = rq.search;
  if (Status s = rq.fts ? Status::OK() : archive::TranslateQuery(typed, &options.query); !s.ok()) {
    sh.err << "chatterwick-cli search: " << s.message() << '\n';
    return 2;
  }
  if (rq.fts) options.query = archive::RawFtsQuery(typed);
  const bool csv = rq.csv_rows, terminal = sh.out_is_terminal;
  const bool colour = TerminalTakesColour(sh.env, terminal);
  if (terminal && !csv) options.mark_start = kMarkStart, options.mark_end = kMarkEnd;
  auto print = [&](const std::string& line) {
    sh.out << (terminal ? ForTerminal(line, colour ? "\033[1;33m" : "", colour ? "\033[0m" : "")
                        : line);
    return static_cast<bool>(sh.out);
  };
  int64_t hits = 0;
  if (csv)
    print(FormatCsvRow({"sent_at", "protocol", "account", "contact", "sender", "body"}) + "\r\n");
  const Status s = archive::Search(
      db, options,
      [&](const archive::SearchHit& h) {
        ++hits;
        return print(HitLine(h, csv));
      },
      sh.stop);
  if (sh.stop.Requested()) return sh.stop.ExitCode();
  if (s.IsBusy()) {
    sh.err << "chatterwick-cli: " << db << " is busy (" << s.message()
           << "): another program is writing it. Try again when it has finished.\n";
    return 2;
  }
  if (!s.ok()) {
    sh.err << "chatterwick-cli: " << (s.IsInvalidData() ? db + " is not an archive: " : "search: ")
           << s.message() << '\n';
    return 2;
  }
  const int status = CheckOutput(sh.out, sh.err, hits > 0 ? 0 : 1);
  if (status == 1 && hits == 0) sh.err << "No messages match.\n";
  return status;
}

// ---- export-archive ----

void DeclareExportArchive(CLI::App* c, Request& rq) {
  c->footer(
      "Writes one file per conversation under DIR, as DIR/PROTOCOL/ACCOUNT/CONTACT/START.EXT,\n"
      "or everything into FILE with --single (\"-\": standard output). A conversation is\n"
      "exported when any of its messages is selected by the filters and --query (the\n"
      "search's plain text); --only-matching exports those messages alone. A later run\n"
      "into the same DIR with the same options rewrites only what changed.");
  c->add_option("--db", rq.db,
                "the archive (default: " + rq.output_folder + archive::kArchiveFile + ")");
  c->add_option("--format", rq.format, "html, txt, json, jsonl or csv")
      ->required()
      ->check(CLI::IsMember({"html", "txt", "json", "jsonl", "csv"}));
  CLI::Option* output = c->add_option("-o,--output", rq.output, "the folder the files go into");
  c->add_option("--single", rq.text, "everything into this one file")->excludes(output);
  c->add_option("--query", rq.query_text, "what the messages say, as search takes it");
  DeclareFilters(c, rq);
  c->add_flag("--only-matching", rq.only_matching, "only the selected messages");
  c->add_flag_callback(
      "--no-bom", [&rq] { rq.export_options.write_bom = false; },
      "CSV without the byte-order mark; every field as read");
  c->add_flag("-q,--quiet", rq.quiet, "no progress");
}

void CheckExportArchive(CLI::App* c, const Request& rq) {
  CheckFilters(c, rq);
  if (c->count("--output") + c->count("--single") != 1)
    throw Usage{"export-archive needs one of --output DIR or --single FILE"};
  NotEmpty(c->count("--output") ? rq.output : rq.text, c->count("--output") ? "DIR" : "FILE");
}

int RunExportArchive(const Request& rq, Shell& sh) {
  if (rq.db.empty() && !HaveOutputFolder(rq, sh)) return 1;
  const std::string db = rq.db.empty() ? rq.output_folder + archive::kArchiveFile : rq.db;
  if (!ArchiveThere(sh, db)) return 2;
  archive::ArchiveExportOptions options;
  options.format = *archive::ExportFormatNamed(rq.format);
  options.selection = rq.search;
  options.only_matching = rq.only_matching;
  options.spreadsheet_safe = rq.export_options.write_bom;
  if (Status s = archive::TranslateQuery(rq.query_text, &options.selection.query); !s.ok()) {
    sh.err << "chatterwick-cli export-archive: " << s.message() << '\n';
    return 2;
  }
  const bool to_stdout = rq.text == kStandardOutput;
  std::ostream& report = to_stdout ? sh.err : sh.out;
  const auto start = std::chrono::steady_clock::now();
  std::optional<RunReporter> reporter;
  reporter.emplace(sh.err, TerminalTakesColour(sh.env, sh.err_is_terminal) && !rq.quiet);
  const std::string where =
      rq.output.empty() ? rq.text : path::WithFinalSeparator(rq.output, sh.env.Separator());
  const archive::ArchiveExportResult r =
      rq.output.empty()
          ? archive::ExportArchiveToFile(
                sh.env, db, to_stdout ? "" : rq.text, options, &*reporter, sh.stop,
                to_stdout ? std::function<bool(std::string_view)>([&](std::string_view text) {
                  sh.out << text;
                  return static_cast<bool>(sh.out);
                })
                          : nullptr)
          : archive::ExportArchiveToFolder(sh.env, db, where, options, &*reporter, sh.stop);
  reporter.reset();
  if (r.stopped) {
    sh.err << "chatterwick-cli: stopped; the files finished so far are in " << where << '\n';
    return sh.stop.ExitCode();
  }
  if (to_stdout && !sh.out && errno == EPIPE) return kClosedPipeStatus;
  if (!r.status.ok()) {
    sh.err << "chatterwick-cli: "
           << (r.status.IsInvalidData() ? db + " is not an archive: " : "export-archive: ")
           << r.status.message() << '\n';
    return r.status.IsInvalidData() ? 2 : 1;
  }
  const archive::ArchiveExportSummary& m = r.summary;
  char taken[32];
  std::snprintf(taken, sizeof taken, "%.2f",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  report << "Conversations exported: " << m.conversations << "\nMessages exported: " << m.messages
         << "\nFiles written: " << m.written << ", unchanged: " << m.unchanged
         << ", removed from the selection: " << m.removed << "\nTime taken: " << taken
         << " s\nOutput: " << (to_stdout ? "standard output" : where) << '\n';
  return CheckOutput(sh.out, sh.err, 0);
}

// ---- the table ----

struct Command {
  const char* name;
  const char* summary;
  const char* usage;  // one line, for a usage error
  void (*declare)(CLI::App*, Request&);
  // Throws Usage for what the parser cannot see, such as an empty text.
  void (*check)(CLI::App*, const Request&);
  int (*run)(const Request&, Shell&);
};

const Command kCommands[] = {
    {"view", "Lists one log: its title, then its chat lines.", "chatterwick-cli view LOG",
     &DeclareView, &CheckView, &RunView},
    {"catalogue", "Catalogues a log tree into five CSV files.",
     "chatterwick-cli catalogue ROOT [-m PATTERN] [--no-bom] [-o DIR] [-q]", &DeclareCatalogue,
     &CheckCatalogue, &RunCatalogueCommand},
    {"export", "Saves one log as CSV or as text.",
     "chatterwick-cli export LOG (--csv FILE [--no-bom] | --text FILE)", &DeclareExport,
     &CheckExport, &RunExport},
    {"archive", "Keeps every log of a tree in an SQLite archive.",
     "chatterwick-cli archive ROOT [--db FILE] [-m PATTERN] [-q]", &DeclareArchive, &CheckArchive,
     &RunArchiveCommand},
    {"search", "Finds messages in an archive.",
     "chatterwick-cli search [QUERY] [--db FILE] [--fts] [--contact TEXT] [--account TEXT] "
     "[--protocol TEXT] [--sender TEXT] [--from DATE] [--to DATE] [--limit N] [--csv] "
     "[-- QUERY that begins with -]",
     &DeclareSearch, &CheckSearch, &RunSearch},
    {"export-archive", "Exports conversations from an archive as HTML, text, JSON or CSV.",
     "chatterwick-cli export-archive [--db FILE] --format html|txt|json|jsonl|csv "
     "(--output DIR | --single FILE) [--query TEXT] [--only-matching] [--contact TEXT] "
     "[--account TEXT] [--protocol TEXT] [--sender TEXT] [--from DATE] [--to DATE] [--no-bom] "
     "[-q]",
     &DeclareExportArchive, &CheckExportArchive, &RunExportArchive},
};

const Command* Find(const std::string& name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

// Letters to change, add or remove to turn a into b.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The command a mistyped name most likely meant, when one is near enough.
const Command* Suggestion(std::string_view typed) {
  const Command* best = nullptr;
  size_t best_distance = 3;  // more than two letters off is another word
  for (const Command& c : kCommands) {
    const std::string_view name = c.name;
    const size_t d =
        name.starts_with(typed) || typed.starts_with(name) ? 1 : EditDistance(typed, name);
    if (d < best_distance) best = &c, best_distance = d;
  }
  return best;
}

// Parses args into rq; returns the exit status when the parse already
// settled it (help, version, a usage error), nothing when the command is to run.
std::optional<int> Parse(const std::vector<std::string>& args, Request& rq, const Command** cmd,
                         std::ostream& out, std::ostream& err) {
  CLI::App app("chatterwick-cli: reads chat logs without a window.", "chatterwick-cli");
  app.set_version_flag("-V,--version", kVersion);
  app.require_subcommand(1, 1);
  app.footer(std::string(kNotes) + "\nThe output folder here: " + rq.output_folder + "\n");
  for (const Command& c : kCommands) c.declare(app.add_subcommand(c.name, c.summary), rq);
  const Command* named = args.empty() ? nullptr : Find(args[0]);
  if (!args.empty() && !named && !args[0].empty() && args[0][0] != '-') {
    const Command* meant = Suggestion(args[0]);
    err << "chatterwick-cli: unknown command \"" << args[0] << "\"";
    if (meant) err << "; did you mean \"" << meant->name << "\"?\n";
    else err << "; usage: " << kUsage << "   (--help for more)\n";
    return 2;
  }
  const std::string prefix =
      std::string("chatterwick-cli") + (named ? " " : "") + (named ? named->name : "") + ": ";
  const char* usage = named ? named->usage : kUsage;
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
    *cmd = Find(app.get_subcommands()[0]->get_name());
    (*cmd)->check(app.get_subcommands()[0], rq);
    return std::nullopt;
  } catch (const CLI::CallForHelp&) {
    CLI::App* sub = app.get_subcommands().empty() ? &app : app.get_subcommands()[0];
    out << sub->help(sub == &app ? "" : "chatterwick-cli");
  } catch (const CLI::CallForAllHelp&) {
    out << app.help();
  } catch (const CLI::CallForVersion&) {
    out << kVersion << '\n';
  } catch (const CLI::ParseError& e) {
    err << prefix << e.what() << "; usage: " << usage << "   (--help for more)\n";
    return 2;
  } catch (const Usage& u) {
    err << prefix << u.problem << "; usage: " << usage << "   (--help for more)\n";
    return 2;
  }
  return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, Env& env, std::ostream& out, std::ostream& err,
        bool err_is_terminal, const std::atomic<int>* stop, bool out_is_terminal,
        BlockSource* blocks) {
  Request rq;
  rq.output_folder = OutputFolder(env);
  const Command* cmd = nullptr;
  if (const std::optional<int> settled = Parse(args, rq, &cmd, out, err)) return *settled;
  Shell shell{env, out, err, err_is_terminal, out_is_terminal, stop, blocks};
  return cmd->run(rq, shell);
}

}  // namespace chatterwick::cli
