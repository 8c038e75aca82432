#include "archive/index_worker.h"

#include <algorithm>

namespace chatterwick::archive {

IndexWorker::IndexWorker(SearchIndex& index, bool own_thread) : index_(index) {
  if (own_thread) thread_ = std::thread([this] { Work(); });
}

IndexWorker::~IndexWorker() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    finishing_ = true;
  }
  wanted_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void IndexWorker::IndexThrough(int64_t id, bool last) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    target_ = std::max(target_, id);
    last_ = last_ || last;
  }
  if (thread_.joinable()) {
    wanted_.notify_all();
  } else if (failed_.ok() && !stopped_) {
    failed_ = index_.CatchUp(id, &stopped_);
    if (failed_.ok() && !stopped_ && last) failed_ = index_.Merge(&stopped_);
  }
}

void IndexWorker::Work() {
  int64_t reached = -1;
  bool merged = false;
  for (;;) {
    int64_t target = 0;
    bool merge_now = false;
    {
      std::unique_lock<std::mutex> lock(mu_);
      wanted_.wait(lock, [&] { return finishing_ || target_ > reached || (last_ && !merged); });
      if (target_ <= reached && (merged || !last_)) return;  // finishing, and nothing is left
      target = target_;
      // The last commit's messages are in once this catching up is done:
      // the merge then goes on while the run settles what is gone.
      merge_now = last_;
      merged = merged || merge_now;
    }
    bool stopped = false;
    Status s = index_.CatchUp(target, &stopped);
    if (s.ok() && !stopped && merge_now) s = index_.Merge(&stopped);
    std::lock_guard<std::mutex> lock(mu_);
    if (!s.ok() || stopped) {
      failed_ = s;
      stopped_ = stopped;
      return;
    }
    reached = target;
  }
}

Status IndexWorker::Finish(bool* stopped) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    finishing_ = true;
  }
  wanted_.notify_all();
  if (thread_.joinable()) thread_.join();
  Status s = failed_;
  *stopped = stopped_;
  // What changed after the last commit it was given (logs found gone).
  if (s.ok() && !*stopped) s = index_.CatchUp(target_, stopped);
  if (s.ok() && !*stopped) s = index_.Merge(stopped);
  return s;
}

}  // namespace chatterwick::archive
