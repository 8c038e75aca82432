#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// One long job at a time (an update, an export) on a thread of its own,
// with its stop request, and the way back to the window's thread.
namespace chatterwick::gui {

class JobThread {
 public:
  // What is posted runs on home's thread, while home lives.
  explicit JobThread(QObject* home) : home_(home) {}
  // Stops the job at its next step and waits for it.
  ~JobThread();
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // True from Start until what the job returned has run.
  bool Busy() const { return running_; }
  // Runs work on the job's thread; what it returns is then called on home's.
  void Start(std::function<std::function<void()>()> work);
  // Asks the job to stop at its next step.
  void Stop() { stop_.store(2); }
  std::atomic<int>* stop() { return &stop_; }
  // Hands f to home's thread, from any thread.
  void Post(std::function<void()> f);

 private:
  void RunPosted();

  QObject* home_;
  std::atomic<int> stop_{0};
  bool running_ = false;
  std::thread thread_;
  // What other threads hand to home's thread, under the mutex (which a
  // thread checker sees, unlike the event queue's own locks).
  std::mutex posted_mutex_;
  std::vector<std::function<void()>> posted_;
};

}  // namespace chatterwick::gui
