#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace chatterwick::cli {

// "logs 120/400  30%  lines 5012  2400 lines/s  3 s left": the share weighed by
// bytes, so one long log does not hold it still; the time left once a share
// is done that says something.
std::string FormatProgress(int64_t done, int64_t total, uint64_t done_bytes, uint64_t total_bytes,
                           int64_t lines, double seconds);

// One line on a terminal's stderr, redrawn at most ten times a second and
// erased before anything else is printed there.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, bool draw) : err_(err), draw_(draw) {}
  ~ProgressLine() { Erase(); }

  void SetTotal(int64_t logs, uint64_t bytes) {
    total_ = logs;
    total_bytes_ = bytes;
  }
  void Step(uint64_t bytes, int64_t lines);
  // A line of its own, the progress put aside.
  void Print(const std::string& message);
  void Erase();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  const bool draw_;
  Clock::time_point start_ = Clock::now(), last_ = start_;
  int64_t total_ = 0, done_ = 0, lines_ = 0;
  uint64_t total_bytes_ = 0, done_bytes_ = 0;
  bool drawn_ = false;
};

}  // namespace chatterwick::cli
