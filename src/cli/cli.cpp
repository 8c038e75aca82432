#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <utility>

#include "archive/archive.h"
#include "archive/search.h"
#include "cli/console_window.h"
#include "cli/progress.h"
#include "core/commands.h"
#include "core/csv.h"
#include "core/log_view.h"
#include "core/messages.h"
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

// One line each, for a usage error.
const std::map<std::string, std::string> kUsage = {
    {"", "chatterwick-cli (view | catalogue | export | archive | search) ..."},
    {"view", "chatterwick-cli view LOG"},
    {"catalogue", "chatterwick-cli catalogue ROOT [-m PATTERN] [--no-bom] [-o DIR] [-q]"},
    {"export", "chatterwick-cli export LOG (--csv FILE [--no-bom] | --text FILE)"},
    {"archive", "chatterwick-cli archive ROOT [--db FILE] [-m PATTERN] [-q]"},
    {"search",
     "chatterwick-cli search DB [QUERY] [--contact TEXT] [--account TEXT] [--protocol TEXT] "
     "[--sender TEXT] [--from DATE] [--to DATE] [--limit N] [--csv]"},
};

struct Usage {
  std::string problem;
};

// Each log that could not be loaded, with the reason, on stderr; and on a
// terminal the progress, against a total counted before the walk.
class RunReporter : public WalkObserver {
 public:
  RunReporter(std::ostream& err, bool draw) : line_(err, draw), draw_(draw) {}
  bool WantsTotal() const override { return draw_; }
  void OnTotal(int64_t logs, uint64_t bytes) override { line_.SetTotal(logs, bytes); }
  void OnLogLoaded(int32_t lines, uint64_t bytes) override { line_.Step(bytes, lines); }
  void OnLoadFailed(const std::string& path, const Status& why) override {
    line_.Print(LoadFailureLine(path, why));
  }

 private:
  ProgressLine line_;
  const bool draw_;
};

void ReportLoadFailure(std::ostream& err, const std::string& path, const Status& why) {
  err << LoadFailureLine(path, why) << '\n';
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

// What the command line asked for, once parsed.
struct Request {
  std::string path;           // LOG, ROOT or DB
  std::string output_folder;  // the default one, looked up once
  std::string output, db, csv, text, query;
  CatalogueOptions catalogue;
  ExportOptions export_options;
  archive::SearchOptions search;
  bool quiet = false, csv_rows = false;
};

int RunView(const Request& rq, Env& env, std::ostream& out, std::ostream& err) {
  Session session(env, rq.output_folder, nullptr);
  const LoadResult loaded = LoadLog(session, rq.path, err);
  out << ExtractTitle(session.log.RawLines[0]) << '\n' << session.window.PaneAsLines();
  return CheckOutput(out, err, loaded.status.ok() ? 0 : 1);
}

int RunCatalogue(const Request& rq, Env& env, std::ostream& out, std::ostream& err,
                 bool err_is_terminal, const std::atomic<int>* stop) {
  const CatalogueOptions& options = rq.catalogue;
  const bool quiet = rq.quiet;
  const char sep = env.Separator();
  std::optional<std::string> root = rq.path;
  if (!EndsWithSeparator(*root)) *root += sep;
  std::string folder = rq.output.empty() ? rq.output_folder : rq.output;
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

int RunExport(const Request& rq, Env& env, std::ostream& out, std::ostream& err,
              const std::atomic<int>* stop) {
  const ExportOptions& options = rq.export_options;
  const bool csv = !rq.csv.empty();
  Session session(env, rq.output_folder, stop);
  const LoadResult loaded = LoadLog(session, rq.path, err);
  // A log that was not read has nothing worth saving; one that was too long
  // for the table is saved as far as it was read, and still reported.
  if (!loaded.stored) return 1;
  const int status = loaded.status.ok() ? 0 : 1;
  const std::string& target = csv ? rq.csv : rq.text;
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

// An archive run's progress and problems, as the catalogue's.
class ArchiveReporter : public archive::ArchiveObserver {
 public:
  ArchiveReporter(std::ostream& err, bool draw) : line_(err, draw) {}
  void OnListed(int64_t logs, uint64_t bytes) override { line_.SetTotal(logs, bytes); }
  void OnLogDone(uint64_t bytes, int64_t messages) override { line_.Step(bytes, messages); }
  void OnProblem(const std::string& message) override { line_.Print(message); }

 private:
  ProgressLine line_;
};

int RunArchive(const Request& rq, Env& env, std::ostream& out, std::ostream& err,
               bool err_is_terminal, const std::atomic<int>* stop) {
  std::optional<std::string> root = rq.path;
  std::optional<std::string> db;
  if (!rq.db.empty()) db = rq.db;
  const std::string& mask = rq.catalogue.mask;
  const bool quiet = rq.quiet;
  if (!EndsWithSeparator(*root)) *root += env.Separator();
  if (!db) {
    const std::string& folder = rq.output_folder;
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

int RunSearch(const Request& rq, std::ostream& out, std::ostream& err, bool out_is_terminal) {
  const std::optional<std::string> db = rq.path;
  archive::SearchOptions options = rq.search;
  options.query = rq.query;
  const bool csv = rq.csv_rows;
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
  Request rq;
  rq.output_folder = OutputFolder(env);
  CLI::App app("chatterwick-cli: reads chat logs without a window.", "chatterwick-cli");
  app.set_version_flag("-V,--version", kVersion);
  app.require_subcommand(1, 1);
  app.footer(std::string(kNotes) + "\nThe output folder here: " + rq.output_folder + "\n");

  CLI::App* view = app.add_subcommand("view", "Lists one log: its title, then its chat lines.");
  view->add_option("LOG", rq.path, "the log file")->required();

  CLI::App* catalogue =
      app.add_subcommand("catalogue", "Catalogues a log tree into five CSV files.");
  catalogue->footer(
      "Walks ROOT (protocol, account and contact folders, then the logs) and writes\n"
      "protocols.csv, accounts.csv, contacts.csv, conversations.csv and chat.csv into\n"
      "DIR. The five files are replaced together when the run is complete, or not at\n"
      "all; one run at a time may write into DIR.");
  // Both walks of a tree take its root and the mask of its logs.
  auto tree_options = [&rq](CLI::App* walk) {
    walk->add_option("ROOT", rq.path, "the log tree's root folder")->required();
    walk->add_option("-m,--mask", rq.catalogue.mask, "which files are logs")->default_str("*.html");
  };
  tree_options(catalogue);
  catalogue->add_flag_callback(
      "--no-bom", [&rq] { rq.catalogue.write_bom = false; },
      "no byte-order mark; every field as read");
  catalogue->add_option("-o,--output", rq.output,
                        "where the files go (default: " + rq.output_folder + ")");
  catalogue->add_flag("-q,--quiet", rq.quiet, "no progress and no \"Files written\" line");

  CLI::App* export_log = app.add_subcommand("export", "Saves one log as CSV or as text.");
  export_log->footer(
      "--csv adds the rows after what FILE holds; --text replaces FILE. \"-\" is standard\n"
      "output. FILE changes only when the save is complete.");
  export_log->add_option("LOG", rq.path, "the log file")->required();
  CLI::Option* csv = export_log->add_option("--csv", rq.csv, "save as CSV");
  CLI::Option* text = export_log->add_option("--text", rq.text, "save the listing as text");
  csv->excludes(text);
  CLI::Option* no_bom = export_log->add_flag_callback(
      "--no-bom", [&rq] { rq.export_options.write_bom = false; },
      "no byte-order mark; every field as read");
  no_bom->excludes(text);

  CLI::App* archive_tree =
      app.add_subcommand("archive", "Keeps every log of a tree in an SQLite archive.");
  archive_tree->footer(
      "Every log and line, with full time stamps and full-text search, and no limit on\n"
      "logs or lines. A later run reads only new and changed logs; logs gone from the\n"
      "disk stay.");
  tree_options(archive_tree);
  archive_tree->add_option(
      "--db", rq.db, "the archive (default: " + rq.output_folder + archive::kArchiveFile + ")");
  archive_tree->add_flag("-q,--quiet", rq.quiet, "no progress");

  CLI::App* search = app.add_subcommand("search", "Finds messages in an archive.");
  search->footer(
      "QUERY: words, \"a phrase\", OR, NOT, prefix*. Hits come in time order. The names\n"
      "match a part, letter case ignored. Exit status 1: no message matched.");
  search->add_option("DB", rq.path, "the archive")->required();
  search->add_option("QUERY", rq.query, "what to find, in FTS5's syntax");
  search->add_option("--contact", rq.search.contact, "part of the contact's name");
  search->add_option("--account", rq.search.account, "part of the account's name");
  search->add_option("--protocol", rq.search.protocol, "part of the protocol's name");
  search->add_option("--sender", rq.search.sender, "part of the sender's name");
  auto date = [](const std::string& d) {
    return archive::IsDate(d) ? std::string() : "a date as YYYY-MM-DD, not " + d;
  };
  search->add_option("--from", rq.search.from, "from this day (YYYY-MM-DD), included")
      ->check(CLI::Validator(date, "DATE"));
  search->add_option("--to", rq.search.to, "to this day (YYYY-MM-DD), all of it included")
      ->check(CLI::Validator(date, "DATE"));
  search->add_option("--limit", rq.search.limit, "at most N messages")->check(CLI::PositiveNumber);
  search->add_flag("--csv", rq.csv_rows, "CSV rows with a header");

  std::string command;
  try {
    if (!args.empty() && kUsage.count(args[0])) command = args[0];
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
    // An empty text names no file: never the current folder or the root.
    const char* what = view->parsed() || export_log->parsed() ? "LOG"
                       : search->parsed()                     ? "DB"
                                                              : "ROOT";
    NotEmpty(rq.path, what);
    if (catalogue->count("--output")) NotEmpty(rq.output, "DIR");
    if (archive_tree->count("--db")) NotEmpty(rq.db, "FILE");
    if ((catalogue->parsed() && catalogue->count("--mask")) ||
        (archive_tree->parsed() && archive_tree->count("--mask")))
      NotEmpty(rq.catalogue.mask, "PATTERN");
    if (export_log->parsed()) {
      if (csv->count() + text->count() != 1)
        throw Usage{"export needs one of --csv FILE or --text FILE"};
      NotEmpty(csv->count() ? rq.csv : rq.text, "FILE");
    }
    if (search->parsed() && search->count("QUERY")) NotEmpty(rq.query, "QUERY");
  } catch (const CLI::CallForHelp&) {
    CLI::App* sub = app.get_subcommands().empty() ? &app : app.get_subcommands()[0];
    out << sub->help(sub == &app ? "" : "chatterwick-cli");
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::CallForVersion&) {
    out << kVersion << '\n';
    return 0;
  } catch (const CLI::ParseError& e) {
    err << "chatterwick-cli" << (command.empty() ? "" : " " + command) << ": " << e.what()
        << "; usage: " << kUsage.at(command) << "   (--help for more)\n";
    return 2;
  } catch (const Usage& u) {
    err << "chatterwick-cli" << (command.empty() ? "" : " " + command) << ": " << u.problem
        << "; usage: " << kUsage.at(command) << "   (--help for more)\n";
    return 2;
  }

  if (view->parsed()) {
    const int status = RunView(rq, env, out, err);
    // The listing is whole, but the user asked for an end: say it was not.
    return stop && stop->load() != 0 ? 128 + stop->load() : status;
  }
  if (catalogue->parsed()) return RunCatalogue(rq, env, out, err, err_is_terminal, stop);
  if (export_log->parsed()) return RunExport(rq, env, out, err, stop);
  if (archive_tree->parsed()) return RunArchive(rq, env, out, err, err_is_terminal, stop);
  return RunSearch(rq, out, err, out_is_terminal);
}

}  // namespace chatterwick::cli
