#include "gui/conversation_export.h"

#include <QStringList>
#include <QUrl>

#include "archive/export.h"
#include "archive/export_format.h"
#include "gui/dialogs.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

const QStringList kFormats = {"html", "txt", "json", "jsonl", "csv"};
const QString kWhole = QStringLiteral("Whole conversations");
const QString kMatching = QStringLiteral("Only the matching messages");

}  // namespace

ConversationExport::ConversationExport(QWidget* window, Env& env, const std::string& db_path,
                                       JobThread& jobs, std::function<void(const QString&)> say)
    : window_(window), env_(env), db_path_(db_path), jobs_(jobs), say_(std::move(say)) {}

void ConversationExport::Ask(const std::vector<int64_t>& conversations, const QString& none_chosen,
                             const archive::SearchOptions* search) {
  Dialogs& dialogs = Dialogs::Current();
  if (conversations.empty())
    return dialogs.Tell(window_, Dialogs::Icon::kInformation, QStringLiteral("Export"),
                        none_chosen);
  if (search) {
    const QString what = dialogs.ChooseItem(window_, QStringLiteral("Export"),
                                            QStringLiteral("Export:"), {kWhole, kMatching});
    if (what.isEmpty()) return;
    if (what == kWhole) search = nullptr;
  }
  const QString format =
      dialogs.ChooseItem(window_, QStringLiteral("Export"), QStringLiteral("Format:"), kFormats);
  if (format.isEmpty()) return;
  const QString folder = dialogs.ChoosePath(window_, Dialogs::Choose::kFolder, QString());
  if (!folder.isEmpty()) Run(conversations, format, folder, search);
}

void ConversationExport::Run(const std::vector<int64_t>& conversations, const QString& format,
                             const QString& folder, const archive::SearchOptions* matching) {
  archive::ArchiveExportOptions options;
  options.format = *archive::ExportFormatNamed(EncodeTyped(format));
  options.conversations = conversations;
  if (matching) {
    options.selection = *matching;
    // Every hit, not the window's page of them, and no marks in the text.
    options.selection.limit = 0;
    options.selection.mark_start.clear();
    options.selection.mark_end.clear();
    options.only_matching = true;
  }
  const std::string dir = EncodeTyped(folder.endsWith('/') ? folder : folder + '/'), db = db_path_;
  say_(QStringLiteral("Exporting\u2026"));
  jobs_.Start([this, options, dir, db]() -> std::function<void()> {
    const archive::ArchiveExportResult r =
        archive::ExportArchiveToFolder(env_, db, dir, options, nullptr, jobs_.stop());
    return [this, r, dir] {
      if (!r.status.ok())
        return say_(
            QStringLiteral("The export failed: %1").arg(DecodeForDisplay(r.status.message())));
      const QString where = DecodeForDisplay(dir);
      QString said = QStringLiteral("%1 files written to %2 <a href=\"%3\">Open folder</a>")
                         .arg(r.summary.written)
                         .arg(where.toHtmlEscaped(), QUrl::fromLocalFile(where).toString());
      if (r.summary.not_written > 0)
        said += QStringLiteral("; %1 could not be written").arg(r.summary.not_written);
      say_(said);
    };
  });
}

}  // namespace chatterwick::gui
