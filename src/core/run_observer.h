#pragma once

#include <cstdint>
#include <string>

#include "core/messages.h"
#include "core/status.h"

// What a long run (the catalogue's, the archive's) tells while it works.
namespace chatterwick {

// Something a run could not read or write. The run goes on where it can;
// "path" names the folder, log or file, "why" is the system's or the
// loader's reason.
struct Problem {
  enum class Kind {
    kFolderUnreadable,  // a folder that could not be listed or examined
    kLogUnreadable,     // a log that could not be loaded
    kWriteFailed,       // a file or folder that could not be written
    kRefused,           // the run did not start; why holds the whole sentence
    kPassedOver,        // a file of the program's own it does not trust; why holds the sentence
    kSourceUnreachable,  // a log folder an archive reads could not be reached; why holds the sentence
    kNotice,            // what the user should know of the run; why holds the sentence
  };
  Kind kind;
  std::string path;
  Status why;
};

// The problem in one line, with its reason, as the command line prints it.
inline std::string ProblemLine(const Problem& problem) {
  switch (problem.kind) {
    case Problem::Kind::kFolderUnreadable:
      return UnreadableFolderMessage(problem.path, problem.why);
    case Problem::Kind::kLogUnreadable:
      return LoadFailureLine(problem.path, problem.why);
    case Problem::Kind::kWriteFailed:
      return WriteFailureMessage(problem.path, problem.why);
    case Problem::Kind::kRefused:
    case Problem::Kind::kPassedOver:
    case Problem::Kind::kSourceUnreachable:
    case Problem::Kind::kNotice:
      break;
  }
  return problem.why.message();
}

// Told of a run's progress and problems, as they happen: the command line
// draws a progress line and prints each problem; the archive window moves
// its progress bar and lists the problems when the update ends.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // True when the observer wants OnTotal before the work: the tree may then
  // be listed once more, which costs little next to reading the logs.
  virtual bool WantsTotal() const { return false; }
  virtual void OnTotal(int64_t logs, uint64_t bytes) {
    (void)logs;
    (void)bytes;
  }
  // One log done: its size in bytes (0 when the run did not weigh it) and
  // the lines or messages it gave.
  virtual void OnLogDone(uint64_t bytes, int64_t lines) {
    (void)bytes;
    (void)lines;
  }
  virtual void OnProblem(const Problem& problem) { (void)problem; }
};

}  // namespace chatterwick
