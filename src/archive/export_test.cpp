#include "archive/export.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "archive/archive.h"
#include "archive/export_manifest.h"
#include "archive/reader.h"
#include "archive/sqlite_db.h"
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

// Every file under dir but the manifest, by path.
std::vector<fs::path> FilesUnder(const std::string& dir) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path().filename() != kExportManifest) files.push_back(e.path());
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
    ASSERT_EQ(fields->size(), 8u);
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
  // Text: one line a message, after a header of three lines and a blank.
  const std::string text = Single(ExportFormat::kText);
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')),
            bodies.size() + 5 * all.size());
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
  const ArchiveExportResult r = ExportArchiveToFolder(env, db, t.Path("out/"), options, nullptr);
  EXPECT_EQ(r.status.message(), "No space left on device");
  EXPECT_EQ(ReadAll(files[0]), before);
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
  EXPECT_EQ(r.status.message(), "Read-only file system");
  EXPECT_EQ(r.summary.written, 0);
  EXPECT_EQ(r.summary.conversations, 0);
  EXPECT_EQ(r.summary.messages, 0);
  for (const auto& e : fs::recursive_directory_iterator(t.Path("out")))
    EXPECT_TRUE(e.is_directory() || e.path().filename() == kExportManifest) << e.path();
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
    hidden += e.path().filename().string()[0] == '.' && e.path().filename() != kExportManifest;
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
        "UPDATE protocol SET name = " + x + ", display_name = " + x + "; "
        "UPDATE account SET name = " + x + ", display_name = " + x + "; "
        "UPDATE contact SET name = " + x + ", display_name = " + x + "; "
        "UPDATE conversation SET file_name = " + x + ", title = " + x + ", started_at = " + x +
        "; UPDATE message SET time_text = " + x + ", sender = " + x + ", body = " + x +
        ", kind = " + x + "; UPDATE message SET sent_at = " + x + " WHERE line_number = 2;";
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
    if (e.is_directory() || name == kExportManifest) continue;
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
