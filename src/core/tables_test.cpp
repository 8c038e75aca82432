#include "core/tables.h"

#include <gtest/gtest.h>

#include <vector>

namespace chatterwick {
namespace {

TEST(CatalogueTablesTest, ClearEmptiesTheCatalogueAndGivesItsStorageBack) {
  Catalogue cat;
  cat.Protocols.At(1) = {1, 0, "jabber"};
  cat.Contacts.At(1) = {1, 1, "bob"};
  ASSERT_TRUE(cat.ChatLines.Append(1, 1, "t", "s", "m"));
  for (int twice = 0; twice < 2; ++twice) {
    cat.Clear();
    EXPECT_EQ(cat.Protocols[1].Name, "");
    EXPECT_EQ(cat.Contacts[1].Name, "");
    EXPECT_EQ(cat.Contacts.FirstFreeSlot(), 1);
    EXPECT_EQ(cat.ChatLines.Count(), 0);
    EXPECT_EQ(cat.ChatLines[1].Message, "");
  }
}

TEST(CatalogueTablesTest, FirstFreeSlotFollowsTheLastInUse) {
  CatalogueTable t(1000);
  for (int32_t i = 1; i <= 7; ++i) t.At(i) = {i, 1, "c" + std::to_string(i)};
  EXPECT_EQ(t.FirstFreeSlot(), 8);
  EXPECT_EQ(t[8].Name, "");
  EXPECT_EQ(t[5000].Name, "");  // beyond the table reads as empty, never out of bounds
}

TEST(ChatTableTest, KeepsTextsAcrossBlocksAndStopsAtCapacity) {
  ChatTable t;
  const std::string big(5 << 20, 'x');  // longer than one storage block
  ASSERT_TRUE(t.Append(3, 1, "(1)", "a", "short"));
  ASSERT_TRUE(t.Append(3, 2, "", "", big));
  ASSERT_TRUE(t.Append(4, 1, "(2)", "b", ""));
  EXPECT_EQ(t[1].Message, "short");
  EXPECT_EQ(t[1].Sender, "a");
  EXPECT_EQ(t[2].Message.size(), big.size());
  EXPECT_EQ(t[3].ConversationId, 4);
  EXPECT_EQ(t[3].Time, "(2)");
  EXPECT_EQ(t[0].ConversationId, 0);
  EXPECT_EQ(t[4].ConversationId, 0);

  ChatTable full;
  for (int32_t i = 0; i < kLastChatLine; ++i) ASSERT_TRUE(full.Append(1, i + 1, "", "", "m"));
  EXPECT_FALSE(full.Append(1, 0, "", "", "m"));
  EXPECT_EQ(full.Count(), kLastChatLine);
  EXPECT_EQ(full[kLastChatLine].LineNumber, kLastChatLine);
}

TEST(LoadedLogTest, ChatLinesAreTheFilledSlotsUpToLineCount) {
  LoadedLog log;
  log.ParsedLines.At(1).Message = "first";
  log.ParsedLines.At(3).Time = "(2)";
  log.ParsedLines.At(4).Message = "past LineCount";
  auto listed = [&] {
    std::vector<std::string> out;
    log.ForEachChatLine([&](const ParsedLine& p) { out.push_back(p.Time + p.Message); });
    return out;
  };
  log.LineCount = 3;  // slot 3 is the empty one after the last line, but may be read
  EXPECT_EQ(listed(), (std::vector<std::string>{"first", "(2)"}));
  log.LineCount = 0;
  EXPECT_TRUE(listed().empty());
  log.LineCount = kLastLineIndex + 5;  // never past the table
  EXPECT_EQ(listed().size(), 3u);
}

}  // namespace
}  // namespace chatterwick

namespace chatterwick {
namespace {

// Hands out heap blocks, counting them, and none once "left" runs out.
class CountingBlocks : public BlockSource {
 public:
  char* Allocate(size_t size) override {
    if (left == 0) return nullptr;
    --left;
    ++held;
    return new char[size];
  }
  void Free(char* block, size_t) override {
    --held;
    delete[] block;
  }
  int left = 1000, held = 0;
};

TEST(ChatTableTest, EveryBlockComesFromItsSourceAndGoesBack) {
  CountingBlocks blocks;
  {
    ChatTable table(&blocks);
    const std::string text(1000, 'x');
    for (int i = 0; i < 20000; ++i) ASSERT_TRUE(table.Append(1, i + 1, "(1)", "Bob", text));
    EXPECT_GE(blocks.held, 5);  // the texts' and the index's
    EXPECT_EQ(table[20000].Message, text);
    table.Release();
    EXPECT_EQ(blocks.held, 0);
    ASSERT_TRUE(table.Append(1, 1, "(1)", "Bob", "again"));
    EXPECT_EQ(table[1].Message, "again");
  }
  EXPECT_EQ(blocks.held, 0);  // a table gives its blocks back as it goes
}

TEST(ChatTableTest, NoMemoryForABlockIsThrownAndTheTableStaysWhole) {
  CountingBlocks blocks;
  blocks.left = 2;  // the index and one text block
  ChatTable table(&blocks);
  const std::string text(1 << 20, 'x');
  int stored = 0;
  EXPECT_THROW(for (;; ++stored) table.Append(1, stored + 1, "", "", text), std::bad_alloc);
  EXPECT_EQ(table.Count(), stored);
  EXPECT_EQ(table[stored].Message.size(), text.size());
  EXPECT_TRUE(table[stored + 1].Message.empty());
}

}  // namespace
}  // namespace chatterwick
