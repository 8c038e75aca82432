#pragma once

#include <string>
#include <string_view>

#include "core/context.h"

namespace chatterwick::modGeneral {

// The pane gets text followed by CR LF.
void AppendOutput(WindowOps& window, std::string_view text);

// The loader's one message, for the pane and for the CLI's stderr.
std::string LoadFailureMessage(const std::string& path);

// Reads the log at path into RawLines/LineCount and parses it. On failure the
// pane gets LoadFailureMessage(path) and false comes back.
bool LoadLogFile(Context& ctx, const std::string& path);

// False when LineCount runs past the last slot of ParsedLines.
bool ParseAllLines(modGlobal::State& state);
bool ParseLine(modGlobal::State& state, int index);
std::string StripTags(std::string_view text);
// The same, into *out (its buffer is reused).
void StripTagsInto(std::string_view text, std::string* out);

// Returns false when nothing was loaded, or the loader reported a failure.
bool OpenLog(Context& ctx, std::string path);
void ShowLog(Context& ctx);
std::string ExtractTitle(std::string_view line);

// The last index a walk over a loaded log may read.
int32_t LastLoadedIndex(const modGlobal::State& state);

// False too when the path cannot be examined; *why, when given, says why.
bool IsDirectory(Env& env, const std::string& path, Status* why = nullptr);

}  // namespace chatterwick::modGeneral
