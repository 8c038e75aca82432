#pragma once

#include <string>
#include <string_view>

// Paths as the core builds them: "/" and the platform's separator "sep" both
// separate. Any other character, "\" where it is not "sep" included, belongs
// to a name.
namespace chatterwick::path {

inline bool IsSeparator(char c, char sep) { return c == '/' || c == sep; }

inline bool EndsWithSeparator(const std::string& path, char sep) {
  return !path.empty() && IsSeparator(path.back(), sep);
}

// path with "sep" after it, unless it already ends with a separator. An
// empty text names no folder, and stays empty: never the root.
inline std::string WithFinalSeparator(std::string path, char sep) {
  if (!path.empty() && !EndsWithSeparator(path, sep)) path += sep;
  return path;
}

// Begins at the root.
inline bool IsAbsolute(const std::string& path, char sep) {
  return !path.empty() && IsSeparator(path[0], sep);
}

// Where the name begins: after the last separator, 0 when there is none.
inline size_t NameStart(std::string_view path, char sep) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsSeparator(path[i - 1], sep)) return i;
  return 0;
}

// The folder part of path with its final separator; empty for a bare name.
inline std::string FolderOf(const std::string& path, char sep) {
  return path.substr(0, NameStart(path, sep));
}

// A text of the program's own that joins with "\" (the Folder box's default)
// made into a path of this platform.
inline std::string FromOwnText(std::string text, char sep) {
  for (char& c : text)
    if (c == '\\') c = sep;
  return text;
}

}  // namespace chatterwick::path
