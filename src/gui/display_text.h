#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace chatterwick::gui {

// Log bytes for the screen: each valid UTF-8 sequence as its character, any
// other byte as the character of the same value, so nothing is dropped.
QString DecodeForDisplay(std::string_view bytes);

// What the user typed, for the core and the file system: UTF-8.
std::string EncodeTyped(const QString& text);

}  // namespace chatterwick::gui
