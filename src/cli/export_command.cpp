#include "cli/command.h"
#include "core/commands.h"
#include "core/csv.h"
#include "core/messages.h"

namespace chatterwick::cli {

void DeclareExport(CLI::App* c, Request& rq) {
  c->footer(
      "The rows of --csv go after what FILE holds; --text replaces FILE. \"-\" is\n"
      "standard output. FILE changes only when the save is complete.");
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

}  // namespace chatterwick::cli
