#include "gui/conversation_header.h"

#include "archive/export_format.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

QString Stamp(const std::string& stamp) {
  return DecodeForDisplay(archive::ReadableStamp(stamp).substr(0, 16));
}

// "2021-06-04 12:25 – 15:55", the second date only when it differs.
QString Span(const archive::ConversationInfo& c) {
  if (c.first_sent_at.empty())
    return c.started_at.empty() ? QStringLiteral("time unknown")
                                : QStringLiteral("started %1").arg(Stamp(c.started_at));
  const QString first = Stamp(c.first_sent_at), last = Stamp(c.last_sent_at);
  return first + QStringLiteral(" \u2013 ") +
         (last.left(10) == first.left(10) ? last.mid(11) : last);
}

}  // namespace

QString HeaderText(const archive::ConversationInfo& c,
                   const std::vector<archive::CopyInfo>& copies) {
  QStringList held;
  for (const archive::CopyInfo& copy : copies)
    if (copy.present && !held.contains(DecodeForDisplay(copy.source_name)))
      held << DecodeForDisplay(copy.source_name);
  QString details = DecodeForDisplay(c.protocol + " \u00b7 " + c.account) +
                    QStringLiteral(" \u00b7 ") + Span(c) + QStringLiteral(" \u00b7 ") +
                    (c.messages == 1 ? QStringLiteral("1 message")
                                     : QStringLiteral("%L1 messages").arg(c.messages));
  if (!held.isEmpty()) details += QStringLiteral(" \u00b7 held by ") + held.join(", ");
  else if (!copies.empty()) details += QStringLiteral(" \u00b7 log gone from every source");
  return DecodeForDisplay(archive::WithWhom(c)) + "\n" + details;
}

ConversationHeader::ConversationHeader(QWidget* parent) : QLabel(parent) {
  setObjectName("lblConversationHeader");
  setTextFormat(Qt::RichText);
  setTextInteractionFlags(Qt::TextSelectableByMouse);
  setWordWrap(true);
  setContentsMargins(4, 2, 4, 2);
}

void ConversationHeader::Show(const archive::ConversationInfo& c,
                              const std::vector<archive::CopyInfo>& copies) {
  ShowLines(HeaderText(c, copies));
}

void ConversationHeader::ShowHistory(const QString& who, size_t conversations) {
  ShowLines(QStringLiteral("%1\nWhole history: %L2 conversations, oldest first")
                .arg(who)
                .arg(static_cast<qulonglong>(conversations)));
}

void ConversationHeader::ShowLines(const QString& text) {
  plain_ = text;
  const qsizetype end = text.indexOf('\n');
  // Who, in bold; the rest below. Every text from a log is escaped.
  setText("<b>" + text.left(end).toHtmlEscaped() + "</b><br>" + text.mid(end + 1).toHtmlEscaped());
}

}  // namespace chatterwick::gui
