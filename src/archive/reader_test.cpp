#include "archive/reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <thread>

#include "archive/archive.h"
#include "archive/sqlite_db.h"
#include "platform/posix_env.h"
#include "testing/fixtures.h"
#include "testing/temp_tree.h"

namespace chatterwick::archive {
namespace {

using Level = NodeRef::Level;

// An archive of every fixture tree, and what SQL of its own says of it.
class ReaderFixtureTest : public ::testing::Test {
 protected:
  testing::TempTree t;
  std::string db = t.Path("a.sqlite");
  std::unique_ptr<ArchiveReader> reader;

  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    for (const auto& tree : testing::FixtureTrees())
      ASSERT_EQ(RunArchive(*PosixEnv(), tree.string() + "/", db, "*.html", nullptr).outcome,
                ArchiveOutcome::kDone);
    ASSERT_TRUE(ArchiveReader::Open(db, &reader).ok());
  }
  int64_t Count(const std::string& sql) {
    Database d;
    EXPECT_TRUE(d.Open(db, true).ok());
    int64_t n = -1;
    EXPECT_TRUE(d.QueryInt(sql.c_str(), &n).ok()) << sql;
    return n;
  }
};

TEST_F(ReaderFixtureTest, TheTreeCountsWhatSqlCounts) {
  std::vector<TreeNode> nodes;
  ASSERT_TRUE(reader->Tree(&nodes).ok());
  ASSERT_FALSE(nodes.empty());
  const std::pair<Level, const char*> below[] = {
      {Level::kProtocol,
       "conversation v JOIN contact c ON c.id = v.contact_id JOIN account a ON a.id = "
       "c.account_id WHERE a.protocol_id = "},
      {Level::kAccount,
       "conversation v JOIN contact c ON c.id = v.contact_id WHERE c.account_id = "},
      {Level::kContact, "conversation v WHERE v.contact_id = "},
  };
  int64_t contacts = 0;
  for (const TreeNode& n : nodes) {
    const char* from = nullptr;
    for (const auto& [level, sql] : below)
      if (level == n.node.level) from = sql;
    const std::string id = std::to_string(n.node.id);
    EXPECT_EQ(n.conversations, Count(std::string("SELECT count(*) FROM ") + from + id)) << n.name;
    EXPECT_EQ(n.messages,
              Count(std::string("SELECT count(*) FROM message m WHERE m.conversation_id IN "
                                "(SELECT v.id FROM ") +
                    from + id + ")"))
        << n.name;
    contacts += n.node.level == Level::kContact;
    EXPECT_FALSE(n.display_name.find('%') != std::string::npos && n.display_name == n.name &&
                 n.name.find("%c3") != std::string::npos)
        << "escapes left in " << n.name;
  }
  EXPECT_EQ(contacts, Count("SELECT count(*) FROM contact"));
}

TEST_F(ReaderFixtureTest, AConversationReadsWholeAndInOrderPageByPage) {
  std::vector<ConversationRow> conversations;
  ASSERT_TRUE(reader->Conversations({}, &conversations).ok());
  EXPECT_EQ(static_cast<int64_t>(conversations.size()), Count("SELECT count(*) FROM conversation"));
  for (size_t i = 1; i < conversations.size(); ++i)
    ASSERT_LE(conversations[i - 1].started_at.substr(0, 4),
              conversations[i].started_at.substr(0, 4));
  const ConversationRow& longest = *std::max_element(
      conversations.begin(), conversations.end(),
      [](const ConversationRow& a, const ConversationRow& b) { return a.messages < b.messages; });
  std::vector<MessageRow> all, page;
  for (int64_t offset = 0;; offset += 7) {
    ASSERT_TRUE(reader->Messages(longest.id, offset, 7, &page).ok());
    if (page.empty()) break;
    all.insert(all.end(), page.begin(), page.end());
  }
  EXPECT_EQ(static_cast<int64_t>(all.size()), longest.messages);
  for (size_t i = 1; i < all.size(); ++i) ASSERT_LT(all[i - 1].line_number, all[i].line_number);
}

// Asked for conversation after conversation through one prepared query, each
// gets its own names, counts and times; without times, the rest is the same.
TEST_F(ReaderFixtureTest, EveryConversationWithAndWithoutItsTimes) {
  std::vector<ConversationRow> rows;
  ASSERT_TRUE(reader->Conversations({}, &rows).ok());
  ASSERT_FALSE(rows.empty());
  std::vector<std::pair<int64_t, int64_t>> ids;
  ASSERT_TRUE(reader->ConversationIds(&ids).ok());
  ASSERT_EQ(ids.size(), rows.size());
  for (size_t i = 0; i < ids.size(); ++i)
    EXPECT_EQ(ids[i], std::pair(rows[i].id, rows[i].contact_id)) << i;
  for (const ConversationRow& row : rows) {
    ConversationInfo full, bare;
    ASSERT_TRUE(reader->Conversation(row.id, &bare, false).ok());
    ASSERT_TRUE(reader->Conversation(row.id, &full).ok());
    const std::string where =
        " FROM message_text WHERE conversation_id = " + std::to_string(row.id);
    EXPECT_EQ(full.messages, Count("SELECT count(*)" + where));
    EXPECT_EQ(full.file_name, row.file_name);
    EXPECT_EQ(bare.signature, full.signature);
    EXPECT_EQ(bare.title, full.title);
    EXPECT_EQ(bare.messages, full.messages);
    EXPECT_EQ(bare.first_sent_at + bare.last_sent_at, "");
    if (full.messages > 0 && Count("SELECT count(sent_at)" + where) > 0) {
      EXPECT_FALSE(full.first_sent_at.empty());
      EXPECT_LE(full.first_sent_at, full.last_sent_at);
    }
  }
  ConversationInfo none;
  EXPECT_TRUE(reader->Conversation(999999, &none).IsNotFound());
  // Counted once for all, each conversation reads the same.
  std::vector<ConversationInfo> before;
  for (const ConversationRow& row : rows) {
    before.emplace_back();
    ASSERT_TRUE(reader->Conversation(row.id, &before.back()).ok());
  }
  ASSERT_TRUE(reader->HoldSnapshot().ok());
  ASSERT_TRUE(reader->CountAllMessages().ok());
  for (size_t i = 0; i < rows.size(); ++i) {
    ConversationInfo after;
    ASSERT_TRUE(reader->Conversation(rows[i].id, &after).ok());
    EXPECT_EQ(after.messages, before[i].messages);
    EXPECT_EQ(after.signature, before[i].signature);
    EXPECT_EQ(after.first_sent_at, before[i].first_sent_at);
  }
}

TEST_F(ReaderFixtureTest, StatisticsEqualSql) {
  Statistics everything;
  ASSERT_TRUE(reader->Stats({}, &everything).ok());
  EXPECT_EQ(everything.messages, Count("SELECT count(*) FROM message"));
  auto sum = [](const auto& counts) {
    int64_t n = 0;
    for (const auto& [key, count] : counts) n += count;
    return n;
  };
  EXPECT_EQ(sum(everything.per_month),
            Count("SELECT count(*) FROM message_text WHERE sent_at IS NOT NULL"));
  EXPECT_EQ(sum(everything.per_hour), sum(everything.per_month));
  EXPECT_EQ(
      std::accumulate(everything.per_weekday.begin(), everything.per_weekday.end(), int64_t{0}),
      sum(everything.per_month));
  int64_t senders = 0;
  for (const NamedCount& sender : everything.per_sender) senders += sender.messages;
  EXPECT_EQ(senders, Count("SELECT count(*) FROM message_text WHERE sender <> ''"));
  EXPECT_LE(everything.top_contacts.size(), 10u);
  for (size_t i = 1; i < everything.per_sender.size(); ++i)
    EXPECT_GE(everything.per_sender[i - 1].messages, everything.per_sender[i].messages);
  EXPECT_EQ(everything.conversations, Count("SELECT count(DISTINCT conversation_id) FROM message"));
  EXPECT_EQ(
      everything.longest_conversation.messages,
      Count("SELECT max(n) FROM (SELECT count(*) AS n FROM message GROUP BY conversation_id)"));
  EXPECT_EQ(
      everything.busiest_days.front().second,
      Count("SELECT max(n) FROM (SELECT count(*) AS n FROM message_text WHERE sent_at IS NOT NULL "
            "GROUP BY substr(sent_at, 1, 10))"));

  std::vector<TreeNode> nodes;
  ASSERT_TRUE(reader->Tree(&nodes).ok());
  for (const TreeNode& n : nodes) {
    Statistics one;
    ASSERT_TRUE(reader->Stats(n.node, &one).ok());
    EXPECT_EQ(one.messages, n.messages) << n.name;
  }
}

// Pages (read by time from the index) and the whole list (sorted) give the
// same hits in the same order, and newest first gives its exact reverse.
TEST_F(ReaderFixtureTest, SearchPagesAddUpToTheWholeListEitherWay) {
  auto collect = [&](SearchOptions options, int64_t page) {
    std::vector<int64_t> ids;
    options.limit = page;
    for (int64_t offset = 0;; offset += page) {
      const size_t before = ids.size();
      EXPECT_TRUE(reader
                      ->Search(options, offset,
                               [&](const SearchHit& h) {
                                 ids.push_back(h.message_id);
                                 EXPECT_GT(h.conversation_id, 0);
                                 return true;
                               })
                      .ok());
      if (page == 0 || ids.size() == before) return ids;
    }
  };
  SearchOptions all;
  ASSERT_TRUE(TranslateQuery("the", &all.query).ok());
  const std::vector<int64_t> whole = collect(all, 0);
  ASSERT_GT(whole.size(), 10u);
  EXPECT_EQ(collect(all, 25), whole);
  all.newest_first = true;
  const std::vector<int64_t> reverse(whole.rbegin(), whole.rend());
  EXPECT_EQ(collect(all, 0), reverse);
  EXPECT_EQ(collect(all, 25), reverse);
}

TEST(ReaderTest, WhatIsNoArchiveIsSaidSo) {
  testing::TempTree t;
  t.File("text.txt", "no database at all, only a line of text to read\n");
  std::unique_ptr<ArchiveReader> reader;
  EXPECT_TRUE(ArchiveReader::Open(t.Path("none.sqlite"), &reader).IsNotFound());
  EXPECT_TRUE(ArchiveReader::Open(t.Path("text.txt"), &reader).IsInvalidData());
  {
    Database other;
    ASSERT_TRUE(other.Open(t.Path("other.sqlite"), false).ok());
    ASSERT_TRUE(other.Exec("CREATE TABLE notes(x); PRAGMA user_version = 9;").ok());
  }
  const Status s = ArchiveReader::Open(t.Path("other.sqlite"), &reader);
  EXPECT_TRUE(s.IsInvalidData());
  EXPECT_EQ(s.message(), "made by a newer chatterwick (schema 9)");
}

// A reader waits while the archive run holds the database for a moment,
// instead of failing: a busy archive is never "not an archive".
TEST(ReaderTest, AReaderWaitsOutAShortLock) {
  testing::TempTree t;
  t.File("logs/p/a/c/2022-09-30.100000+0000UTC.html", testing::SmallLog(3));
  const std::string db = t.Path("a.sqlite");
  ASSERT_EQ(RunArchive(*PosixEnv(), t.Path("logs/"), db, "*.html", nullptr).outcome,
            ArchiveOutcome::kDone);
  auto writer = std::make_unique<Database>();
  ASSERT_TRUE(writer->Open(db, false).ok());
  ASSERT_TRUE(writer
                  ->Exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; "
                         "UPDATE conversation SET title = title;")
                  .ok());
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    writer->Exec("COMMIT").IgnoreError();
    writer.reset();  // the exclusive lock goes with the connection
  });
  std::unique_ptr<ArchiveReader> reader;
  const Status s = ArchiveReader::Open(db, &reader);
  release.join();
  ASSERT_TRUE(s.ok()) << s.message();
  std::vector<TreeNode> nodes;
  const Status tree = reader->Tree(&nodes);
  EXPECT_TRUE(tree.ok()) << tree.message();
}

}  // namespace
}  // namespace chatterwick::archive
