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
  EXPECT_EQ(FormatCsvRow({1, 2, "(1)", "Bob:", "caf\xC3\xA9"}),
            "\"1\",\"2\",\"(1)\",\"Bob:\",\"caf\xC3\xA9\"");
  EXPECT_EQ(FormatCsvRow({0, -7, 2147483647}), R"("0","-7","2147483647")");
}

TEST(FormatCsvRowTest, SpreadsheetSafeTextCannotStartAFormula) {
  struct Case {
    const char* text;
    const char* as_read;
    const char* safe;
  };
  const Case cases[] = {
      {"=HYPERLINK(\"http://x\",\"y\")", R"x("=HYPERLINK(""http://x"",""y"")")x",
       R"x("'=HYPERLINK(""http://x"",""y"")")x"},
      {"+1", R"("+1")", R"("'+1")"},
      {"-2", R"("-2")", R"("'-2")"},
      {"@SUM(A1)", "\"@SUM(A1)\"", "\"'@SUM(A1)\""},
      {"\tx", "\"\tx\"", "\"'\tx\""},
      {"\rx", "\"\rx\"", "\"'\rx\""},
      {" =1", R"(" =1")", R"(" =1")"},  // only the first byte counts
      {"a=1", R"("a=1")", R"("a=1")"},
      {"'quoted", R"("'quoted")", R"("'quoted")"},
      {"", R"("")", R"("")"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatCsvRow({c.text}), c.as_read) << c.text;
    EXPECT_EQ(FormatCsvRow({c.text}, CsvText::kSpreadsheetSafe), c.safe) << c.text;
  }
  // Numbers are never text, whatever their sign.
  EXPECT_EQ(FormatCsvRow({-1, "=x"}, CsvText::kSpreadsheetSafe), R"("-1","'=x")");
  EXPECT_EQ(CsvTextFor(true), CsvText::kSpreadsheetSafe);
  EXPECT_EQ(CsvTextFor(false), CsvText::kAsRead);
}

// Takes two rows, then fails every write after them.
class FullAfterTwo : public WritableFile {
 public:
  Status Append(std::string_view data) override {
    if (++appends > 2) return Status::IOError("No space left on device");
    text.append(data);
    return Status::OK();
  }
  Status Sync() override { return Status::OK(); }
  Status Close() override { return Status::OK(); }
  std::string text;
  int appends = 0;
};

TEST(WriteCsvRowsTest, RowsEndInCrLfAndStopAtTheFirstFailure) {
  FullAfterTwo out;
  const Status s = WriteCsvRows(out, CsvText::kAsRead, [](auto&& row) {
    row({1, "a"});
    row({2, "b\""});
    row({3, "c"});
    row({4, "d"});
  });
  EXPECT_EQ(s.message(), "No space left on device");
  EXPECT_EQ(out.text, "\"1\",\"a\"\r\n\"2\",\"b\"\"\"\r\n");
  EXPECT_EQ(out.appends, 3);
}

}  // namespace
}  // namespace chatterwick
