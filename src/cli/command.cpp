#include "cli/command.h"

#include <cerrno>
#include <memory>

#include "archive/reader.h"
#include "core/log_view.h"
#include "core/messages.h"
#include "core/output_folder.h"

namespace chatterwick::cli {

bool HaveOutputFolder(const Request& rq, Shell& sh) {
  if (!rq.output_folder.empty()) return true;
  sh.err << "chatterwick-cli: " << kNoOutputFolder << "; name one with --output or --db.\n";
  return false;
}

int CheckOutput(std::ostream& out, std::ostream& err, int status) {
  out.flush();
  if (out) return status;
  if (errno == EPIPE) return kClosedPipeStatus;
  err << "chatterwick-cli: could not write to standard output\n";
  return 1;
}

void NotEmpty(const std::string& value, const char* what) {
  if (value.empty()) throw Usage{std::string(what) + " must not be empty"};
}

LoadResult LoadLog(Session& session, const std::string& path, std::ostream& err) {
  LoadResult loaded = LoadLogFile(session.log, session.ctx.env, path);
  if (!loaded.status.ok()) err << LoadFailureLine(path, loaded.status) << '\n';
  ShowLog(session.log, session.window);
  return loaded;
}

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

void DeclareFilters(CLI::App* c, Request& rq) {
  c->add_option("--contact", rq.search.contact, "part of the contact's name");
  c->add_option("--account", rq.search.account, "part of the account's name");
  c->add_option("--protocol", rq.search.protocol, "part of the protocol's name");
  c->add_option("--sender", rq.search.sender, "part of the sender's name");
  c->add_option("--person", rq.search.person,
                "every handle of this person (its whole name, as people lists it)");
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
  if (c->count("--person")) NotEmpty(o.person, "NAME");
  if (!o.from.empty() && !o.to.empty() && o.from > o.to)
    throw Usage{"--from " + o.from + " is later than --to " + o.to};
}

bool PersonThere(Shell& sh, const std::string& db, const std::string& person) {
  if (person.empty()) return true;
  std::unique_ptr<archive::ArchiveReader> reader;
  std::vector<archive::PersonRow> rows;
  Status s = archive::ArchiveReader::Open(db, &reader);
  if (s.ok()) s = reader->People(&rows);
  if (!s.ok()) return true;  // the command's own read says what is wrong
  for (const archive::PersonRow& r : rows)
    if (r.person == person) return true;
  sh.err << "chatterwick-cli: no person is called \"" << person << "\" in " << db
         << " (chatterwick-cli people lists them)\n";
  return false;
}

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

}  // namespace chatterwick::cli
