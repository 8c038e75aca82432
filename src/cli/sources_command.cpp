#include <memory>

#include "archive/archive.h"
#include "archive/reader.h"
#include "archive/source_report.h"
#include "archive/source_table.h"
#include "cli/command.h"

namespace chatterwick::cli {

void DeclareSources(CLI::App* c, Request& rq) {
  c->footer(
      "A source is a log folder the archive reads: each ROOT archive was given. Listed\n"
      "with its path, its logs, its last read and whether it can be reached now; one\n"
      "that cannot (a backup drive not plugged in) keeps its messages, and its logs are\n"
      "not called gone. rename OLD NEW gives a source another name; forget NAME stops\n"
      "reading it, and keeps the messages its logs gave.");
  c->add_option("ACTION", rq.words, "rename OLD NEW, or forget NAME");
  c->add_option("--db", rq.db,
                "the archive (default: " + rq.output_folder + archive::kArchiveFile + ")");
}

void CheckSources(CLI::App* c, const Request& rq) {
  if (c->count("--db")) NotEmpty(rq.db, "FILE");
  const std::vector<std::string>& w = rq.words;
  if (w.empty()) return;
  if (w[0] == "rename" && w.size() == 3) {
    NotEmpty(w[1], "OLD");
    NotEmpty(w[2], "NEW");
    return;
  }
  if (w[0] == "forget" && w.size() == 2) {
    NotEmpty(w[1], "NAME");
    return;
  }
  throw Usage{"sources takes rename OLD NEW, forget NAME, or nothing; not " + w[0] +
              (w.size() > 1 ? " ..." : "")};
}

namespace {

int ListSources(const std::string& db, Shell& sh) {
  std::unique_ptr<archive::ArchiveReader> reader;
  std::vector<archive::SourceInfo> sources;
  Status s = archive::ArchiveReader::Open(db, &reader);
  if (s.ok()) s = reader->Sources(&sources);
  if (!s.ok()) {
    sh.err << "chatterwick-cli: " << db << " could not be read: " << s.message() << '\n';
    return 1;
  }
  sh.out << archive::SourcesReport(sh.env, sources);
  return CheckOutput(sh.out, sh.err, 0);
}

}  // namespace

int RunSources(const Request& rq, Shell& sh) {
  std::string db = rq.db;
  if (db.empty() && !HaveOutputFolder(rq, sh)) return 1;
  if (db.empty()) db = rq.output_folder + archive::kArchiveFile;
  if (!ArchiveThere(sh, db)) return 1;
  const std::vector<std::string>& w = rq.words;
  if (w.empty()) return ListSources(db, sh);
  int64_t copies = 0;
  const Status s = w[0] == "rename" ? archive::RenameSource(sh.env, db, w[1], w[2])
                                    : archive::ForgetSource(sh.env, db, w[1], &copies);
  if (!s.ok()) {
    sh.err << "chatterwick-cli: " << s.message() << "; nothing was changed in " << db << '\n';
    return 1;
  }
  if (w[0] == "rename") sh.out << "Source " << w[1] << " is now called " << w[2] << ".\n";
  else
    sh.out << "Source " << w[1] << " forgotten (copies of logs it held: " << copies
           << "); their messages are kept.\n";
  return CheckOutput(sh.out, sh.err, 0);
}

}  // namespace chatterwick::cli
