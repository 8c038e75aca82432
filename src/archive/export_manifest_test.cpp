#include "archive/export_manifest.h"

#include <gtest/gtest.h>

#include "archive/names.h"
#include "testing/mem_env.h"

namespace chatterwick::archive {
namespace {

bool Anywhere(const std::string&) { return true; }

TEST(ExportManifestTest, WhatIsWrittenIsReadBackWhole) {
  MemEnv env;
  env.PutFolder("/out");
  Manifest m;
  m.options = "{\"format\":\"txt\"}";
  m.files["jabber/me/zo\u00eb/2022-09-30 17.38.38.txt"] = {
      7, "43:120:5000:1", "0123", {40, 5, 6, 7}, {}};
  m.files["aim/me/bob/2019-01-09 09.48.00 (2).txt"] = {8, "", "", {}, {}};
  m.files["aim/me/bob/2019-01-10 09.48.00.html"] = {
      9, "s", "o", {}, SentSpan{"2019-01-10T09:48:00-05:00", ""}};
  ASSERT_TRUE(WriteManifest(env, "/out/.m.json", m).ok());
  std::vector<std::string> passed_over;
  EXPECT_EQ(ReadManifest(env, "/out/.m.json", Anywhere, &passed_over), m);
  // With no file at all it is empty too.
  EXPECT_EQ(ReadManifest(env, "/out/none.json", Anywhere, &passed_over), Manifest());
  EXPECT_TRUE(passed_over.empty());
}

// Anything but a whole manifest is none, so that every file is written
// anew; what the program does not know of a whole one is passed over.
TEST(ExportManifestTest, OnlyAWholeManifestSaysAnything) {
  struct Case {
    const char* text;
    size_t files;
  };
  const Case cases[] = {
      {"{\"options\": \"o\", \"files\": {\"a.txt\": {\"conversation\": 1, \"signature\": \"s\"}}}",
       1},
      {"{\"options\": \"o\", \"files\": {\"a.txt\": {\"conversation\": 1, \"signature\": \"s\"}",
       0},
      {"{\"options\": \"o\"}", 0},
      {"[]", 0},
      {"", 0},
      {"not json at all", 0},
      {"{\"files\": {\"a.txt\": {\"conversation\": 1, \"note\": {\"conversation\": 9}}}, "
       "\"later\": {\"files\": {\"x\": {\"conversation\": 2}}}}",
       1},
      {"{\"files\": {\"a.txt\": {\"conversation\": 1}}, \"x\": [{\"b.txt\": {}}]}", 1},
  };
  for (const Case& c : cases) {
    MemEnv env;
    env.PutFile("/out/m.json", c.text);
    std::vector<std::string> passed_over;
    const Manifest m = ReadManifest(env, "/out/m.json", Anywhere, &passed_over);
    EXPECT_EQ(m.files.size(), c.files) << c.text;
    if (c.files == 1) {
      EXPECT_EQ(m.files.begin()->second.conversation, 1) << c.text;
    }
  }
}

// Only the places the export itself gives its files are kept; every other
// name is left out, and said.
TEST(ExportManifestTest, NamesOutsideTheExportsPlacesArePassedOver) {
  MemEnv env;
  std::string files;
  const char* names[] = {"../../victim/keep.txt", "/etc/passwd",
                         "a/b/c/../../x.txt",     "jabber/me/bob",
                         "jabber/me/bob/./x.txt", "jabber\\\\me\\\\bob\\\\x.txt",
                         "jabber//bob/x.txt",     "jabber/me/bob/x.txt"};
  for (const char* n : names)
    files += std::string(files.empty() ? "" : ", ") + "\"" + n + "\": {\"conversation\": 1}";
  env.PutFile("/out/m.json", "{\"options\": \"o\", \"files\": {" + files + "}}");
  std::vector<std::string> passed_over;
  const Manifest m = ReadManifest(
      env, "/out/m.json", [](const std::string& r) { return IsExportPlace(r, '/'); }, &passed_over);
  ASSERT_EQ(m.files.size(), 1u);
  EXPECT_EQ(m.files.begin()->first, "jabber/me/bob/x.txt");
  EXPECT_EQ(passed_over.size(), std::size(names) - 1);
}

}  // namespace
}  // namespace chatterwick::archive
