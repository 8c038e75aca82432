#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/export.h"
#include "archive/reader.h"
#include "archive/sqlite_db.h"
#include "core/log_file.h"
#include "platform/posix_env.h"
#include "testing/temp_tree.h"

// A message's own line breaks, in either format the client writes, reach the
// archive as "\n" and its exports as line breaks; lists of hits and the
// core's readers (a log's listing, the catalogue) keep them blanks.
namespace chatterwick::archive {
namespace {

constexpr const char* kHtmlLog =
    "<html><head><title>Conversation with bob</title></head><body><p>\n"
    "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(17:38:38)</span> "
    "<b>Bob:</b></span> see you<br/>at <i>eight</i><br>\n"
    "<span style=\"color: #16569E\"><span style=\"font-size: smaller\">(17:39:00)</span> "
    "<b>Alice:</b></span> <html xmlns='http://jabber.org/protocol/xhtml-im'><body><p>line "
    "one</p><p>line two &lt;3</p></body></html><br>\n"
    "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(17:40:00)</span> "
    "<b>Bob:</b></span> raw\nwrap stays a blank<br>\n"
    "</p>\n</body>\n</html>\n";

constexpr const char* kTextLog =
    "Conversation with carol at Fri Sep 30 17:38:26 2022 on me (jabber)\n"
    "(17:41:00) Carol: prices: 3,50 EUR\nno problem :)\n\n\xF0\x9F\x99\x82\nok\n"
    "(17:42:00) Carol: \nbegun on the next line\n"
    "(17:43:00) ***Carol waves\nand waves\n"
    "(17:44:00) Carol: the end\n"
    "(17:45:00) The topic is\nnow: chairs\n";

class LineBreaksTest : public ::testing::Test {
 protected:
  testing::TempTree t;
  std::string db = t.Path("a.sqlite");
  const std::string html = "logs/jabber/me/bob/2022-09-30.173826+0200CEST.html";
  const std::string text = "logs/jabber/me/carol/2022-09-30.173826+0200CEST.txt";

  void SetUp() override {
    t.File(html, kHtmlLog);
    t.File(text, kTextLog);
    const ArchiveResult r = RunArchive(*PosixEnv(), t.Path("logs/"), db, kArchiveMask, nullptr);
    ASSERT_EQ(r.outcome, ArchiveOutcome::kDone) << r.why.message();
  }
  // Every message's body, in the archive's order of conversations.
  std::vector<std::string> Bodies() {
    std::unique_ptr<ArchiveReader> reader;
    EXPECT_TRUE(ArchiveReader::Open(db, &reader).ok());
    std::vector<ConversationRow> conversations;
    EXPECT_TRUE(reader->Conversations({}, &conversations).ok());
    std::vector<std::string> bodies;
    for (const ConversationRow& c : conversations) {
      std::vector<MessageRow> rows;
      EXPECT_TRUE(reader->Messages(c.id, 0, 100, &rows).ok());
      for (const MessageRow& m : rows) bodies.push_back(m.body);
    }
    return bodies;
  }
  std::string Single(ExportFormat format) {
    ArchiveExportOptions options;
    options.format = format;
    std::string out;
    EXPECT_TRUE(
        ExportArchiveToFile(*PosixEnv(), db, "", options, nullptr, {}, [&](std::string_view part) {
          out.append(part);
          return true;
        }).status.ok());
    return out;
  }
};

TEST_F(LineBreaksTest, TheArchiveKeepsThemBetweenTextsOnly) {
  EXPECT_EQ(Bodies(), (std::vector<std::string>{
                          " see you\nat eight", " line one\nline two <3", " raw wrap stays a blank",
                          " prices: 3,50 EUR\nno problem :)\n\n\xF0\x9F\x99\x82\nok",
                          "  begun on the next line", " waves\nand waves", " the end",
                          "The topic is\nnow: chairs",  // nobody speaks on the stamp's line
                      }));
}

TEST_F(LineBreaksTest, ExportsShowThemAsLineBreaks) {
  const std::string page = Single(ExportFormat::kHtml);
  EXPECT_NE(page.find("see you<br>at eight</div>"), std::string::npos);
  EXPECT_NE(page.find("line one<br>line two &lt;3</div>"), std::string::npos);
  // Each line after the first under the sender: nothing in the file begins
  // an entry but a message, and no line of one is empty.
  const std::string lines = Single(ExportFormat::kText);
  const std::string under(22, ' ');
  EXPECT_NE(lines.find("[2022-09-30 17:41:00] Carol: prices: 3,50 EUR\n" + under +
                       "no problem :)\n" + under + "\n" + under + "\xF0\x9F\x99\x82\n" + under +
                       "ok\n[2022-09-30 17:42:00] Carol: begun on the next line\n"),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("* Carol waves\n" + under + "and waves\n"), std::string::npos);
  EXPECT_NE(Single(ExportFormat::kJsonl).find("\"body\":\"see you\\nat eight\""),
            std::string::npos);
  // CSV keeps the message whole in its quoted field.
  EXPECT_NE(Single(ExportFormat::kCsv).find("\"see you\nat eight\""), std::string::npos);
}

TEST_F(LineBreaksTest, HitsAreOneLineAndPhrasesFindAcrossABreak) {
  for (const char* typed : {"\"see you at eight\"", "\"\xF0\x9F\x99\x82 ok\""}) {
    SearchOptions search;
    ASSERT_TRUE(TranslateQuery(typed, &search.query).ok());
    std::vector<std::string> found;
    ASSERT_TRUE(Search(db, search, [&](const SearchHit& h) {
                  found.push_back(h.body);
                  return true;
                }).ok());
    ASSERT_EQ(found.size(), 1u) << typed;
    EXPECT_EQ(found[0].find('\n'), std::string::npos) << found[0];
  }
}

// An archive made before kept blanks: when a log of it grows, the run adds
// what is new and takes no message it holds for another over its breaks.
TEST_F(LineBreaksTest, MessagesStoredWithBlanksAreNotTakenAgain) {
  {
    Database d;
    ASSERT_TRUE(d.Open(db, false).ok());
    d.TrustSchema();  // its triggers keep the index in step
    ASSERT_TRUE(d.Exec("UPDATE message SET body = replace(body, char(10), ' ')").ok());
  }
  std::string grown = kTextLog;
  grown += "(17:46:00) Carol: one\nmore\n";
  t.File(text, grown);
  const ArchiveResult r = RunArchive(*PosixEnv(), t.Path("logs/"), db, kArchiveMask, nullptr);
  ASSERT_EQ(r.outcome, ArchiveOutcome::kDone) << r.why.message();
  const std::vector<std::string> bodies = Bodies();
  ASSERT_EQ(bodies.size(), 9u);
  EXPECT_EQ(bodies[3], " prices: 3,50 EUR no problem :)  \xF0\x9F\x99\x82 ok");
  EXPECT_EQ(bodies[8], " one\nmore");
}

// What lists a log (view, the main window, the catalogue) reads each
// message on one line, as it always did.
TEST_F(LineBreaksTest, TheCoreStillReadsThemAsBlanks) {
  auto log = std::make_unique<LoadedLog>();
  ASSERT_TRUE(LoadLogFile(*log, *PosixEnv(), t.Path(html)).status.ok());
  EXPECT_EQ(log->ParsedLines[1].Message, " see you at eight");
  EXPECT_EQ(log->ParsedLines[2].Message, " line one line two <3");
  ASSERT_TRUE(LoadLogFile(*log, *PosixEnv(), t.Path(text)).status.ok());
  EXPECT_EQ(log->ParsedLines[1].Message, " prices: 3,50 EUR no problem :)  \xF0\x9F\x99\x82 ok");
}

}  // namespace
}  // namespace chatterwick::archive
