#include "archive/copies.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace chatterwick::archive {
namespace {

TEST(LogStemTest, OnlyALettersExtensionGoes) {
  const std::pair<const char*, const char*> cases[] = {
      {"2022-09-30.173826+0200CEST.html", "2022-09-30.173826+0200CEST"},
      {"2022-09-30.173826+0200CEST.TXT", "2022-09-30.173826+0200CEST"},
      {"2022-09-30.173826+0200CEST", "2022-09-30.173826+0200CEST"},
      {"x.html.bak", "x.html"},
      {".html", ".html"},
      {"notes.backup1", "notes.backup1"},
  };
  for (const auto& [name, stem] : cases) EXPECT_EQ(LogStem(name), stem) << name;
}

// The two formats word one message differently past its start.
TEST(MessageKeyTest, BothFormatsGiveOneKey) {
  const std::string at = "2022-09-30T17:38:38+02:00";
  const std::tuple<const char*, const char*, const char*, const char*> same[] = {
      {"Bob:", " see https://x.org/p, ok?", "Bob", " see https://x.org/p (https://x.org/q), ok?"},
      {"", "Error: Remote server not found", "Error", " Remote server not found"},
      {"***Zo\u00eb", " \u00d8deg\u00e5rd waves", "Zo\u00eb \u00d8deg\u00e5rd", " waves"},
      {"Ann:", " non-breaking\u00a0space", "Ann", " non-breaking space"},
  };
  for (const auto& [sender_a, body_a, sender_b, body_b] : same)
    EXPECT_EQ(MessageKey(at, "", sender_a, body_a), MessageKey(at, "", sender_b, body_b)) << body_a;
  EXPECT_NE(MessageKey(at, "", "Bob", "hi"), MessageKey(at, "", "Bob", "ho"));
  EXPECT_NE(MessageKey(at, "(1)", "Bob", "hi"), MessageKey("", "(1)", "Bob", "hi"));
  EXPECT_TRUE(KeyExtends(MessageKey(at, "", "Bob", "only"), MessageKey(at, "", "Bob", "only in")));
  EXPECT_FALSE(KeyExtends(MessageKey(at, "", "Bob", "only in one"),
                          MessageKey(at, "", "Bob", "only in one more")));
}

// Each row: the stored keys, the copy's keys, what each offer gives, and
// whether the copy differs.
TEST(CopyMergeTest, PrefixLongerAndDifferentCopies) {
  using O = CopyMerge::Offered;
  struct Case {
    std::vector<std::string> stored, copy;
    std::vector<O> offered;
    bool differs;
  };
  const Case cases[] = {
      {{"a", "b", "c"}, {"a", "b"}, {O::kHeld, O::kHeld}, false},
      {{"a", "b"}, {"a", "b", "c"}, {O::kHeld, O::kHeldLast, O::kNew}, false},
      {{"a", "a"}, {"a", "a", "a"}, {O::kHeld, O::kHeldLast, O::kNew}, false},
      {{"a", "c"}, {"a", "b", "c"}, {O::kHeld, O::kNew, O::kHeldLast}, true},
      {{"a", "b"}, {"x", "a"}, {O::kNew, O::kHeld}, true},
      {{}, {"a"}, {O::kNew}, false},
  };
  for (const Case& c : cases) {
    CopyMerge merge;
    for (const std::string& key : c.stored) merge.AddStored(key);
    std::vector<O> offered;
    for (const std::string& key : c.copy) offered.push_back(merge.Offer(key, false));
    EXPECT_EQ(offered, c.offered) << c.copy.size();
    EXPECT_EQ(merge.Differs(), c.differs) << c.copy.size();
  }
}

}  // namespace
}  // namespace chatterwick::archive
