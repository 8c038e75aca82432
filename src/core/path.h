#pragma once

#include <string>
#include <string_view>

// Paths as the core's own texts hold them: "/" and "\" both separate.
namespace chatterwick::path {

inline bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

// path with "sep" after it, unless it already ends with a separator. An
// empty text names no folder, and stays empty: never the root.
inline std::string WithFinalSeparator(std::string path, char sep) {
  if (!path.empty() && !EndsWithSeparator(path)) path += sep;
  return path;
}

// Begins at the root: with "sep" or either separator.
inline bool IsAbsolute(const std::string& path, char sep) {
  return !path.empty() && (path[0] == sep || path[0] == '/' || path[0] == '\\');
}

// Where the name begins: after the last separator, 0 when there is none.
inline size_t NameStart(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? 0 : slash + 1;
}

// The folder part of path with its final separator; empty for a bare name.
inline std::string FolderOf(const std::string& path) { return path.substr(0, NameStart(path)); }

}  // namespace chatterwick::path
