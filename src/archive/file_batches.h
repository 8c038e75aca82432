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
  // placing is told of a batch's files before they are written; written of
  // each file put in place; failed of each folder that could not be, with
  // the file it failed at, its reason and its files.
  using Placing = std::function<void(const std::vector<MadeFile>& files)>;
  using Written = std::function<void(MadeFile& file)>;
  using Failed = std::function<void(const std::string& path, const Status& why,
                                    const std::vector<MadeFile>& files)>;
  FileBatches(Env& env, Placing placing, Written written, Failed failed);
  ~FileBatches();
  FileBatches(const FileBatches&) = delete;
  FileBatches& operator=(const FileBatches&) = delete;

  // What a batch holds in memory at most before it is sent: the files of a
  // folder made but not yet written, or one file being made.
  static constexpr size_t kBatchBytes = size_t{8} << 20;

  // Readies the batch for a file of folder, before it is made: the batch
  // made so far is sent first when it is of another folder or full.
  void BeginFile(const std::string& folder);
  // Adds the file made, to the batch of its folder.
  void Add(MadeFile file);
  // Sends the batch being made; when enough are in flight, first waits for
  // the oldest. What each batch came to is told to written or failed.
  void Send();
  // Waits for every batch in flight.
  void Settle();
  // The files of the batch being made, which were never written.
  std::vector<MadeFile> TakeUnsent();

 private:
  struct Batch;
  void WaitForOldest();

  Env& env_;
  Placing placing_;
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
