#include "core/modGlobal.h"

#include <gtest/gtest.h>

namespace chatterwick::modGlobal {
namespace {

TEST(CatalogueTablesTest, ClearEmptiesTheCatalogueAndKeepsTheLoadedLog) {
  State st;
  EXPECT_EQ(st.NextChatSlot, 0);
  st.RawLines.At(0) = "<title>x</title>";
  st.LineCount = 1;
  st.ParsedLines.At(1).Message = "m";
  st.FailedLineCount = 4;
  st.Contacts.At(1) = {1, 1, "bob"};
  ASSERT_TRUE(st.ChatLines.Append(1, 1, "t", "s", "m"));
  for (int twice = 0; twice < 2; ++twice) {
    ClearCatalogue(st);
    EXPECT_EQ(st.Contacts[1].Name, "");
    EXPECT_EQ(st.Contacts.FirstFreeSlot(), 1);
    EXPECT_EQ(st.ChatLines.Count(), 0);
    EXPECT_EQ(st.ChatLines[1].Message, "");
    EXPECT_EQ(st.NextChatSlot, 1);
    EXPECT_EQ(st.FailedLineCount, 0);
    EXPECT_EQ(st.RawLines[0], "<title>x</title>");
    EXPECT_EQ(st.LineCount, 1);
    EXPECT_EQ(st.ParsedLines[1].Message, "m");
  }
}

TEST(CatalogueTablesTest, FirstFreeSlotFollowsTheLastInUse) {
  CatalogueTable<CatalogueEntry> t(1000);
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

}  // namespace
}  // namespace chatterwick::modGlobal
