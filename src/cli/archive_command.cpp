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
      "logs or lines. Each ROOT is remembered as a source of the archive; without ROOT\n"
      "every source is read again (see sources). Copies of one conversation, from any\n"
      "source and in either format, are kept once with every message of each. A later\n"
      "run reads only new and changed logs; logs gone from every source that held them\n"
      "stay (unless --prune), but a log moved or renamed is not kept twice.");
  c->add_option("ROOT", rq.roots, "log folders to read (default: every source of the archive)");
  c->add_option("-m,--mask", rq.archive_mask, "which files are logs")
      ->default_str(archive::kArchiveMask);
  c->add_flag_callback(
      "--one-thread", [&rq] { rq.catalogue.read_ahead = false; },
      "read the logs on the same thread that stores them (the same result, slower)");
  c->add_option("--db", rq.db,
                "the archive (default: " + rq.output_folder + archive::kArchiveFile + ")");
  c->add_flag("-q,--quiet", rq.quiet, "no progress");
  c->add_flag("--prune", rq.prune,
              "remove the conversations of logs gone from every source that held them");
}

void CheckArchive(CLI::App* c, const Request& rq) {
  for (const std::string& root : rq.roots) NotEmpty(root, "ROOT");
  if (c->count("--db")) NotEmpty(rq.db, "FILE");
  if (c->count("--mask")) NotEmpty(rq.archive_mask, "PATTERN");
}

namespace {

void PrintArchiveSummary(std::ostream& out, const archive::ArchiveSummary& m, double secs,
                         const std::string& db) {
  char taken[32];
  std::snprintf(taken, sizeof taken, "%.2f", secs);
  out << "Logs found: " << m.logs_found << "\n  new: " << m.new_logs
      << ", changed: " << m.changed_logs << ", unchanged: " << m.unchanged_logs
      << ", could not be read: " << m.unreadable_logs
      << "\nSources read: " << m.sources_read
      << ", could not be reached: " << m.unreachable_sources
      << "\nCopies that differ (the messages of both kept): " << m.differing_copies
      << "\nLogs in the archive but no longer found in any source: " << m.gone_logs;
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
      sh.env, rq.roots, db, rq.archive_mask, &*reporter, sh.stop,
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
    case archive::ArchiveOutcome::kNoSources:
      sh.err << "chatterwick-cli: " << r.why.message()
             << " Name it: chatterwick-cli archive ROOT\n";
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
  const bool all_read = r.summary.unreadable_logs == 0 && r.summary.unreadable_folders == 0 &&
                        r.summary.unreachable_sources == 0;
  return CheckOutput(sh.out, sh.err, all_read ? 0 : 1);
}

}  // namespace chatterwick::cli
