#include "gui/source_questions.h"

#include <string>
#include <vector>

#include "archive/source_report.h"
#include "gui/dialogs.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

using Kind = archive::BackgroundReader::Kind;
using Job = archive::BackgroundReader::Job;

void Tell(QWidget* window, const QString& title, const QString& text) {
  Dialogs::Current().Tell(window, Dialogs::Icon::kInformation, title, text);
}

}  // namespace

void TellSources(QWidget* window, Env& env, archive::BackgroundReader& reads) {
  reads.Schedule(Kind::kOther, [window, &env](const Job& job) {
    std::vector<archive::SourceInfo> sources;
    const Status s = job.reader ? job.reader->Sources(&sources) : job.opened;
    const std::string text = s.ok()
                                 ? archive::SourcesReport(env, sources)
                                 : "The archive's sources could not be read: " + s.message() + "\n";
    job.deliver(
        [window, text] { Tell(window, QStringLiteral("Sources"), DecodeForDisplay(text)); });
  });
}

void AskToRemoveGone(QWidget* window, archive::BackgroundReader& reads,
                     std::function<void()> remove) {
  reads.Schedule(Kind::kOther, [window, remove = std::move(remove)](const Job& job) {
    int64_t gone = 0;
    if (job.reader && !job.reader->GoneConversations(&gone).ok()) gone = 0;
    job.deliver([window, remove, gone] {
      if (gone == 0)
        return Tell(window, QStringLiteral("Remove"),
                    QStringLiteral("No conversation is gone from every source that held it."));
      const bool agreed = Dialogs::Current().Confirm(
          window, QStringLiteral("Remove"),
          QStringLiteral("%L1 conversations are gone from every source that held them. Every "
                         "source is read first; then they and their messages leave the archive.")
              .arg(gone),
          QStringLiteral("Remove %L1").arg(gone));
      if (agreed) remove();
    });
  });
}

}  // namespace chatterwick::gui
