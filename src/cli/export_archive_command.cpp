#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>

#include "archive/archive.h"
#include "archive/export.h"
#include "cli/command.h"
#include "cli/terminal.h"
#include "core/path.h"

namespace chatterwick::cli {

void DeclareExportArchive(CLI::App* c, Request& rq) {
  c->footer(
      "Writes one file per conversation under DIR, as DIR/PROTOCOL/ACCOUNT/CONTACT/START.EXT,\n"
      "or everything into FILE with --single (\"-\": standard output). A conversation is\n"
      "exported when any of its messages is selected by the filters and --query (the\n"
      "search's plain text); --only-matching exports those messages alone. A later run\n"
      "into the same DIR with the same options rewrites only what changed. An HTML export\n"
      "also writes DIR/index.html, a page that links every conversation in DIR.");
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
  if (!ArchiveThere(sh, db) || !PersonThere(sh, db, rq.search.person)) return 2;
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
  bool pipe_closed = false;
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
                  // Known at the failed write: closing the archive changes errno.
                  pipe_closed = pipe_closed || (!sh.out && errno == EPIPE);
                  return static_cast<bool>(sh.out);
                })
                          : nullptr)
          : archive::ExportArchiveToFolder(sh.env, db, where, options, &*reporter, sh.stop);
  reporter.reset();
  if (r.stopped) {
    sh.err << "chatterwick-cli: stopped; the files finished so far are in " << where << '\n';
    return sh.stop.ExitCode();
  }
  if (pipe_closed) return kClosedPipeStatus;
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
         << ", removed from the selection: " << m.removed;
  if (m.not_written > 0) report << ", could not be written: " << m.not_written;
  if (m.passed_over > 0)
    report << "\nMessages passed over, of no whole conversation in the archive: " << m.passed_over;
  report << "\nTime taken: " << taken << " s\nOutput: " << (to_stdout ? "standard output" : where)
         << '\n';
  return CheckOutput(sh.out, sh.err, m.not_written > 0 ? 1 : 0);
}

}  // namespace chatterwick::cli
