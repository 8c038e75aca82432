#include "archive/export_selection.h"

#include <algorithm>
#include <set>
#include <utility>

namespace chatterwick::archive {

namespace {

bool Filtered(const SearchOptions& s) {
  return !s.query.empty() || !s.protocol.empty() || !s.account.empty() || !s.contact.empty() ||
         !s.sender.empty() || !s.person.empty() || !s.from.empty() || !s.to.empty();
}

Status Select(ArchiveReader& reader, const ArchiveExportOptions& options, Selection* selection) {
  std::vector<std::pair<int64_t, int64_t>> all;  // conversation, contact
  Status s = reader.ConversationIds(&all);
  if (s.ok()) selection->outside = reader.MessagesOutside(all);
  if (s.ok() && !options.conversations.empty()) {
    const std::set<int64_t> wanted(options.conversations.begin(), options.conversations.end());
    std::erase_if(all, [&](const auto& c) { return !wanted.count(c.first); });
  }
  if (!s.ok() || !Filtered(options.selection)) {
    for (const auto& [id, contact] : all) {
      selection->conversations.push_back(id);
      selection->contacts.push_back(contact);
    }
    return s;
  }
  SearchOptions search = options.selection;
  search.mark_start.clear();
  search.mark_end.clear();
  std::set<int64_t> chosen;
  selection->every_message = !options.only_matching;
  s = reader.Search(search, 0, [&](const SearchHit& hit) {
    chosen.insert(hit.conversation_id);
    if (options.only_matching) selection->messages.push_back(hit.message_id);
    return true;
  });
  std::sort(selection->messages.begin(), selection->messages.end());
  for (const auto& [id, contact] : all)
    if (chosen.count(id)) {
      selection->conversations.push_back(id);
      selection->contacts.push_back(contact);
    }
  return s;
}

}  // namespace

Status OpenSelection(const std::string& db_path, const ArchiveExportOptions& options,
                     std::unique_ptr<ArchiveReader>* reader, Selection* selection, StopFlag stop) {
  Status s = ArchiveReader::Open(db_path, reader, stop);
  // The database is locked once, not per query.
  if (s.ok()) s = (*reader)->HoldSnapshot();
  if (s.ok()) s = (*reader)->CountAllMessages();
  return s.ok() ? Select(**reader, options, selection) : s;
}

Status WriteConversation(ArchiveReader& reader, ExportWriter& writer, const ConversationInfo& c,
                         const Selection& selection, int64_t* count,
                         const std::function<Status(std::string_view)>& sink,
                         std::vector<MessageRow>& page) {
  Status s = sink(writer.BeginConversation(c));
  constexpr int64_t kPage = 2000;
  for (int64_t offset = 0; s.ok(); offset += kPage) {
    s = reader.Messages(c.id, offset, kPage, &page);
    if (!s.ok() || page.empty()) break;
    std::string text;
    for (const MessageRow& m : page) {
      if (!selection.every_message &&
          !std::binary_search(selection.messages.begin(), selection.messages.end(), m.id))
        continue;
      text += writer.Message(c, m);
      ++*count;
    }
    s = sink(text);
  }
  if (s.ok()) s = sink(writer.EndConversation(c));
  return s;
}

}  // namespace chatterwick::archive
