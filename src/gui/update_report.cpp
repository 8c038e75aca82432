#include "gui/update_report.h"

#include "core/time_left.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

void UpdateProgress::OnTotal(int64_t logs, uint64_t bytes) {
  total_logs_ = logs;
  total_bytes_ = bytes;
  start_ = Clock::now();
  Tell();
}

void UpdateProgress::OnLogDone(uint64_t bytes, int64_t) {
  done_bytes_ += bytes;
  ++done_;
  // At most ten a second: the window need not hear of every log.
  if (Clock::now() - shown_ >= std::chrono::milliseconds(100) || done_ == total_logs_) Tell();
}

void UpdateProgress::Tell() {
  shown_ = Clock::now();
  const double share =
      total_bytes_ ? static_cast<double>(done_bytes_) / static_cast<double>(total_bytes_) : 0.0;
  const double seconds = std::chrono::duration<double>(shown_ - start_).count();
  QString text = QStringLiteral("%1 of %2 logs").arg(done_).arg(total_logs_);
  if (const std::optional<double> left = SecondsLeft(share, seconds))
    text += QStringLiteral(", about %1 s left").arg(qRound(*left));
  show_(static_cast<int>(share * 1000), text);
}

QString UpdateSummary(const archive::ArchiveResult& r, const std::vector<std::string>& problems,
                      const std::string& db_path) {
  const archive::ArchiveSummary& m = r.summary;
  QString text;
  switch (r.outcome) {
    case archive::ArchiveOutcome::kDone:
    case archive::ArchiveOutcome::kStopped:
      text = QStringLiteral(
                 "%1Logs found: %2 (new: %3, changed: %4, unchanged: %5, could not be "
                 "read: %6)\nSources read: %7, could not be reached: %8\nMessages added: "
                 "%9\nMessages in the archive: %10")
                 .arg(r.outcome == archive::ArchiveOutcome::kStopped
                          ? QStringLiteral("Stopped: the logs read so far are kept.\n")
                          : QString())
                 .arg(m.logs_found)
                 .arg(m.new_logs)
                 .arg(m.changed_logs)
                 .arg(m.unchanged_logs)
                 .arg(m.unreadable_logs)
                 .arg(m.sources_read)
                 .arg(m.unreachable_sources)
                 .arg(m.messages_added)
                 .arg(m.messages_total);
      if (m.differing_copies > 0)
        text += QStringLiteral("\nCopies that differ (the messages of both kept): %1")
                    .arg(m.differing_copies);
      if (m.gone_logs > 0)
        text +=
            QStringLiteral("\nConversations gone from every source (kept): %1").arg(m.gone_logs);
      if (m.pruned_logs > 0)
        text += QStringLiteral("\nConversations removed: %1").arg(m.pruned_logs);
      break;
    case archive::ArchiveOutcome::kDatabaseError:
      text = DecodeForDisplay("The archive " + db_path + " could not be used: " + r.why.message());
      break;
    default:
      text = DecodeForDisplay(r.why.message());
  }
  for (const std::string& p : problems) text += "\n" + DecodeForDisplay(p);
  return text;
}

}  // namespace chatterwick::gui
