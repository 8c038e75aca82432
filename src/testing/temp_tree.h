#pragma once

#include <string>
#include <string_view>

namespace chatterwick::testing {

// A folder under /tmp that is removed with everything in it at destruction.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // With a final "/".
  const std::string& root() const { return root_; }
  std::string Path(std::string_view relative) const { return root_ + std::string(relative); }

  // One entry a line: "a/b/" makes folders, "a/b/x.html" a file holding a
  // small log, "a/b/x.html = TEXT" a file holding TEXT ("\n" in TEXT is a
  // line break).
  void Add(std::string_view description);
  void File(std::string_view relative, std::string_view contents);
  void Folder(std::string_view relative);
  std::string Read(std::string_view relative) const;

 private:
  std::string root_;
};

// A log of n chat lines with the current markup, lines ending in LF.
std::string SmallLog(int n, std::string_view title = "Conversation");

}  // namespace chatterwick::testing
