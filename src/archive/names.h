#pragma once

#include <string>
#include <string_view>

// Names as people know them and type them.
namespace chatterwick::archive {

// A folder name as the client writes it ("zo%c3%ab@example.org") with its
// %XX escapes decoded, when the result is valid UTF-8; otherwise the name as
// it is on the disk.
std::string DisplayName(std::string_view on_disk);

// The text with letter case and accents folded away, for every script:
// "ZOË", "Zoë" and "zoe" fold alike, and so do "Straße" and "strasse". Bytes
// that are not UTF-8 are kept as they are.
std::string FoldForSearch(std::string_view text);

// True when text is valid UTF-8.
bool IsUtf8(std::string_view text);

}  // namespace chatterwick::archive
