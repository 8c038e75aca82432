#include <optional>

#include "cli/command.h"
#include "cli/terminal.h"
#include "core/catalogue.h"
#include "core/path.h"

namespace chatterwick::cli {

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

int RunCatalogue(const Request& rq, Shell& sh) {
  if (rq.output.empty() && !HaveOutputFolder(rq, sh)) return 1;
  const std::string folder = path::WithFinalSeparator(
      rq.output.empty() ? rq.output_folder : rq.output, sh.env.Separator());
  std::optional<RunReporter> reporter;
  reporter.emplace(sh.err, TerminalTakesColour(sh.env, sh.err_is_terminal) && !rq.quiet);
  Session session(sh.env, folder, sh.stop, &*reporter, sh.blocks);
  const FolderRunResult result = ::chatterwick::RunCatalogue(session.ctx, rq.catalogue, rq.path);
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

}  // namespace chatterwick::cli
