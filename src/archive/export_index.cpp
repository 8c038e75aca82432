#include "archive/export_index.h"

#include <algorithm>
#include <memory>
#include <tuple>

#include "archive/export_format.h"
#include "archive/names.h"
#include "core/safe_file.h"

namespace chatterwick::archive {

namespace {

// What tells an index page of this program's from any other file: only such
// a page is ever replaced.
constexpr std::string_view kMark = R"(<meta name="generator" content="chatterwick export index">)";

constexpr const char* kHead = R"html(<!DOCTYPE html>
<html lang="">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="chatterwick export index">
<title>Chat history</title>
<style>
:root { color-scheme: light dark; --bg: #fff; --fg: #1d1d1f; --muted: #6e6e73; --rule: #d2d2d7; --link: #1b5fb0; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #1c1c1e; --fg: #f2f2f7; --muted: #a1a1a6; --rule: #3a3a3c; --link: #6cb0f5; }
}
body { background: var(--bg); color: var(--fg); font: 15px/1.45 system-ui, sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; }
header h1 { font-size: 1.3em; margin: 0 0 .2em; }
header p, .n { color: var(--muted); }
section { border-top: 1px solid var(--rule); margin-top: 1em; }
h2 { font-size: 1.1em; margin: .6em 0 .2em; }
h3 { font-size: .95em; color: var(--muted); margin: .5em 0 .1em; }
ul { margin: 0; padding-left: 1.2em; }
a { color: var(--link); }
</style>
</head>
<body>
)html";

// Each byte of a name that a link's path could read as anything else
// ("/", "%", "#", "?", ":" before the first "/", a blank …) as %XX.
std::string LinkTo(const std::string& relative, char sep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string link;
  for (unsigned char c : relative) {
    if (c == static_cast<unsigned char>(sep)) {
      link += '/';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~') {
      link += static_cast<char>(c);
    } else {
      link += '%';
      link += kHex[c >> 4];
      link += kHex[c & 15];
    }
  }
  return link;
}

// "2022-09-30 17:38" of a full stamp.
std::string Minute(const std::string& stamp) {
  return stamp.substr(0, 10) + " " + stamp.substr(11, 5);
}

// When a conversation went on: "2022-09-30 17:38 – 18:02", with the day of
// its end when that is another; its start, or its log's name, when none of
// its messages has a full stamp.
std::string Span(const ConversationInfo& c) {
  if (c.first_sent_at.size() < 16)
    return c.started_at.size() >= 16 ? Minute(c.started_at) : c.file_name;
  const std::string first = Minute(c.first_sent_at);
  const std::string last = c.last_sent_at.size() >= 16 ? Minute(c.last_sent_at) : first;
  if (last == first) return first;
  return first + " \u2013 " + (last.compare(0, 10, first, 0, 10) == 0 ? last.substr(11) : last);
}

// The group an entry's conversation is listed in: its person, or for a chat
// room (and a contact of an archive from before people) its contact alone.
std::string Group(const ConversationInfo& c) {
  return c.person.empty() ? c.protocol + '\n' + c.account + '\n' + c.contact : c.person;
}
std::string GroupName(const ConversationInfo& c) { return c.person.empty() ? c.contact : c.person; }

// The order of the page: groups by their names as people sort them, a
// group's contacts by protocol, account and name, and a contact's
// conversations newest first: the index is where one looks for a
// conversation, most often a recent one, and a long history's oldest are
// left for the end.
void Sort(std::vector<IndexEntry>& entries) {
  auto key = [](const IndexEntry& e) {
    const ConversationInfo& c = e.conversation;
    return std::make_tuple(FoldForSearch(GroupName(c)), Group(c), c.protocol, c.account, c.contact);
  };
  auto when = [](const IndexEntry& e) {
    const ConversationInfo& c = e.conversation;
    return std::make_tuple(c.first_sent_at.empty() ? c.started_at : c.first_sent_at, e.relative);
  };
  std::sort(entries.begin(), entries.end(), [&](const IndexEntry& a, const IndexEntry& b) {
    const auto ka = key(a), kb = key(b);
    return ka != kb ? ka < kb : when(a) > when(b);
  });
}

}  // namespace

std::string ExportIndexPage(std::vector<IndexEntry> entries, char sep) {
  Sort(entries);
  std::string page = kHead;
  page += "<header>\n<h1>Chat history</h1>\n<p>" + std::to_string(entries.size()) +
          (entries.size() == 1 ? " conversation" : " conversations") + "</p>\n</header>\n";
  const ConversationInfo* before = nullptr;
  for (const IndexEntry& e : entries) {
    const ConversationInfo& c = e.conversation;
    const bool new_group = !before || Group(*before) != Group(c);
    const bool new_contact = new_group || before->protocol != c.protocol ||
                             before->account != c.account || before->contact != c.contact;
    if (before && new_contact) page += "</ul>\n";
    if (before && new_group) page += "</section>\n";
    if (new_group) page += "<section>\n<h2>" + HtmlEscaped(GroupName(c)) + "</h2>\n";
    // The contact's handle when the group's name is another, and where it is.
    if (new_contact)
      page += "<h3>" + (c.contact == GroupName(c) ? "" : HtmlEscaped(c.contact) + " \u00b7 ") +
              HtmlEscaped(c.account) + " (" + HtmlEscaped(c.protocol) + ")</h3>\n<ul>\n";
    page += "<li><a href=\"" + HtmlEscaped(LinkTo(e.relative, sep)) + "\">" + HtmlEscaped(Span(c)) +
            "</a> <span class=\"n\">" + std::to_string(c.messages) +
            (c.messages == 1 ? " message" : " messages") + "</span></li>\n";
    before = &c;
  }
  if (before) page += "</ul>\n</section>\n";
  return page + "</body>\n</html>\n";
}

namespace {

// Whether the file at path begins as an index page of this program's does.
bool IsOurIndex(Env& env, const std::string& path) {
  std::unique_ptr<SequentialFile> file;
  if (!env.NewSequentialFile(path, &file).ok()) return false;
  char start[1024];
  size_t got = 0, total = 0;
  while (total < sizeof start && file->Read(sizeof start - total, start + total, &got).ok() &&
         got > 0)
    total += got;
  return std::string_view(start, total).find(kMark) != std::string_view::npos;
}

}  // namespace

Status WriteExportIndex(Env& env, const std::string& dir, char sep, std::vector<IndexEntry> entries,
                        RunObserver* observer) {
  const std::string path = dir + kExportIndex;
  FileKind kind = FileKind::kOther;
  if (env.GetEntryKind(path, &kind).ok() &&
      !(kind == FileKind::kRegular && IsOurIndex(env, path))) {
    if (observer)
      observer->OnProblem({Problem::Kind::kNotice, path,
                           Status::InvalidData("Left " + path +
                                               " as it is: it is no index an export wrote. "
                                               "Move it away to have one.")});
    return Status::OK();
  }
  SavingFile file(env, FileAccess::kOwnerOnly);
  Status s = file.Open(path);
  if (s.ok()) s = file.Append(ExportIndexPage(std::move(entries), sep));
  return s.ok() ? file.Commit() : s;
}

}  // namespace chatterwick::archive
