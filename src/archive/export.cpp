#include "archive/export.h"

#include <memory>

#include "archive/export_selection.h"
#include "core/messages.h"
#include "core/safe_file.h"

namespace chatterwick::archive {

ArchiveExportResult ExportArchiveToFile(Env& env, const std::string& db_path,
                                        const std::string& path,
                                        const ArchiveExportOptions& options, RunObserver* observer,
                                        StopFlag stop,
                                        const std::function<bool(std::string_view)>& out) {
  ArchiveExportResult result;
  std::unique_ptr<ArchiveReader> reader;
  Selection selection;
  Status& s = result.status;
  s = OpenSelection(db_path, options, &reader, &selection, stop);
  if (!s.ok()) return result;
  result.summary.passed_over = selection.outside;
  // Written as any save is: a link followed, a pipe or a device in place.
  SavingFile file(env, FileAccess::kOwnerOnly);
  auto failed = [&path](const Status& why) {
    return Status::IOError(WriteFailureMessage(path, why));
  };
  if (!out) s = file.Open(path);
  if (!s.ok()) s = failed(s);
  const std::function<Status(std::string_view)> sink = [&](std::string_view text) {
    if (out)
      return out(text) ? Status::OK() : Status::IOError("could not write to standard output");
    Status written = file.Append(text);
    return written.ok() ? written : failed(written);
  };
  std::unique_ptr<ExportWriter> writer = MakeExportWriter(options.format, options.spreadsheet_safe);
  std::vector<MessageRow> page;
  if (observer) observer->OnTotal(static_cast<int64_t>(selection.conversations.size()), 0);
  if (s.ok()) s = sink(writer->BeginFile(nullptr));
  for (size_t i = 0; s.ok() && i < selection.conversations.size(); ++i) {
    if (stop.Requested()) {
      result.stopped = true;
      return result;  // the file stays as it was
    }
    ConversationInfo c;
    int64_t count = 0;
    s = reader->Conversation(selection.conversations[i], &c);
    if (s.ok()) s = WriteConversation(*reader, *writer, c, selection, &count, sink, page);
    ++result.summary.conversations;
    result.summary.messages += count;
    if (observer) observer->OnLogDone(0, count);
  }
  if (s.ok()) s = sink(writer->EndFile());
  if (s.ok() && !out) {
    s = file.Commit();
    if (!s.ok()) s = failed(s);
  }
  if (s.ok()) result.summary.written = 1;
  return result;
}

}  // namespace chatterwick::archive
