#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "core/run_observer.h"

// What the archive window says of an update while it runs and when it ends.
namespace chatterwick::gui {

// Hears an update run on its own thread, and hands the progress bar's
// value (of 1000) and text to show to show, at most ten times a second.
class UpdateProgress : public RunObserver {
 public:
  using Show = std::function<void(int value, const QString& text)>;
  explicit UpdateProgress(Show show) : show_(std::move(show)) {}
  void OnTotal(int64_t logs, uint64_t bytes) override;
  void OnLogDone(uint64_t bytes, int64_t lines) override;
  void OnProblem(const Problem& problem) override { problems.push_back(ProblemLine(problem)); }
  // Read once the run has ended.
  std::vector<std::string> problems;

 private:
  using Clock = std::chrono::steady_clock;
  void Tell();
  Show show_;
  int64_t total_logs_ = 0, done_ = 0;
  uint64_t total_bytes_ = 0, done_bytes_ = 0;
  Clock::time_point start_ = Clock::now(), shown_ = Clock::now() - std::chrono::seconds(1);
};

// The box's text at the end of an update of the archive at db_path: what
// was found, and each problem; a run that could not use the archive names
// it and says why.
QString UpdateSummary(const archive::ArchiveResult& result,
                      const std::vector<std::string>& problems, const std::string& db_path);

}  // namespace chatterwick::gui
