#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "core/env.h"
#include "core/status.h"

// What an export folder's manifest records: the options of the run that
// wrote it, and for each file the conversation it holds and the signature
// of that conversation's messages when it was written.
namespace chatterwick::archive {

// The manifest's name in an export folder.
inline constexpr const char* kExportManifest = ".chatterwick-export.json";

struct Manifest {
  std::string options;
  // Path under the folder -> conversation, signature.
  std::map<std::string, std::pair<int64_t, std::string>> files;
  bool operator==(const Manifest&) const = default;
};

// The manifest at path, read as it is parsed; anything but a whole manifest
// (none, a damaged one, one of another shape) is an empty one, so that
// every file is written anew.
Manifest ReadManifest(Env& env, const std::string& path);

// Replaces the manifest at path, through a temporary file.
Status WriteManifest(Env& env, const std::string& path, const Manifest& manifest);

}  // namespace chatterwick::archive
