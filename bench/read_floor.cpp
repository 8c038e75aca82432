// The reading floor: opens and reads every file under a folder once, and
// nothing more. What a program that must read every byte of a tree cannot
// do faster; the benchmark sets the catalogue's time against it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

char buffer[1 << 16];
long long total = 0;

void ReadAll(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    if (e->d_type == DT_DIR) {
      ReadAll(path);
      continue;
    }
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) continue;
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) total += n;
    close(fd);
  }
  closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  ReadAll(argv[1]);
  std::printf("%lld bytes read\n", total);
  return 0;
}
