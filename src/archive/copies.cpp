#include "archive/copies.h"

#include <functional>
#include <string>

namespace chatterwick::archive {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The letters kept of a sender and text: enough to tell apart two messages
// of one second, few enough that no format's wording reaches them.
constexpr size_t kKeyLetters = 8;

// Appends text's letters and digits (ASCII ones folded to lower case; every
// byte of other characters but the no-break space, which one format writes
// as a blank) to key, up to kKeyLetters in all.
void AppendLetters(std::string_view text, std::string* key, size_t* kept) {
  for (size_t i = 0; i < text.size() && *kept < kKeyLetters; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0) {
      ++i;
      continue;
    }
    const bool ascii_word = (c >= '0' && c <= '9') || IsAsciiLetter(static_cast<char>(c));
    if (!ascii_word && c < 0x80) continue;
    key->push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c));
    ++*kept;
  }
}

}  // namespace

std::string LogStem(std::string_view file_name) {
  const size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(file_name);
  const std::string_view extension = file_name.substr(dot + 1);
  if (extension.empty() || extension.size() > 5) return std::string(file_name);
  for (char c : extension)
    if (!IsAsciiLetter(c)) return std::string(file_name);
  return std::string(file_name.substr(0, dot));
}

std::string MessageKey(std::string_view sent_at, std::string_view time_text,
                       std::string_view sender, std::string_view body) {
  std::string key(sent_at.empty() ? time_text : sent_at);
  key.push_back('\x1f');
  size_t kept = 0;
  AppendLetters(sender, &key, &kept);
  AppendLetters(body, &key, &kept);
  return key;
}

bool KeyExtends(std::string_view key, std::string_view longer) {
  const size_t cut = key.find('\x1f');
  return cut != std::string_view::npos && key.size() < longer.size() &&
         key.size() - cut - 1 < kKeyLetters && longer.starts_with(key);
}

void CopyMerge::AddStored(std::string_view key) {
  last_key_ = key;
  last_place_ = counts_[std::hash<std::string_view>()(key)].stored++;
  ++stored_;
}

void CopyMerge::CountHeld() {
  ++held_;
  if (held_before_new_ >= 0) held_after_new_ = true;
}

void CopyMerge::CountNew() {
  if (held_before_new_ < 0) held_before_new_ = held_;
  ++added_;
}

CopyMerge::Offered CopyMerge::Offer(std::string_view key, bool copy_last) {
  Count& count = counts_[std::hash<std::string_view>()(key)];
  const int64_t place = count.offered++;
  if (place < count.stored) {
    CountHeld();
    if (key != last_key_ || place != last_place_) return Offered::kHeld;
    last_matched_ = true;
    return Offered::kHeldLast;
  }
  if (!last_matched_ && KeyExtends(last_key_, key)) {
    last_matched_ = true;
    CountHeld();
    return Offered::kHeldLast;
  }
  if (copy_last && stored_ > 0) return Offered::kMaybeCut;
  CountNew();
  return Offered::kNew;
}

void CopyMerge::Settle(bool held) {
  if (held) CountHeld();
  else CountNew();
}

bool CopyMerge::Differs() const {
  if (added_ == 0) return false;
  // A longer copy holds every stored message, in its order, before its own.
  return held_after_new_ || held_before_new_ < stored_;
}

}  // namespace chatterwick::archive
