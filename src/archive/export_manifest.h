#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/env.h"
#include "core/status.h"

// What an export folder's manifest records: the options of the run that
// wrote it, and for each file the conversation it holds and the signature
// of that conversation's messages when it was written.
namespace chatterwick::archive {

// The manifest's name in an export folder.
inline constexpr const char* kExportManifest = ".chatterwick-export.json";
// The lock one export at a time holds on its folder.
inline constexpr const char* kExportLock = ".chatterwick-export.lock";
// The places a run is putting files into, a line each, written before the
// files: what a run killed before its manifest leaves for the next.
inline constexpr const char* kExportJournal = ".chatterwick-export.journal";

// The first and last full stamps of a conversation's messages, as the
// header of its file gives them (either may be empty).
struct SentSpan {
  std::string first, last;
  bool operator==(const SentSpan&) const = default;
};

// What one file was when the run that wrote it put it in place.
struct ManifestEntry {
  int64_t conversation = 0;
  // Of the conversation's messages then: it changes when they do.
  std::string signature;
  // Of the options the file was written under.
  std::string options;
  FileStamp stamp;
  // What an HTML export's index shows of a file it did not write again,
  // without reading the conversation's messages; not known of a file a
  // manifest from before it was kept listed.
  std::optional<SentSpan> sent;
  bool operator==(const ManifestEntry&) const = default;
};

struct Manifest {
  std::string options;                         // the last run's
  std::map<std::string, ManifestEntry> files;  // by path under the folder
  bool operator==(const Manifest&) const = default;
};

// The manifest at path, read as it is parsed; anything but a whole manifest
// (none, a damaged one, one of another shape) is an empty one, so that
// every file is written anew. An entry whose name place does not hold
// (see place_ok) is left out and its name added to *passed_over.
Manifest ReadManifest(Env& env, const std::string& path,
                      const std::function<bool(const std::string&)>& place_ok,
                      std::vector<std::string>* passed_over);

// The places a journal at path names, a line each (none when there is none).
std::vector<std::string> ReadJournal(Env& env, const std::string& path);

// Replaces the manifest at path, through a temporary file, for its owner alone.
Status WriteManifest(Env& env, const std::string& path, const Manifest& manifest);

}  // namespace chatterwick::archive
