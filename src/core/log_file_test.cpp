#include "core/log_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log_view.h"
#include "testing/mem_env.h"
#include "testing/memory_window.h"

namespace chatterwick {
namespace {

TEST(ExtractTitleTest, TitleOrFallback) {
  const std::pair<const char*, const char*> cases[] = {
      {"<html><title>Chat with Bob</title>", "Chat with Bob"},
      {"<title></title>", ""},
      {"<head>abc</title>", "abc"},  // from position 7 when <title> is missing
      {"<title>no end", "Log File: Title Unknown"},
      {"", "Log File: Title Unknown"},
      {"</title><title>", "Log File: Title Unknown"},
      {"<title>Chat with &lt;bob&gt; &amp;amp; caf&#233;</title>",
       "Chat with <bob> &amp; caf\xC3\xA9"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ExtractTitle(in), out) << in;
}

// Loads as the window does: the outcome goes to the pane and the buttons.
class LoaderTest : public ::testing::Test {
 protected:
  LoadedLog state;
  MemoryWindow window;
  MemEnv env;

  bool LoadFile(const std::string& path) {
    const LoadResult r = LoadLogFile(state, env, path);
    ReportLoad(window, path, r);
    return r.status.ok();
  }
  bool Load(const std::string& contents) {
    env.PutFile("/logs/a.html", contents);
    return LoadFile("/logs/a.html");
  }
  std::vector<std::string> Raw() const {
    std::vector<std::string> out;
    for (int i = 0; i < state.LineCount; ++i) out.push_back(state.RawLines[i]);
    return out;
  }
};

struct FailureCase {
  const char* name;
  const char* contents;  // nullptr: no such file
  const char* reason;
};

class LoaderFailureTest : public LoaderTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LoaderFailureTest, ReportsAndLeavesTablesEmpty) {
  ASSERT_TRUE(Load("<h>\n<span>x</span>\n"));
  window.save_enabled = false;
  window.pane.clear();
  const int32_t before = state.LineCount;

  const char* contents = GetParam().contents;
  bool ok = contents ? Load(contents) : LoadFile("/logs/missing.html");
  EXPECT_FALSE(ok);
  const std::string path = contents ? "/logs/a.html" : "/logs/missing.html";
  EXPECT_EQ(window.pane, "File could not be loaded. (" + path + ")\r\n");
  EXPECT_EQ(state.LineCount, before);
  EXPECT_FALSE(window.save_enabled);
  for (int i = 0; i <= 2; ++i) {
    EXPECT_EQ(state.RawLines[i], "");
    EXPECT_TRUE(state.ParsedLines[i].empty());
  }
}

TEST_P(LoaderFailureTest, SaysWhy) {
  const FailureCase& c = GetParam();
  if (c.contents) env.PutFile("/logs/a.html", c.contents);
  const LoadResult r = LoadLogFile(state, env, c.contents ? "/logs/a.html" : "/logs/missing.html");
  EXPECT_EQ(r.status.message(), c.reason);
  EXPECT_FALSE(r.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, LoaderFailureTest,
    ::testing::Values(FailureCase{"Missing", nullptr, "No such file or directory"},
                      FailureCase{"Empty", "", "the file is empty"},
                      FailureCase{"EmptyFirstLine", "\r\n<html>\r\n",
                                  "the first line is not markup"},
                      FailureCase{"NoAngle", "html>\n<b>\n", "the first line is not markup"},
                      FailureCase{"BlankThenAngle", " <html>\n", "the first line is not markup"}),
    [](const auto& tp) { return std::string(tp.param.name); });

// A plain-text log reads as its HTML twin: its header is the title, each
// chat line splits alike, a message's line breaks go on over the next lines
// (a blank each, none at the end), and a line inside a message that only
// looks like a time is no line of its own.
TEST_F(LoaderTest, APlainTextLogReadsAsItsHtmlTwin) {
  ASSERT_TRUE(Load("Conversation with bob at Fri Sep 30 17:38:38 2022 on alice (jabber)\n"
                   "(17:38:38) Bob Jones: semicolons;\nping\n\n"
                   "(17:39:00) ***Bob Jones waves\n"
                   "(17:39:30) Alice: pong\n;-)\n(12:00:00) looks like a time\nyes\n"
                   "(17:41:10) Bob Jones has signed off.\n"));
  EXPECT_EQ(state.Format, LogFormat::kText);
  EXPECT_EQ(ExtractTitle(state.RawLines[0], state.Format),
            "Conversation with bob at Fri Sep 30 17:38:38 2022 on alice (jabber)");
  EXPECT_EQ(Raw(), (std::vector<std::string>{
                       "Conversation with bob at Fri Sep 30 17:38:38 2022 on alice (jabber)",
                       "(17:38:38) Bob Jones: semicolons; ping",
                       "(17:39:00) ***Bob Jones waves",
                       "(17:39:30) Alice: pong ;-) (12:00:00) looks like a time yes",
                       "(17:41:10) Bob Jones has signed off."}));
  EXPECT_EQ(state.ParsedLines[2].Sender, "***Bob Jones");
  EXPECT_EQ(state.ParsedLines[4].Sender, "Bob Jones has signed off.");
  EXPECT_EQ(state.FailedLineCount, 0);
}

// A plain-text log without its header, or with a broken one, is read all
// the same, its title unknown; a file that is neither form is refused.
TEST_F(LoaderTest, APlainTextLogWithoutItsHeaderIsReadAllTheSame) {
  ASSERT_TRUE(Load("(10:00:00) Bob: hi\n(10:00:05) Alice: hello\n"));
  EXPECT_EQ(Raw(), (std::vector<std::string>{"", "(10:00:00) Bob: hi", "(10:00:05) Alice: hello"}));
  EXPECT_EQ(ExtractTitle(state.RawLines[0], state.Format), "Log File: Title Unknown");
  ASSERT_TRUE(Load("Conversatio\xff with bo\n(10:00:00) Bob: hi\n"));
  EXPECT_EQ(state.LineCount, 2);
  EXPECT_EQ(state.ParsedLines[1].Message, " hi");
  EXPECT_FALSE(Load("just some notes\nmore notes\n"));
  EXPECT_NE(window.pane.find("File could not be loaded."), std::string::npos);
}

TEST_F(LoaderTest, EveryLineEndSplitsAlike) {
  for (const char* log : {"<h>\n<a>\n<b>\n", "<h>\r<a>\r<b>\r", "<h>\r\n<a>\r\n<b>\r\n",
                          "<h>\r\n<a>\n<b>", "<h>\r<a>\r\n<b>\n"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(log)));
    ASSERT_TRUE(Load(log));
    EXPECT_EQ(Raw(), (std::vector<std::string>{"<h>", "<a>", "<b>"}));
    EXPECT_EQ(state.LineCount, 3);
    EXPECT_EQ(state.RawLines[3], "");
  }
}

TEST_F(LoaderTest, ByteOrderMarkAtTheStartIsNoPartOfTheFirstLine) {
  ASSERT_TRUE(Load("\xEF\xBB\xBF<title>T</title>\r\n<a>\xEF\xBB\xBF\r\n"));
  EXPECT_EQ(Raw(), (std::vector<std::string>{"<title>T</title>", "<a>\xEF\xBB\xBF"}));
  // Only the very start: a mark before a later line is text that continues the log.
  ASSERT_TRUE(Load("<h>\n\xEF\xBB\xBF<a>\n"));
  EXPECT_EQ(Raw(), (std::vector<std::string>{"<h> \xEF\xBB\xBF<a>"}));
  EXPECT_FALSE(Load("\xEF\xBB\xBF"));
  EXPECT_FALSE(Load("\xEF\xBB\xBF\xEF\xBB\xBF<h>\n"));
}

TEST_F(LoaderTest, ContinuationLinesJoinWithOneBlank) {
  ASSERT_TRUE(Load("<h>\nfirst\n<a>one\ntwo\n\nthree\n"));
  EXPECT_EQ(Raw(), (std::vector<std::string>{"<h> first", "<a>one two three"}));
  // A blank before "<" makes a continuation too.
  ASSERT_TRUE(Load("<h>\n <a>\n"));
  EXPECT_EQ(Raw(), (std::vector<std::string>{"<h>  <a>"}));
}

TEST_F(LoaderTest, SuccessEnablesButtonsAndLeavesTheNextSlotEmpty) {
  ASSERT_TRUE(Load("<h>\n<a>\n"));
  EXPECT_TRUE(window.save_enabled);
  EXPECT_EQ(window.pane, "");
  EXPECT_EQ(state.LineCount, 2);
}

std::string ManyLines(int n) {
  std::string log = "<title>t</title>\n";
  for (int i = 1; i < n; ++i)
    log += "<font size=\"2\">(1)</font> <b>s</b> m" + std::to_string(i) + "\n";
  return log;
}

TEST_F(LoaderTest, LogFillingTheLastSlotIsListedButReported) {
  ASSERT_FALSE(Load(ManyLines(10001)));
  EXPECT_EQ(LoadLogFile(state, env, "/logs/a.html").status.message(),
            "more than 10000 lines, the most one log may hold");
  EXPECT_EQ(state.LineCount, 10001);
  EXPECT_TRUE(window.save_enabled);
  EXPECT_EQ(state.ParsedLines[10000].Message, " m10000");
  EXPECT_EQ(window.pane, "File could not be loaded. (/logs/a.html)\r\n");

  ShowLog(state, window);
  size_t lines = 0;
  for (char c : window.pane) lines += c == '\n';
  EXPECT_EQ(lines, 10000u);
}

TEST_F(LoaderTest, LogLongerThanTheTableFailsAtTheExtraLine) {
  ASSERT_TRUE(Load("<h>\n<a>\n"));
  window.save_enabled = false;
  ASSERT_FALSE(Load(ManyLines(10002)));
  EXPECT_EQ(state.LineCount, 2);
  const LoadResult again = LoadLogFile(state, env, "/logs/a.html");
  EXPECT_EQ(again.status.message(), "more than 10000 lines, the most one log may hold");
  EXPECT_FALSE(again.stored);
  EXPECT_FALSE(window.save_enabled);
  EXPECT_EQ(state.RawLines[10000], "<font size=\"2\">(1)</font> <b>s</b> m10000");
  EXPECT_TRUE(state.ParsedLines[1].empty());
}

TEST_F(LoaderTest, AFailedLoadDoesNotSpoilTheNext) {
  EXPECT_FALSE(Load("nope"));
  EXPECT_TRUE(Load("<h>\n"));
  EXPECT_EQ(state.LineCount, 1);
}

// ---- ParseLine ----

struct ParseCase {
  const char* name;
  const char* raw;
  const char* time;
  const char* sender;
  const char* message;
  int failures;  // added to FailedLineCount
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, SplitsTimeSenderMessage) {
  const ParseCase& c = GetParam();
  LoadedLog state;
  state.RawLines.At(1) = c.raw;
  state.LineCount = 2;
  ASSERT_TRUE(ParseAllLines(state));
  EXPECT_EQ(state.ParsedLines[1].Time, c.time);
  EXPECT_EQ(state.ParsedLines[1].Sender, c.sender);
  EXPECT_EQ(state.ParsedLines[1].Message, c.message);
  EXPECT_EQ(state.FailedLineCount, c.failures);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseTest,
    ::testing::Values(
        ParseCase{
            "OlderMarkup",
            R"(<font color="#A82F2F"><font size="2">(17:38:38)</font> <b>Bob Jones:</b></font> not bad<br/>)",
            "(17:38:38)", "Bob Jones:", " not bad", 0},
        ParseCase{
            "CurrentMarkup",
            R"(<span style="color: #A82F2F"><span style="font-size: smaller">(13:59:33)</span> <b>Bob:</b></span> hi there<br>)",
            "(13:59:33)", "Bob:", " hi there", 0},
        ParseCase{
            "TwoNestedSpans",
            R"(<font size="2">(1)</font> <b>B:</b> <span style='a;'><span style='b;'>inner <i>x</i></span></span>)",
            "(1)", "B:", "inner x", 0},
        ParseCase{
            "OneSpanKeepsItsFirstCharacters",
            R"(<font size="2">(1)</font> <b>B:</b> <span style='color: red;'>hello</span><br>)",
            "(1)", "B:", "hello", 0},
        ParseCase{
            "SpanAmidTextLosesNothing",
            R"(<font size="2">(1)</font> <b>B:</b> hello <span style='color: red;'>world</span> again)",
            "(1)", "B:", " hello world again", 0},
        ParseCase{
            "PartlyStyledMessageIsWhole",
            R"(<span style="color: #A82F2F"><span style="font-size: smaller">(17:43:09)</span> <b>Bob:</b></span> <span style='color: #008000;'>green, <span style='font-style: italic;'>green italic</span>, green</span><br>)",
            "(17:43:09)", "Bob:", " green, green italic, green", 0},
        ParseCase{
            "MoreThanTenTags",
            R"(<font size="2">(1)</font> <b>B:</b> <html><body><p><span><b>x</b></span><i>y</i><u>z</u></p></body></html><br>)",
            "(1)", "B:", " xyz", 0},
        ParseCase{
            "StyledSpanHoldingTagsIsText",
            R"(<font size="2">(1)</font> <b>B:</b> <span style='color: red;'>a <a href="x">link</a><br/>b</span><br>)",
            "(1)", "B:", "a link b", 0},
        ParseCase{
            "ReferencesInSenderAndMessage",
            R"(<span style="color: #A82F2F"><span style="font-size: smaller">(00:00:31)</span> <b>xiaoming &lt;AUTO-REPLY&gt;:</b></span> &quot;back&quot; &amp;lt;soon&amp;gt;<br>)",
            "(00:00:31)", "xiaoming <AUTO-REPLY>:", " \"back\" &lt;soon&gt;", 0},
        ParseCase{
            "EscapedMarkupStaysText",
            R"(<span style="color: #16569E"><span style="font-size: smaller">(17:36:49)</span> <b>alice:</b></span> &lt;b&gt;not bold&lt;/b&gt;<br>)",
            "(17:36:49)", "alice:", " <b>not bold</b>", 0},
        ParseCase{
            "FontInsideCurrentMarkup",
            R"(<span style="color: #A82F2F"><span style="font-size: smaller">(13:59:33)</span> <b>Bob:</b></span> <font color="#ff0000">red</font> text<br>)",
            "(13:59:33)", "Bob:", " red text", 0},
        ParseCase{
            "SpanInsideOlderMarkup",
            R"(<font color="#A82F2F"><font size="2">(17:38:38)</font> <b>Bob:</b></font> <span>x</span> y<br/>)",
            "(17:38:38)", "Bob:", " x y", 0},
        ParseCase{
            "LineBreaksInsideAMessage",
            "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(18:02:03)</span> "
            "<b>olivia_:</b></span> thanks!<br/>tab\tseparated<br/><br/>semicolons; "
            "really;<br/><br>",
            "(18:02:03)", "olivia_:", " thanks! tab\tseparated  semicolons; really;", 0},
        ParseCase{
            "LineBreaksInsideOlderMarkup",
            R"(<font color="#A82F2F"><font size="2">(17:28:43)</font> <b>alice:</b></font> fine,<BR>thanks.<br />you?<br/>)",
            "(17:28:43)", "alice:", " fine, thanks. you?", 0},
        ParseCase{"RejectedLineIsDecodedToo", R"(<font size="2">(12:00)</font> 1 &lt; 2<br>)", "",
                  "", "(12:00) 1 < 2", 1},
        ParseCase{"NoBoldEndIsRejected", R"(<font size="2">(12:00)</font> text<br>)", "", "",
                  "(12:00) text", 1},
        ParseCase{"MarkupAloneIsNoFailure", "</body>", "", "", "", 0},
        ParseCase{
            "SystemEntryWithoutMessage",
            R"(<span style="font-size: smaller">(20:21:58)</span><b> x entered the room.</b><br>)",
            "(20:21:58)", " x entered the room.", "", 0}),
    [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
}  // namespace chatterwick
