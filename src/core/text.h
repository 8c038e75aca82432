#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace chatterwick {

// Begins a UTF-8 file for spreadsheets; an editor may leave one before a log.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace chatterwick

// Positions count from 1; 0 means "not found". Cutting fails where the log
// format's rules say it does, so that callers can take their fallbacks.
namespace chatterwick::text {

using Pos = int64_t;

inline Pos Find(std::string_view t, std::string_view marker) {
  size_t i = t.find(marker);
  return i == std::string_view::npos ? 0 : static_cast<Pos>(i) + 1;
}

inline constexpr Pos Length(std::string_view t) { return static_cast<Pos>(t.size()); }

// The position just past the marker. Where the marker does not occur this is
// its length, and the rules cut from there all the same.
inline Pos After(std::string_view t, std::string_view marker) {
  return Find(t, marker) + Length(marker);
}

// Characters p..p+n-1 (fewer at the end); fails when p < 1 or n < 0.
inline bool Cut(std::string_view t, Pos p, Pos n, std::string_view* out) {
  if (p < 1 || n < 0) return false;
  if (p > static_cast<Pos>(t.size())) {
    *out = {};
    return true;
  }
  *out = t.substr(static_cast<size_t>(p - 1), static_cast<size_t>(n));
  return true;
}

// From p (at least 1) to the end.
inline std::string_view CutToEnd(std::string_view t, Pos p) {
  return p > static_cast<Pos>(t.size()) ? std::string_view() : t.substr(static_cast<size_t>(p - 1));
}

// The longest length of at most max_bytes at which text can be cut without
// cutting a UTF-8 character in two: the start of the character at
// max_bytes, or the whole text when it is no longer.
inline size_t Utf8CutPoint(std::string_view t, size_t max_bytes) {
  if (t.size() <= max_bytes) return t.size();
  size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(t[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

// Spaces and tabs off both ends.
inline std::string_view TrimBlanks(std::string_view t) {
  size_t b = t.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = t.find_last_not_of(" \t");
  return t.substr(b, e - b + 1);
}

}  // namespace chatterwick::text
