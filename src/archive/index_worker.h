#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "archive/search_index.h"
#include "core/status.h"

// Keeps a SearchIndex up with what an archive run commits: on a thread of
// its own, so that the words of one batch are indexed while the next is
// stored, or (one thread) on the caller's, each commit indexed at once.
namespace chatterwick::archive {

class IndexWorker {
 public:
  // index is open and outlives this.
  IndexWorker(SearchIndex& index, bool own_thread);
  ~IndexWorker();
  IndexWorker(const IndexWorker&) = delete;
  IndexWorker& operator=(const IndexWorker&) = delete;

  // The archive has committed every message through id; last: it will
  // commit no more of the run's logs, and the index may merge.
  void IndexThrough(int64_t id, bool last = false);
  // Waits until the index has taken all it was given and every change the
  // archive logged since, then merges what a first build held. A stop ends
  // it early (*stopped); a failure of the index is given back here.
  Status Finish(bool* stopped);

 private:
  void Work();

  SearchIndex& index_;
  std::mutex mu_;
  std::condition_variable wanted_;
  int64_t target_ = 0;
  bool finishing_ = false;
  bool last_ = false;
  bool stopped_ = false;
  Status failed_;
  std::thread thread_;
};

}  // namespace chatterwick::archive
