#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/export.h"
#include "archive/export_format.h"
#include "archive/reader.h"
#include "core/status.h"
#include "core/stop_flag.h"

// What an export takes from the archive, whatever it writes to: the
// conversations and messages selected, and a conversation's text.
namespace chatterwick::archive {

// What is selected: the conversations, by start, and (for only_matching) the
// messages, their ids sorted.
struct Selection {
  std::vector<int64_t> conversations;
  std::vector<int64_t> contacts;  // of each conversation
  std::vector<int64_t> messages;
  bool every_message = true;
  // Messages a damaged archive holds outside any whole conversation: passed over.
  int64_t outside = 0;
};

// Opens the archive and finds what options select in it, in one read of the
// whole archive: every file agrees with every other even while a run
// updates it.
Status OpenSelection(const std::string& db_path, const ArchiveExportOptions& options,
                     std::unique_ptr<ArchiveReader>* reader, Selection* selection, StopFlag stop);

// Streams one conversation through writer into sink; *count gets the
// messages written. page is scratch space, kept from one conversation to the
// next with its rows' buffers.
Status WriteConversation(ArchiveReader& reader, ExportWriter& writer, const ConversationInfo& c,
                         const Selection& selection, int64_t* count,
                         const std::function<Status(std::string_view)>& sink,
                         std::vector<MessageRow>& page);

}  // namespace chatterwick::archive
