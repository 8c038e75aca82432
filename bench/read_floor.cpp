// The reading floor: opens and reads every file under a folder once, and
// nothing more. What a program that must read every byte of a tree cannot
// do faster; the benchmark sets the catalogue's time against it. Given a
// file and a size, it then also writes that many bytes there and syncs
// them: the floor of a program that writes what the catalogue writes.
// usage: chatterwick_read_floor FOLDER [OUTPUT BYTES]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

// Writes bytes of the buffer to path and syncs them.
bool WriteAndSync(const char* path, long long bytes) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return false;
  for (long long left = bytes; left > 0;) {
    const size_t chunk =
        left < static_cast<long long>(sizeof buffer) ? static_cast<size_t>(left) : sizeof buffer;
    const ssize_t n = write(fd, buffer, chunk);
    if (n <= 0) return close(fd), false;
    left -= n;
  }
  const bool synced = fsync(fd) == 0;
  return close(fd) == 0 && synced;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: %s FOLDER [OUTPUT BYTES]\n", argv[0]);
    return 2;
  }
  ReadAll(argv[1]);
  std::printf("%lld bytes read\n", total);
  if (argc == 4 && !WriteAndSync(argv[2], std::atoll(argv[3]))) return 1;
  return 0;
}
