#include "archive/folding_tokenizer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/reader.h"
#include "archive/schema.h"
#include "archive/search.h"
#include "archive/sqlite_db.h"
#include "platform/posix_env.h"
#include "testing/sql_rows.h"
#include "testing/temp_tree.h"

namespace chatterwick::archive {
namespace {

using Strings = std::vector<std::string>;

// An archive of messages with letters that no accent comes off, each the
// body of a chat line.
class FoldingTest : public ::testing::Test {
 protected:
  testing::TempTree t;
  std::string db = t.Path("a.sqlite");

  void SetUp() override {
    Log("2022-09-30.100000+0000UTC.html",
        {"ferry to \u00d8resund", "the Oresund bridge", "Stra\u00dfe closed",
         "back from \u0141\u00f3d\u017a", "\ufb01nal answer", "\u00bd cup of tea",
         "\u00de\u00f3rr and \u00c6gir"});
    ASSERT_EQ(Run(), ArchiveOutcome::kDone);
  }
  void Log(const std::string& name, const Strings& bodies) {
    std::string log = "<title>t</title>\n";
    int second = 10;
    for (const std::string& body : bodies)
      log += "<font size=\"2\">(10:00:" + std::to_string(second++) + ")</font> <b>Ann:</b> " +
             body + "\n";
    t.File("logs/p/a/c/" + name, log);
  }
  ArchiveOutcome Run() {
    return RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome;
  }
  // The bodies typed finds, in time order, and whether CountHits counts as many.
  Strings Find(std::string_view typed, const std::string& mark_start = "",
               const std::string& mark_end = "") {
    std::unique_ptr<ArchiveReader> reader;
    EXPECT_TRUE(ArchiveReader::Open(db, &reader).ok());
    SearchOptions o;
    EXPECT_TRUE(TranslateQuery(typed, &o.query).ok());
    o.mark_start = mark_start;
    o.mark_end = mark_end;
    Strings bodies;
    const Status s = reader->Search(o, 0, [&](const SearchHit& h) {
      bodies.push_back(h.body.substr(1));
      return true;
    });
    EXPECT_TRUE(s.ok()) << typed << ": " << s.message();
    int64_t count = -1;
    EXPECT_TRUE(reader->CountHits(o, &count).ok());
    EXPECT_EQ(count, static_cast<int64_t>(bodies.size())) << typed;
    return bodies;
  }
};

TEST_F(FoldingTest, LettersWithoutAnAccentToDropAreFoundAsTheirAsciiLetters) {
  const Strings oresund = {"ferry to \u00d8resund", "the Oresund bridge"};
  const Strings strasse = {"Stra\u00dfe closed"};
  const Strings lodz = {"back from \u0141\u00f3d\u017a"};
  const std::pair<const char*, Strings> cases[] = {
      {"oresund", oresund},
      {"Oresund", oresund},
      {"\u00f8resund", oresund},
      {"\u00d8RESUND", oresund},
      {"strasse", strasse},
      {"stra\u00dfe", strasse},
      {"STRASSE", strasse},
      {"lodz", lodz},
      {"\u0142\u00f3d\u017a", lodz},
      {"\u0141\u00d3D\u0179", lodz},
      {"ores*", oresund},
      {"\u00f8re*", oresund},
      {"stra\u00df*", strasse},
      {"\u0142\u00f3*", lodz},
      {"\"ferry to oresund\"", {"ferry to \u00d8resund"}},
      {"oresund -ferry", {"the Oresund bridge"}},
      {"final", {"\ufb01nal answer"}},
      {"\u00bd", {"\u00bd cup of tea"}},
      {"thorr aegir", {"\u00de\u00f3rr and \u00c6gir"}},
  };
  for (const auto& [typed, want] : cases) EXPECT_EQ(Find(typed), want) << typed;
}

// What the index holds of each word: one word, whatever the rules make of
// it, as ICU's Latin-ASCII rules write the whole word.
TEST(FoldingTokenizerTest, AWordIsHeldAsOneWordOfItsLatinLettersInAscii) {
  Database d;
  ASSERT_TRUE(d.Open(":memory:", false).ok());
  ASSERT_TRUE(d.Exec("CREATE VIRTUAL TABLE f USING fts5(x, tokenize='chatterwick_folding'); "
                     "CREATE VIRTUAL TABLE words USING fts5vocab(f, 'row');")
                  .ok());
  Statement add, held;
  ASSERT_TRUE(add.Prepare(d, "INSERT INTO f(x) VALUES (?1)").ok());
  ASSERT_TRUE(held.Prepare(d, "SELECT term FROM words").ok());
  const std::pair<const char*, Strings> cases[] = {
      {"Øresund Straße Łódź", {"lodz", "oresund", "strasse"}},
      {"ǅungla ﬁnal ŉ", {"'n", "dzungla", "final"}},
      {"½ straße½", {" 1/2", "strasse 1/2"}},
      {"ПРИВЕТ 東京", {"привет", "東京"}},
      // A combining mark newer than unicode61's tables: dropped after a
      // Latin letter, kept after a Cyrillic one, as the rules do.
      {"a᪰b ж᪰", {"ab", "ж᪰"}},
  };
  for (const auto& [text, want] : cases) {
    ASSERT_TRUE(d.Exec("DELETE FROM f").ok());
    add.Bind(1, std::string_view(text));
    ASSERT_TRUE(add.Run().ok());
    Strings terms;
    bool row = false;
    while (held.Step(&row).ok() && row) terms.emplace_back(held.Text(0));
    held.Reset();
    EXPECT_EQ(terms, want) << text;
  }
}

// A hit is marked on the word as written, however its letters were folded.
TEST_F(FoldingTest, HitsAreMarkedOnTheWordAsWritten) {
  const std::pair<const char*, Strings> cases[] = {
      {"oresund", {"ferry to [\u00d8resund]", "the [Oresund] bridge"}},
      {"ores*", {"ferry to [\u00d8resund]", "the [Oresund] bridge"}},
      {"strasse closed", {"[Stra\u00dfe] [closed]"}},
      {"lodz", {"back from [\u0141\u00f3d\u017a]"}},
      {"\u00bd", {"[\u00bd] cup of tea"}},
  };
  for (const auto& [typed, want] : cases) EXPECT_EQ(Find(typed, "[", "]"), want) << typed;
}

// An archive of the version before finds what unicode61 alone found; its
// upgrade builds the index anew, and later runs keep it so.
TEST_F(FoldingTest, AnArchiveOfTheVersionBeforeFindsFoldedWordsOnceUpgraded) {
  {
    Database d;
    ASSERT_TRUE(d.Open(db, false).ok());
    ASSERT_TRUE(d.Exec((std::string(kLayoutOfVersion6) + kChatViewOfVersion6 + kFullTextOfVersion5 +
                        "PRAGMA user_version = 5;")
                           .c_str())
                    .ok());
  }
  EXPECT_EQ(Find("oresund"), Strings{"the Oresund bridge"});
  Log("2022-10-01.100000+0000UTC.html", {"\u00d8resund again"});
  ASSERT_EQ(Run(), ArchiveOutcome::kDone);
  EXPECT_EQ(testing::SqlRows(db, "PRAGMA user_version"), Strings{std::to_string(kSchemaVersion)});
  EXPECT_EQ(Find("oresund"),
            (Strings{"ferry to \u00d8resund", "the Oresund bridge", "\u00d8resund again"}));
  EXPECT_EQ(Find("lodz"), Strings{"back from \u0141\u00f3d\u017a"});
}

// A plain sqlite3 shell knows nothing of the tokenizer: every table and the
// chat view read as they are, and only the full-text index needs the program.
TEST_F(FoldingTest, APlainConnectionReadsTheChatView) {
  sqlite3* plain = nullptr;
  ASSERT_EQ(sqlite3_open_v2(db.c_str(), &plain, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  auto count = [&](const char* sql) {
    sqlite3_stmt* st = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(plain, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
  };
  EXPECT_EQ(count("SELECT count(*) FROM chat WHERE body LIKE '%resund%'"), 2);
  EXPECT_EQ(count("SELECT count(*) FROM message_fts('oresund')"), -1);
  sqlite3_close_v2(plain);
}

}  // namespace
}  // namespace chatterwick::archive
