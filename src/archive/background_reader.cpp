#include "archive/background_reader.h"

#include <utility>

namespace chatterwick::archive {

BackgroundReader::BackgroundReader(std::string db_path, Post post)
    : db_path_(std::move(db_path)), post_(std::move(post)), thread_([this] { Loop(); }) {}

BackgroundReader::~BackgroundReader() {
  {
    const std::lock_guard<std::mutex> lock(mu_);
    ending_ = true;
    queue_.clear();
    stop_.store(1);
  }
  wake_.notify_all();
  thread_.join();
}

void BackgroundReader::Schedule(Kind kind, Work work) {
  const uint64_t generation = ++next_generation_;
  shared_->latest[Index(kind)] = generation;
  ++shared_->outstanding;
  {
    const std::lock_guard<std::mutex> lock(mu_);
    for (auto it = queue_.begin(); it != queue_.end();) {
      if (it->kind != kind) {
        ++it;
        continue;
      }
      it = queue_.erase(it);
      --shared_->outstanding;
    }
    queue_.push_back({kind, generation, std::move(work)});
    if (running_ && running_kind_ == kind) stop_.store(1);
  }
  wake_.notify_all();
}

void BackgroundReader::Reopen() {
  const std::lock_guard<std::mutex> lock(mu_);
  reopen_ = true;
}

ArchiveReader* BackgroundReader::Reader(Status* opened) {
  bool reopen = false;
  {
    const std::lock_guard<std::mutex> lock(mu_);
    std::swap(reopen, reopen_);
  }
  if (reopen) reader_.reset();
  if (!reader_) opened_ = ArchiveReader::Open(db_path_, &reader_, &stop_);
  *opened = opened_;
  return reader_.get();
}

void BackgroundReader::Loop() {
  for (;;) {
    Request request;
    {
      std::unique_lock<std::mutex> lock(mu_);
      wake_.wait(lock, [this] { return ending_ || !queue_.empty(); });
      if (ending_) return;
      request = std::move(queue_.front());
      queue_.pop_front();
      running_ = true;
      running_kind_ = request.kind;
      stop_.store(0);
    }
    const std::shared_ptr<Shared> shared = shared_;
    const size_t kind = Index(request.kind);
    const uint64_t generation = request.generation;
    const Deliver deliver = [this, shared, kind, generation](std::function<void()> result) {
      post_([shared, kind, generation, result = std::move(result)] {
        if (shared->latest[kind] == generation) result();
      });
    };
    Status opened;
    ArchiveReader* reader = Reader(&opened);
    request.work({reader, opened, deliver, &stop_});
    {
      const std::lock_guard<std::mutex> lock(mu_);
      running_ = false;
    }
    post_([shared] { --shared->outstanding; });
  }
}

}  // namespace chatterwick::archive
