#include "gui/history_pages.h"

#include <memory>
#include <vector>

#include "gui/conversation_header.h"
#include "gui/display_text.h"
#include "gui/reading_view.h"

namespace chatterwick::gui {

namespace {

using Kind = archive::BackgroundReader::Kind;
using Job = archive::BackgroundReader::Job;
using Page = std::vector<archive::MessageRow>;
// A conversation comes a page at a time: the first shows at once.
constexpr int64_t kMessagePage = 2000;

// Reads conversation's pages into view, the first in place of what it
// showed when first is true. False when the job was stopped or failed.
bool ReadPages(const Job& job, ReadingView* view, int64_t conversation, bool first,
               std::shared_ptr<Page> heading, const std::function<void()>& after_each = {}) {
  for (int64_t offset = 0;; offset += kMessagePage) {
    auto page = std::make_shared<Page>();
    if (!job.reader->Messages(conversation, offset, kMessagePage, page.get()).ok()) return false;
    const bool more = static_cast<int64_t>(page->size()) == kMessagePage;
    if (heading && offset == 0) page->insert(page->begin(), heading->begin(), heading->end());
    const bool replace = first && offset == 0;
    job.deliver([view, page, replace, after_each] {
      if (replace) view->Show(*page);
      else view->Append(*page);
      if (after_each) after_each();
    });
    if (job.stop.Requested()) return false;
    if (!more) return true;
  }
}

}  // namespace

void ReadConversation(archive::BackgroundReader& reads, ReadingView* view,
                      ConversationHeader* header, int64_t conversation, int64_t message_id,
                      std::function<void(const archive::ConversationInfo&)> located) {
  reads.Schedule(Kind::kMessages, [view, header, conversation, message_id,
                                   located = std::move(located)](const Job& job) {
    if (!job.reader) return;
    auto info = std::make_shared<archive::ConversationInfo>();
    auto copies = std::make_shared<std::vector<archive::CopyInfo>>();
    if (job.reader->Conversation(conversation, info.get()).ok() &&
        job.reader->Copies(conversation, copies.get()).ok())
      job.deliver([header, info, copies, located] {
        header->Show(*info, *copies);
        if (located) located(*info);
      });
    // A hit: its message chosen and in the middle of the view, once its page is there.
    auto found = std::make_shared<bool>(message_id == 0);
    ReadPages(job, view, conversation, true, nullptr, [view, found, message_id] {
      if (!*found) *found = view->ShowMessage(message_id);
    });
  });
}

void ReadHistory(archive::BackgroundReader& reads, ReadingView* view, ConversationHeader* header,
                 const archive::NodeRef& person, const QString& person_name,
                 std::map<int64_t, QString> labels) {
  reads.Schedule(Kind::kMessages, [view, header, person, person_name,
                                   labels = std::move(labels)](const Job& job) {
    std::vector<archive::ConversationRow> conversations;
    if (!job.reader || !job.reader->Conversations(person, &conversations).ok()) return;
    job.deliver(
        [header, person_name, n = conversations.size()] { header->ShowHistory(person_name, n); });
    if (conversations.empty()) job.deliver([view] { view->Show({}); });
    int64_t contact = 0;
    for (size_t i = 0; i < conversations.size(); ++i) {
      std::shared_ptr<Page> heading;
      if (conversations[i].contact_id != contact) {
        contact = conversations[i].contact_id;
        const auto label = labels.find(contact);
        archive::MessageRow line;
        line.kind = "status";
        line.body =
            "\u2014 " + EncodeTyped(label == labels.end() ? QString() : label->second) + " \u2014";
        heading = std::make_shared<Page>(Page{line});
      }
      if (!ReadPages(job, view, conversations[i].id, i == 0, heading)) return;
    }
  });
}

}  // namespace chatterwick::gui
