#include "core/csv.h"

#include <gtest/gtest.h>

#include "testing/mem_env.h"

namespace chatterwick {
namespace {

TEST(FormatCsvRowTest, QuotesEveryFieldAndDoublesInnerQuotes) {
  EXPECT_EQ(FormatCsvRow({"7", "abc"}), R"("7","abc")");
  EXPECT_EQ(FormatCsvRow({"", ""}), R"("","")");
  EXPECT_EQ(FormatCsvRow({"a,b", "say \"hi\""}), R"("a,b","say ""hi""")");
  EXPECT_EQ(FormatCsvRow({"\"", "x\"\"y", "tab\there"}), "\"\"\"\",\"x\"\"\"\"y\",\"tab\there\"");
  EXPECT_EQ(FormatCsvRow({"1", "2", "(1)", "Bob:", "caf\xC3\xA9"}),
            "\"1\",\"2\",\"(1)\",\"Bob:\",\"caf\xC3\xA9\"");
}

TEST(WriteUtf8BomTest, MarksOnlyAnEmptyOrAbsentFile) {
  MemEnv env;
  env.PutFolder("/out");
  EXPECT_TRUE(WriteUtf8Bom(env, "/out/new.csv").ok());
  EXPECT_EQ(env.Contents("/out/new.csv"), "\xEF\xBB\xBF");
  env.PutFile("/out/empty.csv", "");
  EXPECT_TRUE(WriteUtf8Bom(env, "/out/empty.csv").ok());
  EXPECT_EQ(env.Contents("/out/empty.csv"), "\xEF\xBB\xBF");
  env.PutFile("/out/old.csv", "\"1\",\"a\"\r\n");
  EXPECT_FALSE(WriteUtf8Bom(env, "/out/old.csv").ok());
  EXPECT_EQ(env.Contents("/out/old.csv"), "\"1\",\"a\"\r\n");
  EXPECT_FALSE(WriteUtf8Bom(env, "/missing/x.csv").ok());
}

TEST(AppendCsvRowsTest, AppendsRowsEndingInCrLf) {
  MemEnv env;
  env.PutFile("/out/f.csv", "\"old\"\r\n");
  ASSERT_TRUE(AppendCsvRows(env, "/out/f.csv", [](auto&& row) {
                row({"1", "a"});
                row({"2", "b\""});
              }).ok());
  EXPECT_EQ(env.Contents("/out/f.csv"), "\"old\"\r\n\"1\",\"a\"\r\n\"2\",\"b\"\"\"\r\n");
  const Status s = AppendCsvRows(env, "/nowhere/f.csv", [](auto&& row) { row({"x"}); });
  EXPECT_TRUE(s.IsNotFound()) << s.message();
}

}  // namespace
}  // namespace chatterwick
