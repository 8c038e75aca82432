#include "archive/names.h"

#include <gtest/gtest.h>

namespace chatterwick::archive {
namespace {

TEST(NamesTest, EscapesAreDecodedWhenTheyMakeUtf8) {
  const std::pair<const char*, const char*> cases[] = {
      {"zo%c3%ab@example.org", "zo\u00eb@example.org"},
      {"caf%C3%A9@muc.example.net.chat", "caf\u00e9@muc.example.net.chat"},
      {"sip%3ajudy@example.org", "sip:judy@example.org"},
      {"%26local.chat", "&local.chat"},
      {"bob", "bob"},
      {"100%", "100%"},
      {"%zz%4", "%zz%4"},
      {"bad%ff", "bad%ff"},    // no UTF-8: the name as on the disk
      {"nul%00x", "nul%00x"},  // a NUL would cut a name short
      {"half%c3", "half%c3"},
  };
  for (const auto& [disk, shown] : cases) EXPECT_EQ(DisplayName(disk), shown) << disk;
}

TEST(NamesTest, FoldingIgnoresCaseAndAccentsInEveryScript) {
  const std::pair<const char*, const char*> cases[] = {
      {"ZO\u00cb", "zoe"},
      {"Zo\u00eb", "zoe"},
      {"zoe", "zoe"},
      {"Caf\u00e9", "cafe"},
      {"Stra\u00dfe", "strasse"},
      {"\u0394\u03ac\u03c6\u03bd\u03b7", "\u03b4\u03b1\u03c6\u03bd\u03b7"},  // Greek
      {"\u0419\u041e\u0428\u041a\u0410",
       "\u0438\u043e\u0448\u043a\u0430"},  // Cyrillic, й loses its breve
      {"\u6771\u4eac", "\u6771\u4eac"},
      {"a\xff"
       "B",
       "a\xff"
       "b"},  // a byte that is no UTF-8 stays
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(FoldForSearch(in), out) << in;
}

TEST(NamesTest, ExportNamesFromHostileFoldersStayInsideTheFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"zo\u00eb@example.org", "zo\u00eb@example.org"},
      {"../x", "_._x"},
      {"a/b", "a_b"},
      {"a\\b", "a_b"},
      {"CON", "_CON"},
      {"lpt1.txt", "_lpt1.txt"},
      {"con.chat", "_con.chat"},
      {"console", "console"},
      {"line\nbreak", "line_break"},
      {"what?<>:\"|*", "what_______"},
      {".hidden", "_hidden"},
      {"dots...", "dots.._"},
      {"", "_"},
      {std::string(300, 'a'), std::string(255, 'a')},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeFileName(name), safe) << name;
  // Never a cut inside a character: 200 two-byte letters hold 400 bytes.
  std::string long_name;
  for (int i = 0; i < 200; ++i) long_name += "\u00e9";
  EXPECT_EQ(SafeFileName(long_name).size(), 254u);
}

}  // namespace
}  // namespace chatterwick::archive
