#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/people_choices.h"
#include "archive/people_table.h"
#include "archive/reader.h"
#include "cli/command.h"
#include "core/csv.h"

namespace chatterwick::cli {

void DeclarePeople(CLI::App* c, Request& rq) {
  c->footer(
      "A person is a named group of contacts, across accounts and protocols. The archive\n"
      "groups contacts itself when that is certain (one handle on two accounts of a\n"
      "protocol; messages signed with one full name) and says why. merge PERSON HANDLE...\n"
      "joins contacts to a person (made when there is none); split HANDLE lets one stand\n"
      "alone; rename OLD NEW renames a person. Every later run keeps these choices. A\n"
      "HANDLE is PROTOCOL/ACCOUNT/CONTACT, or a contact's name when only one has it.");
  c->add_option("ACTION", rq.words, "merge PERSON HANDLE..., split HANDLE, or rename OLD NEW");
  c->add_option("--db", rq.db,
                "the archive (default: " + rq.output_folder + archive::kArchiveFile + ")");
  c->add_flag("--csv", rq.csv_rows, "CSV rows with a header");
}

void CheckPeople(CLI::App* c, const Request& rq) {
  if (c->count("--db")) NotEmpty(rq.db, "FILE");
  const std::vector<std::string>& w = rq.words;
  if (w.empty()) return;
  if ((w[0] == "merge" && w.size() >= 3) || (w[0] == "split" && w.size() == 2) ||
      (w[0] == "rename" && w.size() == 3)) {
    for (size_t i = 1; i < w.size(); ++i) NotEmpty(w[i], i == 1 ? "PERSON" : "HANDLE");
    return;
  }
  throw Usage{
      "people takes merge PERSON HANDLE..., split HANDLE, rename OLD NEW, or nothing; "
      "not " +
      w[0] + (w.size() > 1 ? " ..." : "")};
}

namespace {

std::string Count(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void PrintRows(const std::vector<archive::PersonRow>& rows, bool csv, std::ostream& out) {
  if (csv)
    out << FormatCsvRow({"person", "protocol", "account", "contact", "conversations", "messages"})
        << "\r\n";
  std::string person = "\n";  // none before the first
  for (const archive::PersonRow& r : rows) {
    const std::string conversations = std::to_string(r.conversations);
    const std::string messages = std::to_string(r.messages);
    if (csv) {
      out << FormatCsvRow({r.person, r.protocol, r.account, r.contact, conversations, messages})
          << "\r\n";
      continue;
    }
    if (r.person != person) {
      out << (r.person.empty() ? "Chat rooms (never people)" : r.person)
          << (r.why.empty() ? "" : " — " + r.why) << '\n';
      person = r.person;
    }
    out << "  " << r.protocol << '/' << r.account << '/' << r.contact
        << (r.known_name.empty() ? "" : " \"" + r.known_name + "\"") << ": "
        << Count(r.conversations, "conversation", "conversations") << ", "
        << Count(r.messages, "message", "messages") << '\n';
  }
}

int ListPeople(const std::string& db, bool csv, Shell& sh) {
  std::unique_ptr<archive::ArchiveReader> reader;
  std::vector<archive::PersonRow> rows;
  Status s = archive::ArchiveReader::Open(db, &reader);
  if (s.ok()) s = reader->People(&rows);
  if (!s.ok()) {
    sh.err << "chatterwick-cli: " << db << " could not be read: " << s.message() << '\n';
    return 1;
  }
  if (rows.empty() && !reader->HasPeople())
    sh.err << "chatterwick-cli: " << db
           << " was made before people were kept; the next archive run finds them.\n";
  PrintRows(rows, csv, sh.out);
  return CheckOutput(sh.out, sh.err, 0);
}

Status Apply(Env& env, const std::string& db, const std::vector<std::string>& w) {
  if (w[0] == "merge")
    return archive::MergeIntoPerson(env, db, w[1],
                                    std::vector<std::string>(w.begin() + 2, w.end()));
  if (w[0] == "split") return archive::SplitFromPerson(env, db, w[1]);
  return archive::RenamePerson(env, db, w[1], w[2]);
}

}  // namespace

int RunPeople(const Request& rq, Shell& sh) {
  std::string db = rq.db;
  if (db.empty() && !HaveOutputFolder(rq, sh)) return 1;
  if (db.empty()) db = rq.output_folder + archive::kArchiveFile;
  if (!ArchiveThere(sh, db)) return 1;
  const std::vector<std::string>& w = rq.words;
  if (w.empty()) return ListPeople(db, rq.csv_rows, sh);
  const Status s = Apply(sh.env, db, w);
  if (!s.ok()) {
    sh.err << "chatterwick-cli: " << s.message() << "\nNothing was changed in " << db << ".\n";
    return s.IsInvalidData() ? 2 : 1;
  }
  if (w[0] == "merge") sh.out << "Joined to " << w[1] << ": " << w.size() - 2 << ".\n";
  else if (w[0] == "split") sh.out << w[1] << " stands alone now.\n";
  else sh.out << "Person " << w[1] << " is now called " << w[2] << ".\n";
  return CheckOutput(sh.out, sh.err, 0);
}

}  // namespace chatterwick::cli
