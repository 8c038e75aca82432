#include "archive/sender_colours.h"

#include <iterator>

namespace chatterwick::archive {

namespace {

struct SenderColour {
  const char* light;  // on the light page
  const char* dark;   // on the dark page
};

// Hues in the order senders take them, each next one as far from those
// before it as the wheel allows: the two senders of most conversations are
// blue and orange, six are over 30 degrees apart, all eight about 30. Each
// hue's lightness is set per scheme for a contrast of 5.2 on white and 6.5
// on the dark page, where a fixed lightness would leave yellow and green
// faint on white and blue dim on dark.
constexpr SenderColour kPalette[] = {
    {"#1b6ec0", "#61a5e8"},  // 210 blue
    {"#a05c17", "#e28c35"},  // 30 orange
    {"#bc1bbc", "#eb70eb"},  // 300 magenta
    {"#127e12", "#1bba1b"},  // 120 green
    {"#d21e4b", "#ed7e99"},  // 345 crimson
    {"#117971", "#19b3a6"},  // 175 teal
    {"#7e4be5", "#b090ef"},  // 260 violet
    {"#707010", "#a6a618"},  // 60 olive
};

}  // namespace

std::string SenderColourRules() {
  std::string light, dark;
  for (size_t i = 0; i < std::size(kPalette); ++i) {
    const std::string name = ".s" + std::to_string(i);
    light += name + " { color: " + kPalette[i].light + "; }\n";
    dark += "  " + name + " { color: " + kPalette[i].dark + "; }\n";
  }
  return light + "@media (prefers-color-scheme: dark) {\n" + dark + "}\n";
}

std::string SenderColourOf(size_t index, bool dark) {
  const SenderColour& colour = kPalette[index % std::size(kPalette)];
  return dark ? colour.dark : colour.light;
}

const std::string& SenderClasses::For(const std::string& sender) {
  const auto [it, added] = classes_.try_emplace(sender);
  if (added) it->second = "s" + std::to_string((classes_.size() - 1) % std::size(kPalette));
  return it->second;
}

}  // namespace chatterwick::archive
