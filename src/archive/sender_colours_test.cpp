#include "archive/sender_colours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "archive/export_format.h"

// The colours of a conversation's senders, read back from the exported page
// itself: apart from each other, and readable in both of its schemes.
namespace chatterwick::archive {
namespace {

struct Rgb {
  double r, g, b;  // 0 to 1
};

Rgb Parse(const std::string& hex) {
  auto digit = [&](size_t i) { return std::stoi(hex.substr(i, 1), nullptr, 16); };
  if (hex.size() == 4) return {digit(1) / 15.0, digit(2) / 15.0, digit(3) / 15.0};
  auto pair = [&](size_t i) { return std::stoi(hex.substr(i, 2), nullptr, 16) / 255.0; };
  return {pair(1), pair(3), pair(5)};
}

// WCAG's relative luminance and contrast ratio.
double Luminance(const Rgb& c) {
  auto linear = [](double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}
double Contrast(const Rgb& a, const Rgb& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The hue on the colour wheel, in degrees.
double Hue(const Rgb& c) {
  const double hi = std::max({c.r, c.g, c.b}), lo = std::min({c.r, c.g, c.b}), d = hi - lo;
  if (d == 0) return 0;
  const double h = hi == c.r   ? std::fmod((c.g - c.b) / d + 6, 6)
                   : hi == c.g ? (c.b - c.r) / d + 2
                               : (c.r - c.g) / d + 4;
  return h * 60;
}
double HueDistance(double a, double b) {
  const double d = std::fabs(a - b);
  return std::min(d, 360 - d);
}

// The page of one conversation in which each sender speaks twice, in turn.
std::string Page(const std::vector<std::string>& senders) {
  const auto writer = MakeExportWriter(ExportFormat::kHtml, false);
  ConversationInfo c;
  c.contact = "#room";
  std::string page = writer->BeginFile(&c) + writer->BeginConversation(c);
  for (size_t i = 0; i < 2 * senders.size(); ++i) {
    MessageRow m;
    m.kind = "chat";
    m.sender = senders[i % senders.size()];
    m.body = "hello";
    page += writer->Message(c, m);
  }
  return page + writer->EndConversation(c) + writer->EndFile();
}

// What the page's rules say: the first for the light scheme, the last
// (inside the dark scheme's media query) for the dark.
std::pair<Rgb, Rgb> Rules(const std::string& page, const std::string& selector) {
  const std::regex rule(selector + R"( \{ [^}]*(?:\bcolor|--bg): (#[0-9a-f]+);)");
  std::vector<std::string> found;
  for (std::sregex_iterator it(page.begin(), page.end(), rule), end; it != end; ++it)
    found.push_back((*it)[1]);
  EXPECT_EQ(found.size(), 2u) << selector;
  if (found.size() < 2) return {};
  return {Parse(found.front()), Parse(found.back())};
}

// Each sender's class on the page, the same every time the sender speaks.
std::map<std::string, std::string> Classes(const std::string& page) {
  std::map<std::string, std::string> classes;
  const std::regex who(R"re(<span class="who (s\d+)">([^<]*)</span>)re");
  for (std::sregex_iterator it(page.begin(), page.end(), who), end; it != end; ++it) {
    const auto [at, added] = classes.try_emplace((*it)[2], (*it)[1]);
    EXPECT_EQ(at->second, (*it)[1]) << (*it)[2];
  }
  return classes;
}

TEST(SenderColoursTest, EachSenderOfAConversationHasAColourClearlyItsOwn) {
  const std::vector<std::string> names = {"Alice",   "Bob Jones",  "Zo\u00eb", "xiaoming",
                                          "olivia_", "[francois]", "Mallory",  "ivan|away"};
  for (size_t n = 2; n <= names.size(); ++n) {
    SCOPED_TRACE(n);
    const std::vector<std::string> senders(names.begin(), names.begin() + n);
    const std::string page = Page(senders);
    const auto [light_page, dark_page] = Rules(page, ":root");
    const std::map<std::string, std::string> classes = Classes(page);
    ASSERT_EQ(classes.size(), n);
    std::vector<std::pair<Rgb, Rgb>> colours;
    for (const auto& [sender, name] : classes) colours.push_back(Rules(page, "\\." + name));
    for (size_t i = 0; i < n; ++i) {
      EXPECT_GE(Contrast(colours[i].first, light_page), 4.5) << i;
      EXPECT_GE(Contrast(colours[i].second, dark_page), 4.5) << i;
      // Told apart at a glance up to six senders, and still by their hues after.
      const double apart = n <= 6 ? 30 : 25;
      for (size_t j = 0; j < i; ++j) {
        EXPECT_GE(HueDistance(Hue(colours[i].first), Hue(colours[j].first)), apart) << i << j;
        EXPECT_GE(HueDistance(Hue(colours[i].second), Hue(colours[j].second)), apart) << i << j;
      }
    }
  }
}

}  // namespace
}  // namespace chatterwick::archive
