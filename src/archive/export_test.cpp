#include "archive/export.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "archive/archive.h"
#include "archive/export_index.h"
#include "archive/export_manifest.h"
#include "archive/names.h"
#include "archive/reader.h"
#include "archive/sqlite_db.h"
#include "core/safe_file.h"
#include "core/text.h"
#include "platform/posix_env.h"
#include "testing/csv_reader.h"
#include "testing/fixtures.h"
#include "testing/temp_tree.h"

namespace chatterwick::archive {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The export's own files in its folder: its manifest, its lock, its journal
// and an HTML export's index.
bool ExportsOwn(const fs::path& path) {
  const std::string name = path.filename().string();
  return name == kExportManifest || name == kExportLock || name == kExportJournal ||
         name == kExportIndex;
}

// Every file under dir but the export's own, by path.
std::vector<fs::path> FilesUnder(const std::string& dir) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && !ExportsOwn(e.path())) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// An archive of every fixture tree, exported in each format.
class ExportFixtureTest : public ::testing::Test {
 protected:
  testing::TempTree t;
  std::string db = t.Path("a.sqlite");
  Strings bodies;  // every message's body, trimmed, in export order

  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    for (const auto& tree : testing::FixtureTrees())
      ASSERT_EQ(RunArchive(*PosixEnv(), tree.string() + "/", db, "*.html", nullptr).outcome,
                ArchiveOutcome::kDone);
    std::unique_ptr<ArchiveReader> reader;
    ASSERT_TRUE(ArchiveReader::Open(db, &reader).ok());
    std::vector<ConversationRow> conversations;
    ASSERT_TRUE(reader->Conversations({}, &conversations).ok());
    for (const ConversationRow& c : conversations) {
      std::vector<MessageRow> rows;
      ASSERT_TRUE(reader->Messages(c.id, 0, 1 << 30, &rows).ok());
      for (const MessageRow& m : rows) bodies.emplace_back(text::TrimBlanks(m.body));
    }
  }
  ArchiveExportResult Export(ExportFormat format, const std::string& dir,
                             ArchiveExportOptions options = {}) {
    options.format = format;
    return ExportArchiveToFolder(*PosixEnv(), db, t.Path(dir), options, nullptr);
  }
  std::string Single(ExportFormat format) {
    ArchiveExportOptions options;
    options.format = format;
    std::string out;
    const ArchiveExportResult r =
        ExportArchiveToFile(*PosixEnv(), db, "", options, nullptr, {}, [&](std::string_view text) {
          out.append(text);
          return true;
        });
    EXPECT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(r.summary.messages, static_cast<int64_t>(bodies.size()));
    return out;
  }
};

TEST_F(ExportFixtureTest, EveryFormatHoldsEveryMessageAndReadsBack) {
  // JSON, parsed back.
  const nlohmann::json all = nlohmann::json::parse(Single(ExportFormat::kJson));
  Strings from_json;
  for (const auto& c : all)
    for (const auto& m : c["messages"]) from_json.push_back(m["body"]);
  EXPECT_EQ(from_json, bodies);
  // JSON lines, each an object of its own.
  Strings from_jsonl;
  std::istringstream lines(Single(ExportFormat::kJsonl));
  for (std::string line; std::getline(lines, line);)
    from_jsonl.push_back(nlohmann::json::parse(line)["body"]);
  EXPECT_EQ(from_jsonl, bodies);
  // CSV, read with a CSV reader: a header, then a row a message.
  const std::string csv = Single(ExportFormat::kCsv);
  ASSERT_TRUE(csv.starts_with(kUtf8Bom));
  Strings from_csv;
  size_t pos = kUtf8Bom.size(), rows = 0;
  while (pos < csv.size()) {
    const size_t end = csv.find("\r\n", pos);
    const auto fields = testing::ReadCsvRow(std::string_view(csv).substr(pos, end - pos));
    ASSERT_TRUE(fields.has_value());
    ASSERT_EQ(fields->size(), 10u);
    if (rows++ > 0) from_csv.push_back((*fields)[6]);
    pos = end + 2;
  }
  ASSERT_EQ(from_csv.size(), bodies.size());
  for (size_t i = 0; i < bodies.size(); ++i) {
    // The spreadsheet guard puts an apostrophe before what could run.
    const std::string& b = bodies[i];
    const bool guarded = !b.empty() && std::string("=+-@\t\r").find(b[0]) != std::string::npos;
    EXPECT_EQ(from_csv[i], guarded ? "'" + b : b);
  }
  // Text: one line a message and one more for each of its own line breaks,
  // after a header of three lines and a blank.
  const std::string text = Single(ExportFormat::kText);
  size_t breaks = 0;
  for (const std::string& b : bodies) breaks += std::count(b.begin(), b.end(), '\n');
  EXPECT_GT(breaks, 0u);
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')),
            bodies.size() + breaks + 5 * all.size());
  // HTML: no "<" of a message unescaped, whatever it held.
  const std::string html = Single(ExportFormat::kHtml);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(std::count(html.begin(), html.end(), '<') % 2,
            std::count(html.begin(), html.end(), '>') % 2);
}

TEST_F(ExportFixtureTest, AFolderPerContactAndALaterRunRewritesOnlyWhatChanged) {
  ArchiveExportResult r = Export(ExportFormat::kText, "out/");
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const auto files = FilesUnder(t.Path("out"));
  EXPECT_EQ(r.summary.written, static_cast<int64_t>(files.size()));
  EXPECT_EQ(r.summary.messages, static_cast<int64_t>(bodies.size()));
  // PROTOCOL/ACCOUNT/CONTACT/START.txt, every one inside the folder.
  for (const fs::path& f : files) {
    const fs::path relative = fs::relative(f, t.Path("out"));
    EXPECT_EQ(std::distance(relative.begin(), relative.end()), 4) << f;
    EXPECT_NE(relative.begin()->string(), "..");
  }
  r = Export(ExportFormat::kText, "out/");
  EXPECT_EQ(r.summary.written, 0);
  EXPECT_EQ(r.summary.unchanged, static_cast<int64_t>(files.size()));
  // Fewer selected: the others' files go.
  ArchiveExportOptions one;
  one.selection.contact = "zo\u00eb";
  r = Export(ExportFormat::kText, "out/", one);
  EXPECT_GT(r.summary.conversations, 0);
  EXPECT_EQ(r.summary.removed, static_cast<int64_t>(files.size()) - r.summary.conversations);
  EXPECT_EQ(FilesUnder(t.Path("out")).size(), static_cast<size_t>(r.summary.conversations));
  for (const fs::path& f : FilesUnder(t.Path("out")))
    EXPECT_NE(f.string().find("zo\u00eb@example.org"), std::string::npos) << f;
}

// What the manifest says decides what is written again: a damaged one
// means every file, a changed entry that file, and what the program does not
// know is passed over.
TEST_F(ExportFixtureTest, TheManifestDecidesWhatIsWrittenAgain) {
  ASSERT_TRUE(Export(ExportFormat::kText, "out/").status.ok());
  const int64_t all = static_cast<int64_t>(FilesUnder(t.Path("out")).size());
  const std::string path = t.Path("out/") + kExportManifest;
  const std::string whole = ReadAll(path);
  nlohmann::json edited = nlohmann::json::parse(whole);
  edited["later"] = {{"files", {{"x", {{"conversation", 1}}}}}};
  auto first = edited["files"].begin();
  first.value()["signature"] = "0:0:0:0";
  first.value()["note"] = {{"conversation", 999}};
  struct Case {
    std::string manifest;
    int64_t written;
  };
  const Case cases[] = {
      {whole, 0},  {edited.dump(1), 1},       {whole.substr(0, whole.size() / 2), all},
      {"[]", all}, {"{\"options\": 5}", all},
  };
  for (const Case& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.manifest;
    const ArchiveExportResult r = Export(ExportFormat::kText, "out/");
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(r.summary.written, c.written) << c.manifest.substr(0, 80);
    EXPECT_EQ(r.summary.written + r.summary.unchanged, all);
  }
}

TEST_F(ExportFixtureTest, OnlyTheMatchingMessages) {
  ArchiveExportOptions options;
  options.only_matching = true;
  ASSERT_TRUE(TranslateQuery("see you", &options.selection.query).ok());
  options.format = ExportFormat::kJsonl;
  std::string out;
  const ArchiveExportResult r =
      ExportArchiveToFile(*PosixEnv(), db, "", options, nullptr, {}, [&](std::string_view text) {
        out.append(text);
        return true;
      });
  ASSERT_TRUE(r.status.ok());
  int64_t hits = 0;
  SearchOptions search;
  search.query = options.selection.query;
  ASSERT_TRUE(Search(db, search, [&](const SearchHit&) { return ++hits; }).ok());
  EXPECT_EQ(r.summary.messages, hits);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), hits);
}

// Every file under dir but the export's own, by its place, with what it holds.
std::map<std::string, std::string> Tree(const std::string& dir) {
  std::map<std::string, std::string> tree;
  for (const fs::path& f : FilesUnder(dir)) tree[fs::relative(f, dir).string()] = ReadAll(f);
  return tree;
}

// Hears each problem as a line.
struct Heard : RunObserver {
  std::vector<std::string> problems;
  void OnProblem(const Problem& p) override { problems.push_back(ProblemLine(p)); }
};

// A manifest names only the export's own places: an entry that reaches
// outside the folder, by its name or through a link in place of a folder,
// is passed over and said, and nothing out there is removed or replaced.
TEST_F(ExportFixtureTest, NothingOutsideTheFolderIsRemovedOrReplaced) {
  ASSERT_TRUE(Export(ExportFormat::kText, "out/").status.ok());
  t.File("victim/keep.txt", "mine");
  const std::string manifest = t.Path("out/") + kExportManifest;
  nlohmann::json edited = nlohmann::json::parse(ReadAll(manifest));
  edited["files"]["../victim/keep.txt"] = {{"conversation", 1}, {"signature", "s"}};
  edited["files"]["/" + t.Path("victim/keep.txt")] = {{"conversation", 1}};
  std::ofstream(manifest, std::ios::binary | std::ios::trunc) << edited.dump(1);
  // A protocol's folder made a link to a folder elsewhere, which holds files of its own.
  const std::string protocol =
      fs::relative(FilesUnder(t.Path("out"))[0], t.Path("out")).begin()->string();
  fs::rename(t.Path("out/" + protocol), t.Path("elsewhere"));
  fs::create_directory_symlink(t.Path("elsewhere"), t.Path("out/" + protocol));
  const auto elsewhere = Tree(t.Path("elsewhere"));
  ASSERT_FALSE(elsewhere.empty());
  ArchiveExportOptions few;
  few.selection.contact = "zo\u00eb";
  few.format = ExportFormat::kText;
  Heard heard;
  ArchiveExportResult r = ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), few, &heard);
  EXPECT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(t.Read("victim/keep.txt"), "mine");
  EXPECT_EQ(Tree(t.Path("elsewhere")), elsewhere);
  EXPECT_EQ(std::count_if(heard.problems.begin(), heard.problems.end(),
                          [](const std::string& p) { return p.starts_with("Passed over \""); }),
            2);
  // Asked to write there again, it writes nothing through the link.
  heard.problems.clear();
  ArchiveExportOptions all;
  all.format = ExportFormat::kText;
  r = ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), all, &heard);
  EXPECT_GT(r.summary.not_written, 0);
  EXPECT_EQ(Tree(t.Path("elsewhere")), elsewhere);
  EXPECT_NE(heard.problems.back().find("is a symbolic link, not followed"), std::string::npos);
}

// Whatever runs, stops and kills came before, with whatever options, one
// whole run leaves the folder as a fresh export with its options would.
TEST_F(ExportFixtureTest, AnyRunsStopsAndKillsEndAsAFreshExport) {
  ArchiveExportOptions everything, matching;
  everything.format = matching.format = ExportFormat::kText;
  ASSERT_TRUE(TranslateQuery("tomorrow", &matching.selection.query).ok());
  matching.only_matching = true;
  ASSERT_TRUE(ExportArchiveToFolder(*PosixEnv(), db, t.Path("fresh-all/"), everything, nullptr)
                  .status.ok());
  ASSERT_TRUE(
      ExportArchiveToFolder(*PosixEnv(), db, t.Path("fresh-some/"), matching, nullptr).status.ok());
  // Stops after a few conversations; dies (writes nothing more) after a few renames.
  struct StopAfter : RunObserver {
    std::atomic<int>* signal;
    int left;
    void OnLogDone(uint64_t, int64_t) override {
      if (--left == 0) signal->store(15);
    }
  };
  struct DiesAfter : EnvWrapper {
    std::atomic<int> renames;  // counted by the export's writer threads
    DiesAfter(int n) : EnvWrapper(PosixEnv()), renames(n) {}
    Status RenameFile(const std::string& f, const std::string& to) override {
      return --renames >= 0 ? EnvWrapper::RenameFile(f, to) : Status::IOError("killed");
    }
    Status NewTempFile(const std::string& p, FileAccess a, std::string* path,
                       std::unique_ptr<WritableFile>* r) override {
      return renames >= 0 ? EnvWrapper::NewTempFile(p, a, path, r) : Status::IOError("killed");
    }
  };
  struct Step {
    const ArchiveExportOptions* options;
    int stop_after, die_after;  // 0: never
  };
  const std::vector<std::vector<Step>> sequences = {
      {{&everything, 0, 0}, {&matching, 5, 0}},
      {{&everything, 0, 0}, {&matching, 0, 7}},
      {{&matching, 0, 0}, {&everything, 0, 30}, {&matching, 3, 0}},
      {{&everything, 0, 0}, {&everything, 0, 2}, {&matching, 0, 1}},
  };
  for (size_t n = 0; n < sequences.size(); ++n) {
    const std::string dir = t.Path("seq" + std::to_string(n) + "/");
    for (const Step& step : sequences[n]) {
      std::atomic<int> signal{0};
      StopAfter stop_after;
      stop_after.signal = &signal;
      stop_after.left = step.stop_after;
      DiesAfter dying(step.die_after);
      Env& env = step.die_after ? static_cast<Env&>(dying) : *PosixEnv();
      ExportArchiveToFolder(env, db, dir, *step.options, step.stop_after ? &stop_after : nullptr,
                            &signal);
    }
    // The same options as the last run's first, as a user runs it again; then the others.
    const ArchiveExportOptions* last = sequences[n].back().options;
    const ArchiveExportOptions* order[] = {last, last == &everything ? &matching : &everything};
    for (const ArchiveExportOptions* clean : order) {
      ASSERT_TRUE(ExportArchiveToFolder(*PosixEnv(), db, dir, *clean, nullptr).status.ok());
      EXPECT_EQ(Tree(dir), Tree(t.Path(clean == &everything ? "fresh-all/" : "fresh-some/")))
          << "sequence " << n;
    }
  }
}

// One export at a time into a folder: a second is refused at once.
TEST_F(ExportFixtureTest, ASecondExportIntoTheSameFolderIsRefused) {
  t.Folder("out");
  std::unique_ptr<FileLock> held;
  ASSERT_TRUE(PosixEnv()->LockFile(t.Path("out/") + kExportLock, &held).ok());
  const ArchiveExportResult r = Export(ExportFormat::kText, "out/");
  EXPECT_TRUE(r.status.IsBusy()) << r.status.message();
  EXPECT_TRUE(FilesUnder(t.Path("out")).empty());
  held.reset();
  EXPECT_TRUE(Export(ExportFormat::kText, "out/").status.ok());
}

// A file that cannot be written leaves the earlier one whole and says why.
TEST_F(ExportFixtureTest, AFailedWriteKeepsTheEarlierFile) {
  ASSERT_TRUE(Export(ExportFormat::kText, "out/").status.ok());
  const auto files = FilesUnder(t.Path("out"));
  const std::string before = ReadAll(files[0]);
  struct Full : EnvWrapper {
    using EnvWrapper::EnvWrapper;
    Status NewTempFile(const std::string&, FileAccess, std::string*,
                       std::unique_ptr<WritableFile>*) override {
      return Status::IOError("No space left on device");
    }
  } env(PosixEnv());
  ArchiveExportOptions options;
  options.format = ExportFormat::kHtml;
  Heard heard;
  const ArchiveExportResult r = ExportArchiveToFolder(env, db, t.Path("out/"), options, &heard);
  EXPECT_EQ(r.status.message(),
            "Could not write " + t.Path("out/") + kExportManifest + " (No space left on device)");
  EXPECT_EQ(r.summary.not_written, static_cast<int64_t>(files.size()) + 1);  // and the index
  EXPECT_EQ(r.summary.written + r.summary.conversations, 0);
  // Each failure named once, at the file it happened to, with the reason:
  // a folder's files go together, and the first of them says why.
  ASSERT_FALSE(heard.problems.empty());
  std::set<std::string> named(heard.problems.begin(), heard.problems.end());
  EXPECT_EQ(named.size(), heard.problems.size());
  for (const std::string& p : heard.problems)
    EXPECT_TRUE(p.ends_with(".html (No space left on device)")) << p;
  EXPECT_EQ(ReadAll(files[0]), before);
  // Still whole and still known, though they are not what the failed run
  // selected: the next run leaves them as they are.
  EXPECT_EQ(Export(ExportFormat::kText, "out/").summary.unchanged,
            static_cast<int64_t>(files.size()));
}

// Files that could not be put in place are not counted as exported, and
// leave no temporary file behind.
TEST_F(ExportFixtureTest, FilesThatCannotTakeTheirPlaceAreNotCounted) {
  struct NoRenames : EnvWrapper {
    using EnvWrapper::EnvWrapper;
    Status RenameFile(const std::string&, const std::string&) override {
      return Status::IOError("Read-only file system");
    }
  } env(PosixEnv());
  ArchiveExportOptions options;
  const ArchiveExportResult r = ExportArchiveToFolder(env, db, t.Path("out/"), options, nullptr);
  EXPECT_EQ(r.status.message(),
            "Could not write " + t.Path("out/") + kExportManifest + " (Read-only file system)");
  EXPECT_GT(r.summary.not_written, 0);
  EXPECT_EQ(r.summary.written, 0);
  EXPECT_EQ(r.summary.conversations, 0);
  EXPECT_EQ(r.summary.messages, 0);
  EXPECT_TRUE(FilesUnder(t.Path("out")).empty());
  for (const auto& e : fs::recursive_directory_iterator(t.Path("out")))
    EXPECT_TRUE(e.is_directory() || ExportsOwn(e.path())) << e.path();
}

// Ctrl+C keeps the files finished so far and leaves no temporary file; the
// next run does the rest.
TEST_F(ExportFixtureTest, AStoppedExportKeepsWhatItFinished) {
  std::atomic<int> signal{0};
  struct StopAfterThree : RunObserver {
    std::atomic<int>* signal;
    int left = 3;
    void OnLogDone(uint64_t, int64_t) override {
      if (--left == 0) signal->store(2);
    }
  } observer;
  observer.signal = &signal;
  ArchiveExportOptions options;
  const ArchiveExportResult r =
      ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), options, &observer, &signal);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.summary.written, 3);
  size_t hidden = 0;
  for (const auto& e : fs::recursive_directory_iterator(t.Path("out")))
    hidden += e.path().filename().string()[0] == '.' && !ExportsOwn(e.path());
  EXPECT_EQ(hidden, 0u);
  EXPECT_EQ(FilesUnder(t.Path("out")).size(), 3u);
  const ArchiveExportResult rest =
      ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), options, nullptr);
  EXPECT_EQ(rest.summary.unchanged, 3);
  EXPECT_EQ(rest.summary.written + 3, static_cast<int64_t>(FilesUnder(t.Path("out")).size()));
}

// Bytes that are no UTF-8 come out as U+FFFD: the JSON is valid whatever the log held.
TEST(ExportJsonTest, BytesThatAreNoUtf8BecomeReplacementCharacters) {
  const auto writer = MakeExportWriter(ExportFormat::kJsonl, false);
  ConversationInfo c;
  c.contact = "caf\xe9";
  writer->BeginConversation(c);
  const std::string line = writer->Message(c, {1, 1, "(1)", "", "B\xff", " ok \xc3\x28", "chat"});
  const nlohmann::json j = nlohmann::json::parse(line);
  EXPECT_EQ(j["contact"], "caf\xef\xbf\xbd");
  EXPECT_EQ(j["sender"], "B\xef\xbf\xbd");
  EXPECT_EQ(j["sent_at"], nullptr);
  // Every text reads back as the JSON library itself would have written it.
  for (const std::string& text :
       {std::string("say \"hi\" \\ back"), std::string("tab\tnew\nline\r\x01\x1f\x7f"),
        std::string("caf\xc3\xa9 \xf0\x9f\x8e\x89 \xe6\x9d\xb1"), std::string("\xff\xfe\xc3"),
        std::string("\xed\xa0\x80 \xf4\x90\x80\x80"), std::string("\0 nul", 5)}) {
    const nlohmann::json back =
        nlohmann::json::parse(writer->Message(c, {1, 1, "", "", text, " " + text, "chat"}));
    const nlohmann::json want = nlohmann::json::parse(
        nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    EXPECT_EQ(back["sender"], want) << text;
    EXPECT_EQ(back["body"], want) << text;
  }
}

TEST(ExportHtmlTest, MessagesAreTextAndOnlyWebAndMailAddressesAreLinks) {
  const auto writer = MakeExportWriter(ExportFormat::kHtml, true);
  ConversationInfo c;
  c.contact = "<b>bob</b>";
  auto message = [&](const std::string& body, const std::string& kind = "chat") {
    return writer->Message(
        c, {1, 1, "(10:00:00)", "2022-09-30T10:00:00+00:00", "Bob", " " + body, kind});
  };
  EXPECT_NE(writer->BeginConversation(c).find("&lt;b&gt;bob&lt;/b&gt;"), std::string::npos);
  const std::pair<std::string, std::string> cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"see https://example.org/a?b=1&c=2.",
       "see <a href=\"https://example.org/a?b=1&amp;c=2\">https://example.org/a?b=1&amp;c=2</a>."},
      {"mail mailto:bob@example.org",
       "mail <a href=\"mailto:bob@example.org\">mailto:bob@example.org</a>"},
      {"javascript:alert(1)", "javascript:alert(1)"},
      {"http://\" onmouseover=\"x", "http://&quot; onmouseover=&quot;x"},
  };
  for (const auto& [body, shown] : cases) {
    const std::string html = message(body);
    EXPECT_NE(html.find(shown + "</div>"), std::string::npos) << html;
  }
  EXPECT_NE(message("waves", "action").find("class=\"m action\""), std::string::npos);
}

}  // namespace
}  // namespace chatterwick::archive

namespace chatterwick::archive {
namespace {

// An archive is data, whoever made it: a hostile text in any column that
// reaches a page (a kind past its check, a stamp, a name, a title) is shown
// as text, never as markup.
TEST(ExportHtmlTest, NoColumnOfACraftedArchiveReachesThePageAsMarkup) {
  testing::TempTree t;
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome,
            ArchiveOutcome::kDone);
  {
    Database d;
    ASSERT_TRUE(d.Open(db, false).ok());
    d.TrustSchema();  // its triggers keep the index in step
    const std::string x = "'chat\"><script>alert(1)</script><x y=\"'";
    const std::string sql =
        "PRAGMA ignore_check_constraints = ON; "
        "UPDATE protocol SET name = " +
        x + ", display_name = " + x +
        "; "
        "UPDATE account SET name = " +
        x + ", display_name = " + x +
        "; "
        "UPDATE contact SET name = " +
        x + ", display_name = " + x +
        "; "
        "UPDATE conversation SET file_name = " +
        x + ", title = " + x + ", started_at = " + x + "; UPDATE message SET time_text = " + x +
        ", body = " + x + ", kind = " + x + "; UPDATE sender SET name = " + x +
        "; UPDATE message SET sent = " + x +
        " WHERE line_number = 2; UPDATE person SET name = " + x + ";";
    const Status s = d.Exec(sql.c_str());
    ASSERT_TRUE(s.ok()) << s.message();
  }
  ArchiveExportOptions options;
  options.format = ExportFormat::kHtml;
  std::string page;
  const ArchiveExportResult r =
      ExportArchiveToFile(*PosixEnv(), db, "", options, nullptr, {}, [&](std::string_view text) {
        page.append(text);
        return true;
      });
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.summary.messages, 3);
  EXPECT_EQ(page.find("<script"), std::string::npos) << page;
  EXPECT_EQ(page.find("<x "), std::string::npos) << page;
  EXPECT_NE(page.find("&lt;script&gt;"), std::string::npos);
  // A page of one conversation is titled with who and when: as text too.
  const ArchiveExportResult folder =
      ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), options, nullptr, {});
  ASSERT_TRUE(folder.status.ok()) << folder.status.message();
  for (const auto& e : std::filesystem::recursive_directory_iterator(t.Path("out/"))) {
    if (e.path().extension() != ".html") continue;
    const std::string one = ReadAll(e.path());
    EXPECT_EQ(one.find("<script"), std::string::npos) << one;
    EXPECT_EQ(one.find("<x "), std::string::npos) << one;
    if (e.path().filename() == kExportIndex) continue;
    EXPECT_NE(one.find("<title>chat&quot;&gt;&lt;script&gt;"), std::string::npos)
        << one.substr(0, one.find("<style>"));
  }
}

// Names a case-insensitive or normalising file system takes for one (a USB
// stick, a Windows or macOS volume) get files of their own there too.
TEST(ExportNamesTest, NamesThatFoldAlikeGetFilesOfTheirOwn) {
  testing::TempTree t;
  for (const char* contact : {"Bob", "bob", "BOB", "Zo\u00eb", "Zoe\u0308"})
    t.File(std::string("logs/p/a/") + contact + "/2022-09-30.100000+0000UTC.html",
           testing::SmallLog(2));
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome,
            ArchiveOutcome::kDone);
  ArchiveExportOptions options;
  ASSERT_EQ(
      ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), options, nullptr).summary.written, 5);
  std::set<std::string> folded;
  for (const fs::path& f : FilesUnder(t.Path("out")))
    folded.insert(FoldForFileSystem(fs::relative(f, t.Path("out")).string()));
  EXPECT_EQ(folded.size(), 5u);
  EXPECT_EQ(
      ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), options, nullptr).summary.unchanged,
      5);
}

// A log named long and without a date gives a file name near the system's
// limit: it is written like any other, beside the others.
TEST(ExportNamesTest, AFileNameNearTheLimitIsWrittenLikeAnyOther) {
  testing::TempTree t;
  const std::string long_name = std::string(223, 'n') + ".html";  // 228 bytes, no date
  t.File("logs/p/a/c/" + long_name, testing::SmallLog(2));
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  t.File("logs/p/a/d/2022-10-01.100000+0000UTC.html", testing::SmallLog(4));
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome,
            ArchiveOutcome::kDone);
  ArchiveExportOptions options;
  Heard heard;
  const ArchiveExportResult r =
      ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), options, &heard);
  EXPECT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.summary.written, 3);
  EXPECT_TRUE(heard.problems.empty());
  EXPECT_TRUE(fs::exists(t.Path("out/p/a/c/" + long_name + ".txt")));
}

// A damaged archive's rows without their conversation or names are passed
// over, and counted; the rest is exported.
TEST(ExportDamageTest, RowsOfNoWholeConversationArePassedOverAndCounted) {
  testing::TempTree t;
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  t.File("logs/p/a/c/2022-10-01.100000+0000UTC.html", testing::SmallLog(4));
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome,
            ArchiveOutcome::kDone);
  {
    Database d;
    ASSERT_TRUE(d.Open(db, false).ok());
    ASSERT_TRUE(d.Exec("PRAGMA foreign_keys = OFF; DELETE FROM conversation WHERE id = 1; "
                       "INSERT INTO conversation(contact_id, file_name, title, file_size, "
                       "file_mtime) VALUES (9999, 'x.html', 't', 1, 1);")
                    .ok());
  }
  for (ExportFormat format : {ExportFormat::kText, ExportFormat::kJson}) {
    ArchiveExportOptions options;
    options.format = format;
    ArchiveExportResult r =
        ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), options, nullptr);
    EXPECT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(r.summary.conversations, 1);
    EXPECT_EQ(r.summary.passed_over, 3);
    r = ExportArchiveToFile(*PosixEnv(), db, t.Path("all.txt"), options, nullptr, {});
    EXPECT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(r.summary.messages, 4);
    EXPECT_EQ(r.summary.passed_over, 3);
  }
}

// Most files are made in memory and written a folder at a time on a thread
// of their own; a conversation too long to hold is written as it is made.
// Both ways give whole files, counted once, and leave no temporary file.
TEST(ExportBatchTest, ALongConversationIsWrittenAsItIsMadeBesideShortOnes) {
  testing::TempTree t;
  t.File("logs/p/a/c/2024-01-01.120000+0000UTC.html", testing::SmallLog(3));
  t.File("logs/p/a/c/2024-01-02.120000+0000UTC.html", testing::SmallLog(100000, "Long"));
  t.File("logs/p/a/c/2024-01-03.120000+0000UTC.html", testing::SmallLog(2));
  t.File("logs/p/a/d/2024-01-04.120000+0000UTC.html", testing::SmallLog(4));
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome,
            ArchiveOutcome::kDone);
  ArchiveExportOptions options;
  options.format = ExportFormat::kHtml;
  for (int run = 0; run < 2; ++run) {
    const ArchiveExportResult r =
        ExportArchiveToFolder(*PosixEnv(), db, t.Path("out/"), options, nullptr);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(r.summary.conversations, 4);
    EXPECT_EQ(r.summary.messages, 3 + 100000 + 2 + 4);
    EXPECT_EQ(r.summary.written, run == 0 ? 4 : 0);
    EXPECT_EQ(r.summary.unchanged, run == 0 ? 0 : 4);
  }
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(t.Path("out"))) {
    const std::string name = e.path().filename().string();
    if (e.is_directory() || ExportsOwn(e.path())) continue;
    EXPECT_NE(name[0], '.') << name;  // no temporary file
    files[name] = ReadAll(e.path());
  }
  ASSERT_EQ(files.size(), 4u);
  for (const auto& [name, text] : files) EXPECT_TRUE(text.ends_with("</html>\n")) << name;
  const std::string& long_one = files["2024-01-02 12.00.00.html"];
  EXPECT_GT(long_one.size(), size_t{8} << 20);  // more than an export holds in memory
  EXPECT_NE(long_one.find("line 100000"), std::string::npos);
  EXPECT_NE(files["2024-01-03 12.00.00.html"].find("line 2"), std::string::npos);
}

}  // namespace
}  // namespace chatterwick::archive
