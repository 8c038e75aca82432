#pragma once

#include <atomic>

namespace chatterwick {

// The user's request to stop, as a signal handler records it: the signal's
// number, 0 while nobody asked. Reads only; a default flag is never raised.
class StopFlag {
 public:
  StopFlag() = default;
  // Not explicit: a place that held the raw flag takes this in its stead.
  StopFlag(const std::atomic<int>* signal) : signal_(signal) {}  // NOLINT

  bool Requested() const { return signal_ && signal_->load() != 0; }
  // 128 + the signal's number, as a shell reports a program the signal ended.
  int ExitCode() const { return 128 + (signal_ ? signal_->load() : 0); }

 private:
  const std::atomic<int>* signal_ = nullptr;
};

}  // namespace chatterwick
