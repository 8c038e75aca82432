#include "testing/temp_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace chatterwick::testing {

namespace fs = std::filesystem;

TempTree::TempTree() {
  std::string templ = (fs::temp_directory_path() / "chatterwick-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  root_ = templ + "/";
}

TempTree::~TempTree() {
  std::error_code ec;
  // Tests may take permissions away; give them back so everything goes.
  for (auto it = fs::recursive_directory_iterator(
           root_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root_, ec);
}

void TempTree::Folder(std::string_view relative) { fs::create_directories(Path(relative)); }

void TempTree::File(std::string_view relative, std::string_view contents) {
  fs::path p = Path(relative);
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

std::string TempTree::Read(std::string_view relative) const {
  std::ifstream in(Path(relative), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void TempTree::Add(std::string_view description) {
  std::istringstream lines{std::string(description)};
  for (std::string line; std::getline(lines, line);) {
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) continue;
    line = line.substr(b);
    size_t eq = line.find(" = ");
    if (eq == std::string::npos) {
      if (line.back() == '/') Folder(line);
      else File(line, SmallLog(2));
      continue;
    }
    std::string contents;
    for (size_t i = eq + 3; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
        contents += '\n';
        ++i;
      } else {
        contents += line[i];
      }
    }
    File(line.substr(0, eq), contents);
  }
}

std::string SmallLog(int n, std::string_view title) {
  std::string log = "<html><head><title>" + std::string(title) + "</title></head><body><p>\n";
  for (int i = 1; i <= n; ++i)
    log += "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(10:00:" +
           std::string(i < 10 ? "0" : "") + std::to_string(i % 60) +
           ")</span> <b>Bob:</b></span> line " + std::to_string(i) + "<br>\n";
  log += "</p>\n</body>\n</html>\n";
  return log;
}

}  // namespace chatterwick::testing
