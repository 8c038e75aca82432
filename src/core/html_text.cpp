#include "core/html_text.h"

#include <libxml/HTMLparser.h>

#include <cstdint>

namespace chatterwick {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// tag runs from its "<" to its ">".
bool IsLineBreak(std::string_view tag) {
  if (tag.size() < 4 || Lower(tag[1]) != 'b' || Lower(tag[2]) != 'r') return false;
  const char next = tag[3];
  return next == '>' || next == '/' || IsBlank(next);
}

// tag runs from its "<" to its ">": the start or end of a paragraph, a
// division or a list item, which reads as a blank between the texts on
// either side, as a line break does.
bool IsBlockBoundary(std::string_view tag) {
  size_t i = 1;
  if (i < tag.size() && tag[i] == '/') ++i;
  auto name_is = [&](std::string_view name) {
    if (tag.size() < i + name.size() + 1) return false;
    for (size_t k = 0; k < name.size(); ++k)
      if (Lower(tag[i + k]) != name[k]) return false;
    const char next = tag[i + name.size()];
    return next == '>' || next == '/' || IsBlank(next);
  };
  return name_is("p") || name_is("div") || name_is("li");
}

// The index just past the last visible character of s, or npos when there is none.
size_t VisibleEnd(std::string_view s) {
  const size_t last = s.find_last_not_of(" \t");
  return last == std::string_view::npos ? last : last + 1;
}

// Calls text(from, to) for each stretch of t between tags, from pos on, and
// tag(lt, gt) for each complete tag between them. Each ">" is searched from
// its "<"; a "<" with no ">" after it ends the tags, and the rest is text.
template <typename Text, typename Tag>
void WalkTags(std::string_view t, size_t pos, Text text, Tag tag) {
  for (;;) {
    const size_t lt = t.find('<', pos);
    if (lt == std::string_view::npos) break;
    const size_t gt = t.find('>', lt);
    if (gt == std::string_view::npos) break;
    text(pos, lt);
    tag(lt, gt);
    pos = gt + 1;
  }
  text(pos, t.size());
}

}  // namespace

void StripTagsInto(std::string_view t, std::string* out, LineBreaks breaks) {
  // Removing the first tag never creates a "<" before the next one, so one
  // pass from the left removes them all. A line break is written as a blank
  // at once; when no visible text comes after the last one, the tail after
  // the last visible character is written again without them.
  out->clear();
  size_t out_visible_end = 0;  // out's size just past its last visible character
  size_t in_visible_end = 0;   // the same place in t
  bool break_after_visible = false;
  bool any_visible = false;
  auto append_text = [&](size_t from, size_t to) {
    const std::string_view s = t.substr(from, to - from);
    out->append(s);
    const size_t end = VisibleEnd(s);
    if (end == std::string_view::npos) return;
    out_visible_end = out->size() - (s.size() - end);
    in_visible_end = from + end;
    break_after_visible = false;
    any_visible = true;
  };
  WalkTags(t, 0, append_text, [&](size_t lt, size_t gt) {
    const std::string_view tag = t.substr(lt, gt - lt + 1);
    // Before any text there is no line to break: a blank, trimmed later.
    const bool kept = breaks == LineBreaks::kKept && any_visible;
    if (IsLineBreak(tag)) {
      out->push_back(kept ? '\n' : ' ');
      break_after_visible = true;
    } else if (IsBlockBoundary(tag) && !out->empty() &&
               (kept ? out->back() != '\n' : !IsBlank(out->back()))) {
      // "</p><p>" between two texts: one break, not two.
      out->push_back(kept ? '\n' : ' ');
      break_after_visible = true;
    }
  });
  if (break_after_visible) {
    // Only blanks and tags follow: their blanks again, without the breaks.
    out->resize(out_visible_end);
    WalkTags(
        t, in_visible_end, [&](size_t from, size_t to) { out->append(t.substr(from, to - from)); },
        [](size_t, size_t) {});
  }
}

std::string StripTags(std::string_view t, LineBreaks breaks) {
  std::string out;
  StripTagsInto(t, &out, breaks);
  return out;
}

namespace {

void AppendUtf8(char32_t cp, char* out, size_t* len) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    *len = 1;
  } else if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    *len = 2;
  } else if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    *len = 3;
  } else {
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    *len = 4;
  }
}

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (base == 16 && c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (base == 16 && c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v;
}

// The code point of the numeric reference that starts at ref ("&#..."), and
// its length through the ";"; false when it is no reference to a character.
bool NumericReference(std::string_view ref, char32_t* cp, size_t* length) {
  size_t i = 2;
  int base = 10;
  if (i < ref.size() && (ref[i] == 'x' || ref[i] == 'X')) {
    base = 16;
    ++i;
  }
  const size_t digits_start = i;
  uint32_t value = 0;
  for (int d; i < ref.size() && (d = DigitValue(ref[i], base)) >= 0; ++i) {
    // Past the last code point it can only grow: stop counting, keep reading.
    if (value <= 0x10FFFF) value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  if (i == digits_start || i >= ref.size() || ref[i] != ';') return false;
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *cp = value;
  *length = i + 1;
  return true;
}

struct NamedReference {
  std::string_view name;  // from "&" through ";"
  std::string_view text;
};
constexpr NamedReference kNamed[] = {
    {"&amp;", "&"},   {"&lt;", "<"},   {"&gt;", ">"},
    {"&quot;", "\""}, {"&apos;", "'"}, {"&nbsp;", "\xC2\xA0"},
};

// The longest name in HTML's table of named references, and then some.
constexpr size_t kMaxReferenceName = 32;

// A named reference at the start of ref ("&copy;…"): its character, from
// libxml2's table of the names HTML defines, and the reference's length.
bool NamedFromTable(std::string_view ref, char32_t* cp, size_t* length) {
  const size_t semicolon = ref.substr(0, kMaxReferenceName + 2).find(';');
  if (semicolon == std::string_view::npos || semicolon < 3) return false;
  char name[kMaxReferenceName + 1];
  for (size_t i = 1; i < semicolon; ++i) {
    const char c = ref[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    name[i - 1] = c;
  }
  name[semicolon - 1] = '\0';
  const htmlEntityDesc* entity = htmlEntityLookup(reinterpret_cast<const xmlChar*>(name));
  if (!entity || entity->value == 0 || entity->value > 0x10FFFF) return false;
  // Written out in place of the reference: never longer than it.
  const size_t bytes = entity->value < 0x80      ? 1
                       : entity->value < 0x800   ? 2
                       : entity->value < 0x10000 ? 3
                                                 : 4;
  if (bytes > semicolon + 1) return false;
  *cp = entity->value;
  *length = semicolon + 1;
  return true;
}

}  // namespace

void DecodeReferences(std::string* text) {
  size_t read = text->find('&');
  if (read == std::string::npos) return;
  // Every reference is at least as long as what it stands for, so the text is
  // rewritten in place, the write position never passing the read position.
  std::string& s = *text;
  size_t write = read;
  while (read < s.size()) {
    if (s[read] != '&') {
      s[write++] = s[read++];
      continue;
    }
    const std::string_view rest = std::string_view(s).substr(read);
    char buf[4];
    size_t out_len = 0, in_len = 0;
    if (rest.size() > 1 && rest[1] == '#') {
      char32_t cp;
      if (NumericReference(rest, &cp, &in_len)) AppendUtf8(cp, buf, &out_len);
    } else {
      for (const NamedReference& r : kNamed) {
        if (rest.substr(0, r.name.size()) != r.name) continue;
        in_len = r.name.size();
        out_len = r.text.size();
        r.text.copy(buf, out_len);
        break;
      }
      char32_t cp;
      // "&copy;" and the rest: never longer written out than as a reference.
      if (in_len == 0 && NamedFromTable(rest, &cp, &in_len)) AppendUtf8(cp, buf, &out_len);
    }
    if (in_len == 0) {
      s[write++] = s[read++];
      continue;
    }
    for (size_t k = 0; k < out_len; ++k) s[write++] = buf[k];
    read += in_len;
  }
  s.resize(write);
}

}  // namespace chatterwick
