#include "cli/progress.h"

#include <cstdio>

#include "core/time_left.h"

namespace chatterwick::cli {

std::string FormatProgress(int64_t done, int64_t total, uint64_t done_bytes, uint64_t total_bytes,
                           int64_t lines, double seconds) {
  const double share = total_bytes > 0 ? static_cast<double>(done_bytes) / total_bytes
                       : total > 0     ? static_cast<double>(done) / total
                                       : 0.0;
  char text[200];
  int n = std::snprintf(text, sizeof text, "logs %lld/%lld  %.0f%%  lines %lld",
                        static_cast<long long>(done), static_cast<long long>(total), share * 100,
                        static_cast<long long>(lines));
  std::string line(text, static_cast<size_t>(n));
  if (seconds > 0) {
    std::snprintf(text, sizeof text, "  %.0f lines/s", static_cast<double>(lines) / seconds);
    line += text;
  }
  if (const std::optional<double> left = SecondsLeft(share, seconds)) {
    std::snprintf(text, sizeof text, "  %.0f s left", *left);
    line += text;
  }
  return line;
}

void ProgressLine::Step(uint64_t bytes, int64_t lines) {
  ++done_;
  done_bytes_ += bytes;
  lines_ += lines;
  if (!draw_) return;
  const auto now = Clock::now();
  if (now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  err_ << "\r\033[K"
       << FormatProgress(done_, total_, done_bytes_, total_bytes_, lines_,
                         std::chrono::duration<double>(now - start_).count())
       << std::flush;
}

void ProgressLine::Print(const std::string& message) {
  Erase();
  err_ << message << '\n';
}

void ProgressLine::Erase() {
  if (drawn_) err_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

}  // namespace chatterwick::cli
