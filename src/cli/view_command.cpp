#include <algorithm>

#include "cli/command.h"
#include "cli/terminal.h"

namespace chatterwick::cli {

void DeclareView(CLI::App* c, Request& rq) {
  c->add_option("LOG", rq.path, "the log file")->required();
}

void CheckView(CLI::App*, const Request& rq) { NotEmpty(rq.path, "LOG"); }

int RunView(const Request& rq, Shell& sh) {
  Session session(sh.env, rq.output_folder, {});
  const LoadResult loaded = LoadLog(session, rq.path, sh.err);
  if (sh.stop.Requested()) return sh.stop.ExitCode();
  std::string listing = ExtractTitle(session.log.RawLines[0], session.log.Format) + '\n' + session.window.PaneAsLines();
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

}  // namespace chatterwick::cli
