#pragma once

#include <cstddef>
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

// A name as a file system that ignores letter case and Unicode's forms
// of one character sees it (a USB stick, a Windows or macOS volume): two
// names it holds for one fold alike.
std::string FoldForFileSystem(std::string_view name);

// True when text is valid UTF-8.
bool IsUtf8(std::string_view text);

// The name a folder or file of an export gets from a name people know: no
// "/", "\\", NUL or control character, nothing Windows refuses (<>:"|?* and
// names like CON or LPT1), no leading ".", no trailing dot or blank, at most
// max_bytes bytes of whole UTF-8 characters, never empty.
std::string SafeFileName(const std::string& name, size_t max_bytes = 255);

struct ConversationInfo;

// Where a conversation's file goes under an export folder, its names made
// safe: PROTOCOL/ACCOUNT/CONTACT/START.EXTENSION (the log's file name when
// its start is unknown), joined with sep.
std::string ExportRelativePath(const ConversationInfo& c, const std::string& extension, char sep);

// True when relative has the shape ExportRelativePath gives: four names
// joined with sep, each one SafeFileName keeps as it is, so nothing "..",
// absolute or otherwise outside the folder.
bool IsExportPlace(const std::string& relative, char sep);

}  // namespace chatterwick::archive
