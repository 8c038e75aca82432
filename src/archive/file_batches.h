#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/env.h"
#include "core/status.h"

// Files of an export made in memory, a folder's worth at a time, then
// written and put in place on a thread of their own while the next folder's
// are made: creating, syncing and renaming files waits on the file system,
// not on work. A few folders are in flight at once, so that the file system
// syncs them together.
namespace chatterwick::archive {

// One file, made and waiting for its folder's turn.
struct MadeFile {
  std::string relative;                   // under the export folder
  std::pair<int64_t, std::string> entry;  // conversation, signature
  int64_t messages = 0;
  std::string target, text;
};

class FileBatches {
 public:
  // written is told of each file put in place; failed of each folder that
  // could not be, with the file it failed at, its reason and its files.
  using Written = std::function<void(MadeFile& file)>;
  using Failed = std::function<void(const std::string& path, const Status& why,
                                    const std::vector<MadeFile>& files)>;
  FileBatches(Env& env, Written written, Failed failed);
  ~FileBatches();
  FileBatches(const FileBatches&) = delete;
  FileBatches& operator=(const FileBatches&) = delete;

  // What a batch holds in memory at most before it is sent: the files of a
  // folder made but not yet written, or one file being made.
  static constexpr size_t kBatchBytes = size_t{8} << 20;

  // Readies the batch for a file of folder, before it is made: the batch
  // made so far is sent first when it is of another folder or full.
  Status BeginFile(const std::string& folder);
  // Adds the file made, to the batch of its folder.
  void Add(MadeFile file);
  // Sends the batch being made; when enough are in flight, first waits for
  // the oldest, whose failure it returns.
  Status Send();
  // Waits for every batch in flight; the first failure among them.
  Status Settle();
  // True when a file made in this run, in flight or not, has this place.
  bool Taken(const std::string& relative) const;
  // The files of the batch being made, which were never written.
  std::vector<MadeFile> TakeUnsent();

 private:
  struct Batch;
  Status WaitForOldest();

  Env& env_;
  Written written_;
  Failed failed_;
  std::vector<MadeFile> making_;
  std::string making_folder_;
  size_t making_bytes_ = 0;
  std::deque<std::unique_ptr<Batch>> in_flight_;
};

// Makes folder, rid of what a killed run left in it, ready for this run's files.
Status ReadyExportFolder(Env& env, const std::string& folder);

}  // namespace chatterwick::archive
