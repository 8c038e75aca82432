#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/env.h"
#include "core/status.h"
#include "core/stop_flag.h"

// Writing files so that what they held before survives any failure: new
// content goes into a temporary file beside the target and takes the
// target's place in one rename, only when it is complete and on the disk.
namespace chatterwick {

enum class SaveMode { kReplace, kAppend };

// What the name of every temporary file the program writes holds.
inline constexpr const char* kTempMark = ".chatterwick-";
// Where the temporary file for path goes: hidden beside it, named after it
// (after its first kTempNameBytes bytes, whole characters, however long its
// name: a temporary name never passes the system's limit where the name
// itself does not), kTempMark and an ending of NewTempFile's.
inline constexpr size_t kTempNameBytes = 96;
std::string TempPrefixFor(const std::string& path, char sep);

// Asked for the bytes to write; has_content tells whether they follow what
// the file already holds.
using MakeContent = std::function<std::string(bool has_content)>;

// Saves to path. A symbolic link is followed to the file it names. A regular
// file, or none, is written through a temporary file that keeps the replaced
// file's permission bits; kAppend copies the old content into it first. A
// pipe or a device is written in place. When stop is requested before the
// rename, nothing is changed and the save fails.
Status SaveFile(Env& env, const std::string& path, SaveMode mode, const MakeContent& make,
                StopFlag stop = {});

class ReplacementSet;

// A file saved a piece at a time, by SaveFile's rules: Open follows a link
// as SaveFile does; a regular file (or none) is replaced by Commit through
// a temporary file, whole or not at all; a pipe or a device is written in
// place as the pieces come. With kOwnerOnly, a file made or replaced is its
// owner's alone; otherwise it keeps the replaced file's permission bits.
class SavingFile {
 public:
  SavingFile(Env& env, FileAccess access);
  ~SavingFile();
  SavingFile(const SavingFile&) = delete;
  SavingFile& operator=(const SavingFile&) = delete;

  // Readies path for mode; with kAppend, has_content() then tells whether
  // what follows goes after bytes already there.
  Status Open(const std::string& path, SaveMode mode = SaveMode::kReplace);
  bool has_content() const { return has_content_; }
  Status Append(std::string_view data);
  // Puts the file in its place (a file written in place is closed).
  Status Commit();

 private:
  Env& env_;
  const FileAccess access_;
  std::string target_;
  std::unique_ptr<WritableFile> in_place_;
  std::unique_ptr<ReplacementSet> set_;
  size_t index_ = 0;
  bool has_content_ = false;
};

// New files for several targets in one folder, put in their places together
// by Commit. Until then every target is as it was; a set destroyed without a
// successful Commit removes its temporary files.
class ReplacementSet {
 public:
  explicit ReplacementSet(Env& env, FileAccess access = FileAccess::kUmask)
      : env_(env), access_(access) {}
  ~ReplacementSet();
  ReplacementSet(const ReplacementSet&) = delete;
  ReplacementSet& operator=(const ReplacementSet&) = delete;

  // Creates the temporary file for target, named temp_prefix and a unique
  // ending, with the permission bits of the target it replaces; returns its
  // index.
  Status Add(const std::string& target, const std::string& temp_prefix, size_t* index);
  WritableFile& file(size_t index) { return *entries_[index].file; }
  const std::string& target(size_t index) const { return entries_[index].target; }
  const std::string& temp(size_t index) const { return entries_[index].temp; }

  // Syncs and closes every file, then renames each over its target and syncs
  // folder. On failure *failed names the target that could not be written.
  // With a record (a path in folder), the renames are one step even across
  // a crash: the record names them before the first and is removed after
  // the last, and CompleteReplacement finishes what it names. Every target
  // must then be in folder.
  Status Commit(const std::string& folder, std::string* failed, const std::string& record = {});

 private:
  struct Entry {
    std::string target, temp;
    std::unique_ptr<WritableFile> file;
    bool renamed = false;
  };
  Env& env_;
  const FileAccess access_;
  std::vector<Entry> entries_;
  bool recorded_ = false;
};

// Removes the temporary files in folder whose names begin with name_prefix
// ("*" any run) and whose process has ended: what a killed save left.
void RemoveAbandonedTemps(Env& env, const std::string& folder, const std::string& name_prefix);

// What a record may name: targets among these names in its folder, each
// from a temporary file named temp_prefix, the target's name, "." and more.
struct RecordRule {
  std::vector<std::string> targets;
  std::string temp_prefix;
};

// Completes the renames that a record in folder names, when one is there
// (a run ended between them), and removes the record. A record that names
// anything else (another folder, a name the program does not write there)
// is not the program's: InvalidData says what it names, and nothing is
// renamed or removed.
Status CompleteReplacement(Env& env, const std::string& folder, const std::string& record,
                           const RecordRule& rule);

}  // namespace chatterwick
