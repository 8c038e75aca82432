#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace chatterwick {

// Items 0, 1, 2... made by a step function and taken in that order. With
// worker threads, the steps run on them while the taker works on what came
// before, at most "depth" items ahead, so memory holds depth items whatever
// the count; several workers make several items at once. Without workers,
// each Take runs the next step itself, so every way gives the same items.
//
// The slots are reused: an item taken stays the taker's until its next
// Take, and a step then gets it back to fill anew, with whatever the taker
// left in it. With one worker, the steps run one after another in order, so
// a step may keep state of its own; with more, each must stand alone. What
// a step throws is thrown by the Take that would have given its item.
template <typename T>
class ReadAhead {
 public:
  // Fills *slot with item "index"; false when there is no such item (the
  // end, or a stop the step itself noticed), and then none after it either.
  using Step = std::function<bool(size_t index, T* slot)>;

  ReadAhead(Step step, int workers, size_t depth = 4)
      : step_(std::move(step)),
        slots_(workers > 0 ? std::max(depth, size_t{2}) : 1),
        batch_(std::max(slots_.size() / 2, size_t{1})) {
    ready_.assign(slots_.size(), false);
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~ReadAhead() {
    Cancel();
    for (std::thread& w : workers_) w.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next item, or null after the last. The item taken before goes back.
  T* Take() {
    if (workers_.empty()) {
      if (released_ >= end_) return nullptr;
      try {
        if (step_(released_, &slots_[0])) {
          ++released_;
          return &slots_[0];
        }
      } catch (...) {
        end_ = released_;
        throw;
      }
      end_ = released_;
      return nullptr;
    }
    std::unique_lock<std::mutex> lock(mu_);
    const size_t n = slots_.size();
    if (holding_) {
      holding_ = false;
      ready_[released_ % n] = false;
      ++released_;
      if (workers_waiting_ > 0 && released_ + n - next_ >= batch_) changed_.notify_all();
    }
    const size_t slot = released_ % n;
    if (!ready_[slot] && released_ < end_) {
      // Woken for a run of items rather than each one: waking a thread
      // costs more than making a small item, most of all on a virtual machine.
      if (workers_waiting_ > 0 && next_ < released_ + n) changed_.notify_all();
      taker_waiting_ = true;
      changed_.wait(lock, [&] { return released_ >= end_ || RunDone(); });
      taker_waiting_ = false;
    }
    if (!ready_[slot]) {
      if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
      return nullptr;
    }
    holding_ = true;
    return &slots_[slot];
  }

  // No more items are wanted: the workers end after their current steps.
  void Cancel() {
    std::lock_guard<std::mutex> lock(mu_);
    end_ = 0;
    changed_.notify_all();
  }

 private:
  // Items from released_ on that are ready, one after another.
  size_t ReadyRun() const {
    size_t run = 0;
    while (run < slots_.size() && ready_[(released_ + run) % slots_.size()]) ++run;
    return run;
  }
  // The taker has enough to go on: a run of batch_ items, or all up to the end.
  bool RunDone() const {
    const size_t run = ReadyRun();
    return run >= batch_ || (run > 0 && released_ + run >= end_);
  }

  void Work() {
    const size_t n = slots_.size();
    for (;;) {
      size_t index = 0;
      {
        std::unique_lock<std::mutex> lock(mu_);
        // The slot of item released_ is the taker's until it takes the next.
        ++workers_waiting_;
        changed_.wait(lock, [&] { return next_ >= end_ || next_ < released_ + n; });
        --workers_waiting_;
        if (next_ >= end_) break;
        index = next_++;
      }
      bool made = false;
      std::exception_ptr failure;
      try {
        made = step_(index, &slots_[index % n]);
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mu_);
      if (made) {
        ready_[index % n] = true;
        if (taker_waiting_ && RunDone()) changed_.notify_all();
      } else if (index < end_) {
        end_ = index;
        failure_ = failure;
        changed_.notify_all();
      }
    }
  }

  Step step_;
  std::vector<T> slots_;
  const size_t batch_;
  std::vector<std::thread> workers_;
  std::mutex mu_;
  std::condition_variable changed_;
  std::vector<bool> ready_;
  size_t next_ = 0;      // the next item a worker makes
  size_t released_ = 0;  // items the taker is done with
  // The first item that is not to be: the end, a failure, or 0 once cancelled.
  size_t end_ = std::numeric_limits<size_t>::max();
  bool holding_ = false, taker_waiting_ = false;
  int workers_waiting_ = 0;
  std::exception_ptr failure_;
};

}  // namespace chatterwick
