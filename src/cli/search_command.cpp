#include <cerrno>
#include <memory>

#include "archive/archive.h"
#include "archive/search.h"
#include "cli/command.h"
#include "cli/terminal.h"
#include "core/csv.h"
#include "core/text.h"

namespace chatterwick::cli {

void DeclareSearch(CLI::App* c, Request& rq) {
  c->footer(
      "QUERY is plain text: words and anything typed between blanks match as written\n"
      "(letter case and accents ignored), \"a phrase\" in double quotes, OR between two\n"
      "terms, -word or NOT word leaves out messages with it, word* matches a prefix.\n"
      "--fts passes QUERY to SQLite's FTS5 unchanged. Put -- before a QUERY that begins\n"
      "with -. Without --db, a first word that names an archive file is the archive.\n"
      "Hits come in time order, or its reverse with --newest-first. The names match a\n"
      "part, letter case and accents ignored. Exit status 1: no message matched.");
  c->add_option("QUERY", rq.words, "what to find");
  c->add_option("--db", rq.db,
                "the archive (default: " + rq.output_folder + archive::kArchiveFile + ")");
  c->add_flag("--fts", rq.fts, "QUERY in FTS5's own syntax");
  DeclareFilters(c, rq);
  c->add_option("--limit", rq.search.limit, "at most N messages")->check(CLI::PositiveNumber);
  c->add_flag("--csv", rq.csv_rows, "CSV rows with a header");
  c->add_flag("--present", rq.search.present_only,
              "only conversations whose logs are still on the disk");
  c->add_flag("--newest-first", rq.search.newest_first, "the newest hits first");
}

void CheckSearch(CLI::App* c, const Request& rq) {
  CheckFilters(c, rq);
  for (const std::string& word : rq.words) NotEmpty(word, "QUERY");
  // A lone quotation mark has no term to find: no query, as an empty one is none.
  std::string typed;
  for (const std::string& w : rq.words) typed += (typed.empty() ? "" : " ") + w;
  archive::TranslatedQuery nothing;
  if (!rq.fts && !typed.empty() && archive::TranslateQuery(typed, &nothing).ok() && nothing.empty())
    throw Usage{"QUERY must not be empty"};
}

namespace {

// The SQLite file's first bytes: a word of a query is never taken for one.
bool IsDatabaseFile(Env& env, const std::string& path) {
  static constexpr std::string_view kHeader("SQLite format 3\0", 16);
  // Opening a pipe would wait for a writer that may never come.
  FileKind kind = FileKind::kOther;
  if (!env.GetFileKind(path, &kind).ok() || kind != FileKind::kRegular) return false;
  std::unique_ptr<SequentialFile> file;
  if (!env.NewSequentialFile(path, &file).ok()) return false;
  char head[16];
  size_t got = 0;
  return file->Read(sizeof head, head, &got).ok() && std::string_view(head, got) == kHeader;
}

std::string HitLine(const archive::SearchHit& h, bool csv) {
  const std::string& when = h.sent_at.empty() ? h.time_text : h.sent_at;
  if (csv)
    return FormatCsvRow({when, h.protocol, h.account, h.contact, h.sender, h.body, h.person},
                        CsvText::kSpreadsheetSafe) +
           "\r\n";
  const std::string handle = h.protocol + '/' + h.account + '/' + h.contact;
  // The person with the handle beside it, when the person says more.
  std::string line =
      when + "  " +
      (h.person.empty() || h.person == h.contact ? handle : h.person + " (" + handle + ")") + "  ";
  if (h.kind == "action") line += "* " + h.sender + ' ';
  else if (!h.sender.empty()) line += h.sender + ": ";
  return line.append(text::TrimBlanks(h.body)) + '\n';
}

}  // namespace

int RunSearch(const Request& rq, Shell& sh) {
  std::vector<std::string> words = rq.words;
  std::string db = rq.db;
  if (db.empty() && !words.empty() && IsDatabaseFile(sh.env, words[0])) {
    db = words[0];
    words.erase(words.begin());
  }
  if (db.empty() && !HaveOutputFolder(rq, sh)) return 1;
  if (db.empty()) db = rq.output_folder + archive::kArchiveFile;
  if (!ArchiveThere(sh, db) || !PersonThere(sh, db, rq.search.person)) return 2;
  std::string typed;
  for (const std::string& w : words) typed += (typed.empty() ? "" : " ") + w;
  archive::SearchOptions options = rq.search;
  if (Status s = rq.fts ? Status::OK() : archive::TranslateQuery(typed, &options.query); !s.ok()) {
    sh.err << "chatterwick-cli search: " << s.message() << '\n';
    return 2;
  }
  if (!rq.fts && !typed.empty() && options.query.empty()) {
    sh.err << "chatterwick-cli search: QUERY must not be empty\n";
    return 2;
  }
  if (rq.fts) options.query = archive::RawFtsQuery(typed);
  const bool csv = rq.csv_rows, terminal = sh.out_is_terminal;
  const bool colour = TerminalTakesColour(sh.env, terminal);
  if (terminal && !csv) options.mark_start = kMarkStart, options.mark_end = kMarkEnd;
  // Known at the failed write: later calls (the archive's closing) change errno.
  bool pipe_closed = false;
  auto print = [&](const std::string& line) {
    sh.out << (terminal ? ForTerminal(line, colour ? "\033[1;33m" : "", colour ? "\033[0m" : "")
                        : line);
    pipe_closed = pipe_closed || (!sh.out && errno == EPIPE);
    return static_cast<bool>(sh.out);
  };
  int64_t hits = 0;
  if (csv)
    print(FormatCsvRow({"sent_at", "protocol", "account", "contact", "sender", "body", "person"}) +
          "\r\n");
  const Status s = archive::Search(
      db, options,
      [&](const archive::SearchHit& h) {
        ++hits;
        return print(HitLine(h, csv));
      },
      sh.stop);
  if (sh.stop.Requested()) return sh.stop.ExitCode();
  if (pipe_closed) return kClosedPipeStatus;
  if (s.IsBusy()) {
    sh.err << "chatterwick-cli: " << db << " is busy (" << s.message()
           << "): another program is writing it. Try again when it has finished.\n";
    return 2;
  }
  if (!s.ok()) {
    sh.err << "chatterwick-cli: " << (s.IsInvalidData() ? db + " is not an archive: " : "search: ")
           << s.message() << '\n';
    return 2;
  }
  const int status = CheckOutput(sh.out, sh.err, hits > 0 ? 0 : 1);
  if (status == 1 && hits == 0) sh.err << "No messages match.\n";
  return status;
}

}  // namespace chatterwick::cli
