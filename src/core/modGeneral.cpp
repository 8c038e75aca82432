#include "core/modGeneral.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <utility>

#include "core/line_reader.h"
#include "core/text.h"

namespace chatterwick::modGeneral {

using modGlobal::kLastLineIndex;
using modGlobal::ParsedLine;
using modGlobal::State;
using text::Cut;
using text::CutToEnd;
using text::Find;
using text::Pos;

void AppendOutput(WindowOps& window, std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  window.AppendToPane(line);
}

std::string LoadFailureMessage(const std::string& path) {
  return "File could not be loaded. (" + path + ")";
}

namespace {

// Reads the file into RawLines; returns the number of logical lines, or -1
// when the file is not a log. keep_raw tells whether RawLines keeps what was
// read (only a log too long for the table does).
int32_t ReadLogicalLines(Context& ctx, const std::string& path, bool* keep_raw) {
  State& st = ctx.state;
  *keep_raw = false;
  std::unique_ptr<SequentialFile> file;
  if (!ctx.env.NewSequentialFile(path, &file).ok()) return -1;
  LineReader reader(std::move(file));
  std::string s;
  int32_t i = 0;
  while (reader.ReadLine(&s)) {
    if (!s.empty() && s[0] == '<') {
      if (i > kLastLineIndex) {
        *keep_raw = true;
        return -1;
      }
      // Swapped, not copied: a line of hundreds of megabytes is held once.
      st.RawLines.At(i).swap(s);
      ++i;
    } else if (i == 0) {
      return -1;
    } else if (!s.empty()) {
      // A line break inside HTML text reads as white space.
      std::string& prev = st.RawLines.At(i - 1);
      prev += ' ';
      prev += s;
    }
  }
  if (!reader.status().ok() || i == 0) return -1;
  return i;
}

}  // namespace

bool LoadLogFile(Context& ctx, const std::string& path) {
  State& st = ctx.state;
  st.RawLines.Clear();
  st.ParsedLines.Clear();
  bool keep_raw = false;
  int32_t count = ReadLogicalLines(ctx, path, &keep_raw);
  if (count < 0) {
    if (!keep_raw) st.RawLines.Clear();
    AppendOutput(ctx.window, LoadFailureMessage(path));
    return false;
  }
  st.LineCount = count;
  ctx.window.EnableSaveButtons();
  if (!ParseAllLines(st)) {
    AppendOutput(ctx.window, LoadFailureMessage(path));
    return false;
  }
  return true;
}

bool ParseAllLines(State& st) {
  const int32_t last = st.LineCount;
  for (int32_t i = 1; i <= last; ++i) {
    if (i > kLastLineIndex) return false;
    const std::string& raw = st.RawLines[i];
    if (raw.empty()) continue;
    if (!ParseLine(st, i)) {
      ParsedLine& rec = st.ParsedLines.At(i);
      rec.Time.clear();
      rec.Sender.clear();
      StripTagsInto(raw, &rec.Message);
      // Markup alone (a closing </body>, say) is no chat line and no failure.
      if (!rec.Message.empty() && st.FailedLineCount < INT32_MAX) ++st.FailedLineCount;
    }
  }
  return true;
}

bool ParseLine(State& st, int index) {
  const std::string& raw = st.RawLines[index];
  std::string_view time, sender, span;

  // Older logs close the time stamp with </font>, current ones with </span>.
  const Pos a = Find(raw, "\">(") + 3;
  Pos f = Find(raw, "</font>");
  if (f == 0) f = Find(raw, "</span>");
  if (!Cut(raw, a - 1, f - a + 1, &time)) return false;

  const Pos b = Find(raw, "<b>") + 3;
  const Pos e = Find(raw, "</b>");
  if (!Cut(raw, b, e - b, &sender)) return false;

  ParsedLine& rec = st.ParsedLines.At(index);
  rec.Time.assign(time);
  rec.Sender.assign(sender);
  const std::string_view after_b = CutToEnd(raw, e + 4);
  StripTagsInto(after_b, &rec.Message);
  const Pos k = Find(raw, ";'>");
  if (k != 0) {
    // The message proper sits in the innermost styled span, but only when
    // taking it drops no text the line shows.
    const std::string_view rest = CutToEnd(raw, k + 3);
    const Pos d0 = Find(rest, ";'>");
    const Pos d = d0 == 0 ? 1 : d0 + 3;
    const Pos s = Find(rest, "</span>");
    if (Cut(rest, d, s - d, &span) &&
        text::TrimBlanks(StripTags(span)) == text::TrimBlanks(rec.Message)) {
      rec.Message.assign(span);
    }
  }
  return true;
}

std::string StripTags(std::string_view t) {
  std::string out;
  StripTagsInto(t, &out);
  return out;
}

void StripTagsInto(std::string_view t, std::string* out) {
  // Removing the first tag never creates a "<" before the next one, so one
  // pass from the left removes them all.
  out->clear();
  size_t pos = 0;
  for (;;) {
    size_t lt = t.find('<', pos);
    if (lt == std::string_view::npos) break;
    size_t gt = t.find('>', lt);
    if (gt == std::string_view::npos) break;
    out->append(t.substr(pos, lt - pos));
    pos = gt + 1;
  }
  out->append(t.substr(pos));
}

int32_t LastLoadedIndex(const State& st) {
  return std::clamp(st.LineCount, 0, kLastLineIndex);
}

bool OpenLog(Context& ctx, std::string path) {
  std::erase(path, '"');
  if (path.empty()) return false;
  bool ok = LoadLogFile(ctx, path);
  ShowLog(ctx);
  ctx.window.SetTitle(ExtractTitle(ctx.state.RawLines[0]));
  return ok;
}

void ShowLog(Context& ctx) {
  const State& st = ctx.state;
  ctx.window.ClearPane();
  std::string listing;
  const int32_t last = LastLoadedIndex(st);
  for (int32_t i = 1; i <= last; ++i) {
    const ParsedLine& rec = st.ParsedLines[i];
    if (rec.empty()) continue;
    listing.append(rec.Time).append(" ").append(rec.Sender).append(" ").append(rec.Message);
    listing.append("\r\n");
  }
  if (!listing.empty()) ctx.window.AppendToPane(listing);
}

std::string ExtractTitle(std::string_view line) {
  const Pos t0 = Find(line, "<title>") + 7;
  const Pos t1 = Find(line, "</title>");
  std::string_view title;
  if (!Cut(line, t0, t1 - t0, &title)) return "Log File: Title Unknown";
  return std::string(title);
}

bool IsDirectory(Env& env, const std::string& path, Status* why) {
  bool is_folder = false;
  Status s = env.IsFolder(path, &is_folder);
  if (why) *why = s;
  return s.ok() && is_folder;
}

}  // namespace chatterwick::modGeneral
