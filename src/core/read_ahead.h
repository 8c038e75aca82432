#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace chatterwick {

// Items made one after another by a step function and taken in the same
// order. With a thread, the steps run on it while the taker works on what
// came before, at most "depth" items ahead, so memory holds depth items
// whatever the count. Without one, each Take runs the next step itself, so
// both ways give the same items.
//
// The slots are reused: an item taken stays the taker's until its next
// Take, and the step then gets it back to fill anew, with whatever the taker
// left in it. The step owns its own state; in the threaded way it runs on the
// worker thread only, and what it throws is thrown by the Take that would
// have given its item.
template <typename T>
class ReadAhead {
 public:
  // Fills *slot with the next item; false when there is none (the end, or a
  // stop the step itself noticed).
  using Step = std::function<bool(T* slot)>;

  ReadAhead(Step step, bool threaded, size_t depth = 4)
      : step_(std::move(step)), slots_(threaded ? depth + 1 : 1) {
    if (threaded) worker_ = std::thread([this] { Work(); });
  }
  ~ReadAhead() {
    Cancel();
    if (worker_.joinable()) worker_.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next item, or null after the last. The item taken before goes back.
  T* Take() {
    if (!worker_.joinable()) return step_(&slots_[0]) ? &slots_[0] : nullptr;
    std::unique_lock<std::mutex> lock(mu_);
    if (holding_) {
      holding_ = false;
      ++taken_;
      changed_.notify_all();
    }
    changed_.wait(lock, [&] { return made_ > taken_ || done_; });
    if (made_ == taken_) {
      if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
      return nullptr;
    }
    holding_ = true;
    return &slots_[taken_ % slots_.size()];
  }

  // No more items are wanted: the worker ends after its current step.
  void Cancel() {
    std::lock_guard<std::mutex> lock(mu_);
    cancelled_ = true;
    changed_.notify_all();
  }

 private:
  void Work() {
    for (;;) {
      T* slot = nullptr;
      {
        std::unique_lock<std::mutex> lock(mu_);
        // One slot is always the taker's, the one it holds or will take next.
        changed_.wait(lock, [&] { return cancelled_ || made_ - taken_ < slots_.size() - 1; });
        if (cancelled_) break;
        slot = &slots_[made_ % slots_.size()];
      }
      bool more = false;
      std::exception_ptr failure;
      try {
        more = step_(slot);
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mu_);
      failure_ = failure;
      if (!more) break;
      ++made_;
      changed_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mu_);
    done_ = true;
    changed_.notify_all();
  }

  Step step_;
  std::vector<T> slots_;
  std::thread worker_;
  std::mutex mu_;
  std::condition_variable changed_;
  size_t made_ = 0, taken_ = 0;
  bool holding_ = false, done_ = false, cancelled_ = false;
  std::exception_ptr failure_;
};

}  // namespace chatterwick
