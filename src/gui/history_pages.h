#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <map>

#include "archive/background_reader.h"
#include "archive/reader.h"

// What the reading view reads: one conversation, or a person's whole
// history, a page at a time on the background reader, each page shown as
// it comes, so that the first screen is there at once.
namespace chatterwick::gui {

class ConversationHeader;
class ReadingView;

// The conversation, with message_id (when not 0) chosen once its page is
// in, and its header; located is told whose it is, on the caller's thread.
void ReadConversation(archive::BackgroundReader& reads, ReadingView* view,
                      ConversationHeader* header, int64_t conversation, int64_t message_id,
                      std::function<void(const archive::ConversationInfo&)> located = {});

// Every conversation below person, oldest first, as one stream, with a line
// naming the handle (as labels has it, by contact) wherever it changes;
// the header names who (person_name).
void ReadHistory(archive::BackgroundReader& reads, ReadingView* view, ConversationHeader* header,
                 const archive::NodeRef& person, const QString& person_name,
                 std::map<int64_t, QString> labels);

}  // namespace chatterwick::gui
