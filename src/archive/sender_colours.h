#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

// The colours an exported page draws senders' names in: each sender of a
// conversation one of its own, told apart from the others' at a glance and
// readable on the light page and the dark one alike.
namespace chatterwick::archive {

// The page's CSS for the colours: a class a colour ("s0", "s1" …), in the
// light scheme and, inside the dark scheme's media query, the dark one.
std::string SenderColourRules();

// The colour ("#1b6ec0") of the class "s" + index % the number of colours,
// for the light scheme or the dark one: for views that draw names themselves.
std::string SenderColourOf(size_t index, bool dark);

// Gives the senders of one conversation the classes of SenderColourRules in
// the order they first speak; after the last colour they come round again.
class SenderClasses {
 public:
  // A new conversation: its first sender takes the first colour.
  void Clear() { classes_.clear(); }
  // "s0", "s1" …: the same for a sender each time.
  const std::string& For(const std::string& sender);

 private:
  std::unordered_map<std::string, std::string> classes_;
};

}  // namespace chatterwick::archive
