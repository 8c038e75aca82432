#include "archive/file_batches.h"

#include <thread>

#include "core/safe_file.h"

namespace chatterwick::archive {

namespace {

// A few folders at once: the file system then syncs them together.
constexpr size_t kInFlight = 4;

// Writes a batch's files and puts them in place together; *failed names
// what could not be written.
Status WriteBatch(Env& env, const std::string& folder, std::vector<MadeFile>& files,
                  std::string* failed) {
  Status s = ReadyExportFolder(env, folder);
  if (!s.ok()) {
    *failed = folder;
    return s;
  }
  ReplacementSet set(env, FileAccess::kOwnerOnly);
  for (MadeFile& f : files) {
    size_t index = 0;
    s = set.Add(f.target, TempPrefixFor(f.target, env.Separator()), &index);
    if (s.ok()) s = set.file(index).Append(f.text);
    if (!s.ok()) {
      *failed = f.target;
      return s;
    }
    std::string().swap(f.text);
  }
  return set.Commit(folder, failed);
}

}  // namespace

struct FileBatches::Batch {
  std::string folder, failed;
  std::vector<MadeFile> files;
  Status status;
  std::thread thread;
};

Status ReadyExportFolder(Env& env, const std::string& folder) {
  Status s = env.CreateFolders(folder);
  if (s.ok()) RemoveAbandonedTemps(env, folder, std::string(".*") + kTempMark);
  return s;
}

FileBatches::FileBatches(Env& env, Placing placing, Written written, Failed failed)
    : env_(env),
      placing_(std::move(placing)),
      written_(std::move(written)),
      failed_(std::move(failed)) {}

FileBatches::~FileBatches() {
  for (auto& b : in_flight_)
    if (b->thread.joinable()) b->thread.join();
}

void FileBatches::BeginFile(const std::string& folder) {
  if (folder != making_folder_ || making_bytes_ >= kBatchBytes) Send();
  making_folder_ = folder;
}

void FileBatches::Add(MadeFile file) {
  making_bytes_ += file.text.size();
  making_.push_back(std::move(file));
}

void FileBatches::Send() {
  if (making_.empty()) return;
  if (in_flight_.size() >= kInFlight) WaitForOldest();
  placing_(making_);
  auto b = std::make_unique<Batch>();
  b->folder = making_folder_;
  b->files = std::move(making_);
  making_.clear();
  making_bytes_ = 0;
  Batch* raw = b.get();
  Env* env = &env_;
  raw->thread = std::thread(
      [raw, env] { raw->status = WriteBatch(*env, raw->folder, raw->files, &raw->failed); });
  in_flight_.push_back(std::move(b));
}

void FileBatches::WaitForOldest() {
  std::unique_ptr<Batch> done = std::move(in_flight_.front());
  in_flight_.pop_front();
  done->thread.join();
  if (!done->status.ok()) return failed_(done->failed, done->status, done->files);
  for (MadeFile& f : done->files) written_(f);
}

void FileBatches::Settle() {
  while (!in_flight_.empty()) WaitForOldest();
}

std::vector<MadeFile> FileBatches::TakeUnsent() {
  making_bytes_ = 0;
  return std::exchange(making_, {});
}

}  // namespace chatterwick::archive
