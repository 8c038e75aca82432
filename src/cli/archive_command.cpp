#include <chrono>
#include <cstdio>
#include <optional>

#include "archive/archive.h"
#include "cli/command.h"
#include "cli/terminal.h"
#include "core/messages.h"

namespace chatterwick::cli {

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

namespace {

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

}  // namespace

int RunArchive(const Request& rq, Shell& sh) {
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

}  // namespace chatterwick::cli
