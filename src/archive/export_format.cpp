#include "archive/export_format.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "archive/sender_colours.h"
#include "core/csv.h"
#include "core/text.h"

namespace chatterwick::archive {

namespace {

using nlohmann::json;

// Valid UTF-8 whatever the log held: bytes that are not UTF-8 become U+FFFD.
std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string Body(const MessageRow& m) { return std::string(text::TrimBlanks(m.body)); }

// "From 2022-09-30 17:38:38 to 2022-09-30 18:02:11, 43 messages": the
// conversation's first and last stamped message, or its start.
std::string When(const ConversationInfo& c) {
  std::string when = !c.first_sent_at.empty() ? "From " + ReadableStamp(c.first_sent_at) + " to " +
                                                    ReadableStamp(c.last_sent_at)
                     : !c.started_at.empty() ? "Started " + ReadableStamp(c.started_at)
                                             : std::string("Time unknown");
  return when + ", " + std::to_string(c.messages) + (c.messages == 1 ? " message" : " messages");
}

// The body with each of its own lines after the first begun with indent:
// an entry begins at the line's start, what goes on under it never does,
// and no line of a message is empty, which would end its conversation.
std::string Indented(std::string body, const std::string& indent) {
  for (size_t at = body.find('\n'); at != std::string::npos; at = body.find('\n', at + 1))
    body.insert(at + 1, indent);
  return body;
}

class TextWriter : public ExportWriter {
 public:
  std::string BeginConversation(const ConversationInfo& c) override {
    return "Conversation with " + WithWhom(c) + "\n" + "Account " + c.account + " (" + c.protocol +
           "), log " + c.file_name + "\n" + When(c) + "\n\n";
  }
  std::string Message(const ConversationInfo&, const MessageRow& m) override {
    const std::string when = ReadableTime(m);
    const std::string stamp = when.empty() ? "" : "[" + when + "] ";
    // The lines after the first stand under the sender, clear of the time.
    const std::string body = Indented(Body(m), std::string(std::max<size_t>(stamp.size(), 2), ' '));
    if (m.kind == "action") return stamp + "* " + m.sender + " " + body + "\n";
    if (m.kind == "status") return stamp + "-- " + body + "\n";
    if (m.kind == "chat") return stamp + m.sender + ": " + body + "\n";
    return stamp + body + "\n";
  }
  std::string EndConversation(const ConversationInfo&) override { return "\n"; }
};

json ConversationFields(const ConversationInfo& c) {
  return {{"protocol", c.protocol},
          {"account", c.account},
          {"contact", c.contact},
          {"protocol_on_disk", c.protocol_on_disk},
          {"account_on_disk", c.account_on_disk},
          {"contact_on_disk", c.contact_on_disk},
          {"file_name", c.file_name},
          {"title", c.title},
          {"started_at", c.started_at.empty() ? json(nullptr) : json(c.started_at)},
          {"person", c.person.empty() ? json(nullptr) : json(c.person)},
          {"contact_name", c.contact_name.empty() ? json(nullptr) : json(c.contact_name)}};
}

// One JSON string, quoted and escaped, appended to out. A large archive
// writes millions of them, so they are written here rather than through a
// JSON value each; the tests read every one back with the JSON library.
// Bytes that are not UTF-8 become U+FFFD, as the library's writer makes them.
void AppendString(std::string* out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->push_back('"');
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const uint8_t b = s[i];
    if (b >= 0x80) {
      const int32_t at = i;
      UChar32 c;
      U8_NEXT(s, i, length, c);
      if (c < 0) out->append("\xEF\xBF\xBD");
      else out->append(text.substr(static_cast<size_t>(at), static_cast<size_t>(i - at)));
      continue;
    }
    ++i;
    switch (b) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      default:
        if (b >= 0x20) {
          out->push_back(static_cast<char>(b));
        } else {
          out->append("\\u00");
          out->push_back(kHex[b >> 4]);
          out->push_back(kHex[b & 15]);
        }
    }
  }
  out->push_back('"');
}

// A message's fields, without the braces around them.
std::string MessageFields(const MessageRow& m) {
  std::string out = "\"body\":";
  out.reserve(m.body.size() + m.sender.size() + 120);
  AppendString(&out, Body(m));
  out += ",\"kind\":";
  AppendString(&out, m.kind);
  out += ",\"sender\":";
  AppendString(&out, m.sender);
  out += ",\"sent_at\":";
  if (m.sent_at.empty()) out += "null";
  else AppendString(&out, m.sent_at);
  out += ",\"time_text\":";
  AppendString(&out, m.time_text);
  return out;
}

class JsonWriter : public ExportWriter {
 public:
  std::string BeginFile(const ConversationInfo*) override {
    conversations_ = 0;
    return "[\n";
  }
  std::string EndFile() override { return "\n]\n"; }
  std::string BeginConversation(const ConversationInfo& c) override {
    messages_ = 0;
    std::string head = Dump(ConversationFields(c));
    head.pop_back();  // the closing brace: the messages follow
    return (conversations_++ ? ",\n" : "") + head + ",\"messages\":[\n";
  }
  std::string Message(const ConversationInfo&, const MessageRow& m) override {
    return (messages_++ ? ",\n{" : "{") + MessageFields(m) + "}";
  }
  std::string EndConversation(const ConversationInfo&) override { return "\n]}"; }

 private:
  int64_t conversations_ = 0, messages_ = 0;
};

class JsonlWriter : public ExportWriter {
 public:
  std::string BeginConversation(const ConversationInfo& c) override {
    // The conversation's fields, once, then each message's after them.
    fields_ = Dump(ConversationFields(c));
    fields_.back() = ',';
    return {};
  }
  std::string Message(const ConversationInfo&, const MessageRow& m) override {
    return fields_ + MessageFields(m) + "}\n";
  }

 private:
  std::string fields_;
};

class CsvWriter : public ExportWriter {
 public:
  explicit CsvWriter(bool spreadsheet_safe) : safe_(spreadsheet_safe) {}
  std::string BeginFile(const ConversationInfo*) override {
    return (safe_ ? std::string(kUtf8Bom) : "") +
           FormatCsvRow({"sent_at", "protocol", "account", "contact", "conversation_started_at",
                         "sender", "body", "kind", "person", "contact_name"}) +
           "\r\n";
  }
  std::string BeginConversation(const ConversationInfo&) override { return {}; }
  std::string Message(const ConversationInfo& c, const MessageRow& m) override {
    return FormatCsvRow({m.sent_at, c.protocol, c.account, c.contact, c.started_at, m.sender,
                         Body(m), m.kind, c.person, c.contact_name},
                        CsvTextFor(safe_)) +
           "\r\n";
  }

 private:
  const bool safe_;
};

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; }

// The text escaped, with http, https and mailto addresses made links; no
// other kind of address ever is.
std::string Linked(std::string_view text) {
  static constexpr std::string_view kSchemes[] = {"https://", "http://", "mailto:"};
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t at = std::string_view::npos, scheme = 0;
    for (std::string_view s : kSchemes)
      if (const size_t k = text.find(s, i); k < at) at = k, scheme = s.size();
    if (at == std::string_view::npos) break;
    size_t end = at;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != '<' && text[end] != '>' &&
           text[end] != '"')
      ++end;
    // A sentence's last mark is no part of the address.
    while (end > at + scheme &&
           std::string_view(".,;:!?)'").find(text[end - 1]) != std::string_view::npos)
      --end;
    const std::string_view url = text.substr(at, end - at);
    out += HtmlEscaped(text.substr(i, at - i));
    if (url.size() > scheme)
      out += "<a href=\"" + HtmlEscaped(url) + "\">" + HtmlEscaped(url) + "</a>";
    else out += HtmlEscaped(url);
    i = std::max(end, at + scheme);
  }
  return out + HtmlEscaped(text.substr(std::min(i, text.size())));
}

// A message's own line breaks as the page's: no address runs across one, so
// every "\n" of linked text stands between words.
std::string WithBreaks(std::string linked) {
  for (size_t at = linked.find('\n'); at != std::string::npos; at = linked.find('\n', at + 4))
    linked.replace(at, 1, "<br>");
  return linked;
}

// The page's head up to its senders' colours, which kHtmlHeadEnd follows.
constexpr const char* kHtmlHead = R"html(<!DOCTYPE html>
<html lang="">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="chatterwick">
<title>Chat history</title>
<style>
:root { color-scheme: light dark; --bg: #fff; --fg: #1d1d1f; --muted: #6e6e73; --rule: #d2d2d7; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #1c1c1e; --fg: #f2f2f7; --muted: #a1a1a6; --rule: #3a3a3c; }
}
body { background: var(--bg); color: var(--fg); font: 15px/1.45 system-ui, sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; }
header { border-bottom: 1px solid var(--rule); margin-bottom: 1em; }
header h1 { font-size: 1.3em; margin: 0 0 .2em; }
header p { color: var(--muted); margin: .1em 0; }
h2.day { font-size: .9em; color: var(--muted); text-align: center; border-top: 1px solid var(--rule); padding-top: .4em; margin: 1.2em 0 .4em; }
.m { margin: .15em 0; overflow-wrap: anywhere; unicode-bidi: plaintext; }
.m time { color: var(--muted); font-variant-numeric: tabular-nums; margin-right: .5em; }
.who { font-weight: 600; }
.action { font-style: italic; }
.status, .unparsed { color: var(--muted); font-size: .92em; }
article { margin-bottom: 3em; }
@media print { body { max-width: none; margin: 0; } article { break-after: page; } a { color: inherit; } }
)html";
constexpr const char* kHtmlHeadEnd = R"html(</style>
</head>
<body>
)html";

// A message's kind as a page's class: one of the archive's four, whatever
// a crafted archive holds.
std::string KindClass(const std::string& kind) {
  for (const char* known : {"chat", "action", "status", "unparsed"})
    if (kind == known) return kind;
  return "unparsed";
}

class HtmlWriter : public ExportWriter {
 public:
  // A page of one conversation is titled with who and when, as a browser's
  // tab and history show it.
  std::string BeginFile(const ConversationInfo* only) override {
    std::string head = kHtmlHead + SenderColourRules() + kHtmlHeadEnd;
    if (!only) return head;
    const std::string& when = !only->first_sent_at.empty() ? only->first_sent_at : only->started_at;
    const std::string title =
        WithWhom(*only) + (when.empty() ? "" : " \u00b7 " + ReadableStamp(when).substr(0, 10));
    return head.replace(head.find("Chat history"), 12, HtmlEscaped(title));
  }
  std::string EndFile() override { return "</body>\n</html>\n"; }
  std::string BeginConversation(const ConversationInfo& c) override {
    day_.clear();
    senders_.Clear();
    return "<article>\n<header>\n<h1>" + HtmlEscaped(WithWhom(c)) + "</h1>\n<p>" +
           HtmlEscaped(c.account) + " (" + HtmlEscaped(c.protocol) + ") &middot; " +
           HtmlEscaped(c.title) + "</p>\n<p>" + HtmlEscaped(When(c)) + "</p>\n</header>\n";
  }
  std::string Message(const ConversationInfo&, const MessageRow& m) override {
    std::string out;
    const std::string when = ReadableTime(m);
    if (m.sent_at.size() >= 10 && m.sent_at.compare(0, 10, day_) != 0) {
      day_ = m.sent_at.substr(0, 10);
      out += "<h2 class=\"day\">" + HtmlEscaped(day_) + "</h2>\n";
    }
    out += "<div class=\"m " + KindClass(m.kind) + "\">";
    if (!when.empty())
      out += "<time" +
             (m.sent_at.empty() ? std::string() : " datetime=\"" + HtmlEscaped(m.sent_at) + "\"") +
             ">" + HtmlEscaped(when.size() > 11 && !m.sent_at.empty() ? when.substr(11) : when) +
             "</time>";
    const std::string who =
        "<span class=\"who " + senders_.For(m.sender) + "\">" + HtmlEscaped(m.sender) + "</span>";
    if (m.kind == "chat") out += who + ": ";
    else if (m.kind == "action") out += "* " + who + " ";
    return out + WithBreaks(Linked(Body(m))) + "</div>\n";
  }
  std::string EndConversation(const ConversationInfo&) override { return "</article>\n"; }

 private:
  std::string day_;
  SenderClasses senders_;
};

}  // namespace

std::string HtmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

std::optional<ExportFormat> ExportFormatNamed(std::string_view name) {
  if (name == "html") return ExportFormat::kHtml;
  if (name == "txt") return ExportFormat::kText;
  if (name == "json") return ExportFormat::kJson;
  if (name == "jsonl") return ExportFormat::kJsonl;
  if (name == "csv") return ExportFormat::kCsv;
  return std::nullopt;
}

const char* ExportExtension(ExportFormat format) {
  switch (format) {
    case ExportFormat::kHtml:
      return "html";
    case ExportFormat::kText:
      return "txt";
    case ExportFormat::kJson:
      return "json";
    case ExportFormat::kJsonl:
      return "jsonl";
    case ExportFormat::kCsv:
      return "csv";
  }
  return "";
}

std::unique_ptr<ExportWriter> MakeExportWriter(ExportFormat format, bool spreadsheet_safe) {
  switch (format) {
    case ExportFormat::kHtml:
      return std::make_unique<HtmlWriter>();
    case ExportFormat::kText:
      return std::make_unique<TextWriter>();
    case ExportFormat::kJson:
      return std::make_unique<JsonWriter>();
    case ExportFormat::kJsonl:
      return std::make_unique<JsonlWriter>();
    case ExportFormat::kCsv:
      return std::make_unique<CsvWriter>(spreadsheet_safe);
  }
  return nullptr;
}

std::string ReadableStamp(const std::string& stamp) {
  return stamp.size() >= 19 ? stamp.substr(0, 10) + " " + stamp.substr(11, 8) : stamp;
}

std::string ReadableTime(const MessageRow& m) {
  if (m.sent_at.size() >= 19) return ReadableStamp(m.sent_at);
  std::string t = m.time_text;
  if (t.size() >= 2 && t.front() == '(' && t.back() == ')') t = t.substr(1, t.size() - 2);
  return t;
}

}  // namespace chatterwick::archive
