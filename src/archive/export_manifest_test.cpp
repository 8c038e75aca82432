#include "archive/export_manifest.h"

#include <gtest/gtest.h>

#include "testing/mem_env.h"

namespace chatterwick::archive {
namespace {

TEST(ExportManifestTest, WhatIsWrittenIsReadBackWhole) {
  MemEnv env;
  env.PutFolder("/out");
  Manifest m;
  m.options = "{\"format\":\"txt\"}";
  m.files["jabber/me/zo\u00eb/2022-09-30 17.38.38.txt"] = {7, "43:120:5000:1"};
  m.files["aim/me/bob/2019-01-09 09.48.00 (2).txt"] = {8, ""};
  ASSERT_TRUE(WriteManifest(env, "/out/.m.json", m).ok());
  EXPECT_EQ(ReadManifest(env, "/out/.m.json"), m);
  // With no file at all it is empty too.
  EXPECT_EQ(ReadManifest(env, "/out/none.json"), Manifest());
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
    const Manifest m = ReadManifest(env, "/out/m.json");
    EXPECT_EQ(m.files.size(), c.files) << c.text;
    if (c.files == 1) {
      EXPECT_EQ(m.files.begin()->second.first, 1) << c.text;
    }
  }
}

}  // namespace
}  // namespace chatterwick::archive
