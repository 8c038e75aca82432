#include "gui/job_thread.h"

#include <QMetaObject>

namespace chatterwick::gui {

JobThread::~JobThread() {
  stop_.store(2);
  if (thread_.joinable()) thread_.join();
}

void JobThread::Start(std::function<std::function<void()>()> work) {
  if (thread_.joinable()) thread_.join();
  stop_.store(0);
  running_ = true;
  thread_ = std::thread([this, work = std::move(work)] {
    std::function<void()> done = work();
    Post([this, done = std::move(done)] {
      running_ = false;
      if (done) done();
    });
  });
}

void JobThread::Post(std::function<void()> f) {
  {
    const std::lock_guard<std::mutex> lock(posted_mutex_);
    posted_.push_back(std::move(f));
  }
  QMetaObject::invokeMethod(
      home_, [this] { RunPosted(); }, Qt::QueuedConnection);
}

void JobThread::RunPosted() {
  std::vector<std::function<void()>> ready;
  {
    const std::lock_guard<std::mutex> lock(posted_mutex_);
    ready.swap(posted_);
  }
  for (std::function<void()>& f : ready) f();
}

}  // namespace chatterwick::gui
