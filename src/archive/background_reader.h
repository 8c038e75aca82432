#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "archive/reader.h"
#include "core/status.h"
#include "core/stop_flag.h"

// Every read a window makes of an archive, on one background thread with
// one connection: work is handed to it, and what the work finds comes back
// to the window's own thread. The newest request of a kind replaces a
// queued one and stops a running one, so that a window never waits behind
// a read nobody wants any more.
namespace chatterwick::archive {

class BackgroundReader {
 public:
  enum class Kind { kTree, kConversations, kMessages, kSearch, kCount, kStatistics, kOther };
  // Hands a result to the caller's thread, where it is then called (or not,
  // when a newer request of its kind came meanwhile).
  using Deliver = std::function<void(std::function<void()> result)>;
  // What a read has on the background thread: the reader, null when the
  // archive could not be opened (opened says why); deliver for its results,
  // as many as it has (a conversation page by page); and the request to
  // stop, which the reader's statements also heed.
  struct Job {
    ArchiveReader* reader;
    Status opened;
    Deliver deliver;
    StopFlag stop;
  };
  using Work = std::function<void(const Job& job)>;
  // post hands a function to the caller's thread; it is called from the
  // background thread and must not wait for the caller.
  using Post = std::function<void(std::function<void()>)>;

  BackgroundReader(std::string db_path, Post post);
  // Stops what runs and ends the thread: a long count is cut short, not waited for.
  ~BackgroundReader();
  BackgroundReader(const BackgroundReader&) = delete;
  BackgroundReader& operator=(const BackgroundReader&) = delete;

  // On the caller's thread: queues work of kind, in place of any queued work
  // of that kind; stops work of that kind that is running, whose results
  // are not delivered.
  void Schedule(Kind kind, Work work);
  // The next read opens the archive anew: after an update, which may have
  // made it or changed its schema.
  void Reopen();
  // True while no work is queued, running or waiting to be delivered.
  bool Idle() const { return shared_->outstanding == 0; }

 private:
  struct Request {
    Kind kind;
    uint64_t generation;
    Work work;
  };
  void Loop();
  // The archive's reader, opened when it is not (again) yet.
  ArchiveReader* Reader(Status* opened);
  static size_t Index(Kind kind) { return static_cast<size_t>(kind); }
  // What the caller's thread keeps, shared with the results on their way
  // to it, which may arrive after this reader is gone.
  struct Shared {
    // The newest request's number of each kind.
    uint64_t latest[7] = {};
    // Requests scheduled and not yet over.
    int outstanding = 0;
  };

  const std::string db_path_;
  const Post post_;
  std::mutex mu_;
  std::condition_variable wake_;
  std::deque<Request> queue_;
  bool running_ = false, ending_ = false, reopen_ = false;
  Kind running_kind_ = Kind::kOther;
  // Raised to stop the running work; the connection's statements see it.
  std::atomic<int> stop_{0};
  // On the caller's thread.
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  uint64_t next_generation_ = 0;
  // Only the background thread touches these.
  std::unique_ptr<ArchiveReader> reader_;
  Status opened_;
  std::thread thread_;
};

}  // namespace chatterwick::archive
