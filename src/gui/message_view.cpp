#include "gui/message_view.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>

#include "archive/export_format.h"
#include "archive/sender_colours.h"
#include "core/text.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

constexpr int kMargin = 4;
constexpr int kTimeWidthChars = 9;
// Marked words, as a highlighter marks paper: readable in either scheme.
constexpr QRgb kMarkColour = 0xffd600;

bool IsDark(const QPalette& palette) { return palette.color(QPalette::Base).lightness() < 128; }

}  // namespace

void MessageModel::SetMessages(const std::vector<archive::MessageRow>& messages) {
  beginResetModel();
  day_.clear();
  colours_.clear();
  rows_ = RowsOf(messages);
  endResetModel();
}

void MessageModel::AppendMessages(const std::vector<archive::MessageRow>& messages) {
  std::vector<Row> added = RowsOf(messages);
  if (added.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
  rows_.insert(rows_.end(), std::make_move_iterator(added.begin()),
               std::make_move_iterator(added.end()));
  endInsertRows();
}

std::vector<MessageModel::Row> MessageModel::RowsOf(
    const std::vector<archive::MessageRow>& messages) {
  std::vector<Row> rows;
  rows.reserve(messages.size() + messages.size() / 50 + 1);
  for (const archive::MessageRow& m : messages) {
    if (m.sent_at.size() >= 10 && m.sent_at.compare(0, 10, day_) != 0) {
      day_ = m.sent_at.substr(0, 10);
      rows.push_back({QStringLiteral("day"), {}, {}, QString::fromStdString(day_), 0});
    }
    const std::string when = archive::ReadableTime(m);
    QString sender = DecodeForDisplay(m.sender);
    const int colour =
        sender.isEmpty()
            ? 0
            : colours_.try_emplace(sender, static_cast<int>(colours_.size())).first->second;
    rows.push_back({QString::fromStdString(m.kind),
                    DecodeForDisplay(m.sent_at.empty() ? when : when.substr(11)), std::move(sender),
                    DecodeForDisplay(text::TrimBlanks(m.body)), m.id, colour});
  }
  return rows;
}

int MessageModel::RowOf(int64_t message_id) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].message_id == message_id) return static_cast<int>(i);
  return -1;
}

int MessageModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant MessageModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const Row& r = rows_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      // What a copy takes: one line a message, as the text export writes it.
      if (r.kind == "day") return r.body;
      if (r.kind == "action") return r.time + "  * " + r.sender + " " + r.body;
      if (r.kind == "chat") return r.time + "  " + r.sender + ": " + r.body;
      return r.time + "  " + r.body;
    case kKindRole:
      return r.kind;
    case kSenderRole:
      return r.sender;
    case kTimeRole:
      return r.time;
    case kBodyRole:
      return r.body;
    case kMessageIdRole:
      return QVariant::fromValue<qlonglong>(r.message_id);
    case kColourRole:
      return r.colour;
  }
  return {};
}

QList<std::pair<int, int>> Occurrences(const QString& text, const QStringList& words) {
  QList<std::pair<int, int>> found;
  for (const QString& word : words)
    for (qsizetype at = word.isEmpty() ? -1 : text.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(word, at + word.size(), Qt::CaseInsensitive))
      found.append({static_cast<int>(at), static_cast<int>(word.size())});
  return found;
}

namespace {

// The text as rich text with words marked, its blanks and line breaks kept.
QString MarkedHtml(const QString& text, const QStringList& marks) {
  QList<std::pair<int, int>> found = Occurrences(text, marks);
  std::sort(found.begin(), found.end());
  QString html = QStringLiteral("<span style=\"white-space: pre-wrap\">");
  int done = 0;
  for (const auto& [start, length] : found) {
    if (start < done) continue;
    html += text.mid(done, start - done).toHtmlEscaped() +
            QStringLiteral("<span style=\"background-color: %1; color: black\">")
                .arg(QColor(kMarkColour).name()) +
            text.mid(start, length).toHtmlEscaped() + QStringLiteral("</span>");
    done = start + length;
  }
  return html + text.mid(done).toHtmlEscaped() + QStringLiteral("</span>");
}

}  // namespace

QWidget* MessageDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
  if (index.data(MessageModel::kKindRole).toString() == "day") return nullptr;
  auto* label = new QLabel(parent);
  label->setObjectName("lblMessageText");
  if (marks_.isEmpty()) {
    label->setTextFormat(Qt::PlainText);
    label->setText(Line(index));
  } else {
    label->setTextFormat(Qt::RichText);
    label->setText(MarkedHtml(Line(index), marks_));
  }
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  label->setFont(option.font);
  // In the colours of the chosen row it lies on.
  label->setAutoFillBackground(true);
  label->setBackgroundRole(QPalette::Highlight);
  label->setForegroundRole(QPalette::HighlightedText);
  label->setContentsMargins(0, 0, 0, 0);
  label->setIndent(0);
  return label;
}

void MessageDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex&) const {
  const int time_width = QFontMetrics(option.font).averageCharWidth() * kTimeWidthChars;
  editor->setGeometry(
      option.rect.adjusted(kMargin + time_width + kMargin, kMargin, -kMargin, -kMargin));
}

QString MessageDelegate::Line(const QModelIndex& index) {
  const QString kind = index.data(MessageModel::kKindRole).toString();
  const QString sender = index.data(MessageModel::kSenderRole).toString();
  QString body = index.data(MessageModel::kBodyRole).toString();
  // A message's own line breaks, as a text layout breaks a line.
  body.replace(QChar('\n'), QChar(QChar::LineSeparator));
  if (kind == "chat") return sender + ": " + body;
  if (kind == "action") return "* " + sender + " " + body;
  return body;
}

namespace {

// Lays out a message's line in width: the sender bold in its colour, the
// rest wrapped after it; returns the height it takes.
qreal LayOut(QTextLayout& layout, const QModelIndex& index, const QFont& font, int width,
             const QColor& sender_colour, const QStringList& marks = {}) {
  const QString kind = index.data(MessageModel::kKindRole).toString();
  const QString sender = index.data(MessageModel::kSenderRole).toString();
  QFont shown = font;
  shown.setItalic(kind == "action");
  layout.setFont(shown);
  QList<QTextLayout::FormatRange> formats;
  if (kind == "chat" || kind == "action") {
    QTextCharFormat who;
    who.setFontWeight(QFont::Bold);
    who.setForeground(sender_colour);
    formats.append({kind == "chat" ? 0 : 2, static_cast<int>(sender.size()), who});
  }
  QTextCharFormat marked;
  marked.setBackground(QColor(kMarkColour));
  marked.setForeground(Qt::black);
  for (const auto& [start, length] : Occurrences(layout.text(), marks))
    formats.append({start, length, marked});
  layout.setFormats(formats);
  QTextOption wrap;
  wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  wrap.setTextDirection(Qt::LayoutDirectionAuto);
  layout.setTextOption(wrap);
  qreal height = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    line.setPosition(QPointF(0, height));
    height += line.height();
  }
  layout.endLayout();
  return height;
}

}  // namespace

QSize MessageDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  const QFontMetrics fm(option.font);
  const int row_width = option.rect.width() > 0 ? option.rect.width() : 600;
  if (index.data(MessageModel::kKindRole).toString() == "day") return {row_width, fm.height() * 2};
  const int time_width = fm.averageCharWidth() * kTimeWidthChars;
  QTextLayout layout(Line(index));
  const qreal height = LayOut(layout, index, option.font,
                              std::max(50, row_width - time_width - 3 * kMargin), Qt::black);
  return {row_width, static_cast<int>(height) + 2 * kMargin};
}

void MessageDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  painter->save();
  const QPalette& palette = option.palette;
  const bool selected = option.state & QStyle::State_Selected;
  if (selected) painter->fillRect(option.rect, palette.highlight());
  const QColor text_colour = selected ? palette.highlightedText().color() : palette.text().color();
  const QColor muted = selected ? text_colour : palette.color(QPalette::PlaceholderText);
  const QFontMetrics fm(option.font);
  const QString kind = index.data(MessageModel::kKindRole).toString();
  if (kind == "day") {
    QFont bold = option.font;
    bold.setBold(true);
    painter->setFont(bold);
    painter->setPen(muted);
    painter->drawText(option.rect, Qt::AlignCenter, index.data(MessageModel::kBodyRole).toString());
    painter->drawLine(option.rect.left() + kMargin, option.rect.bottom(),
                      option.rect.right() - kMargin, option.rect.bottom());
    painter->restore();
    return;
  }
  const int time_width = fm.averageCharWidth() * kTimeWidthChars;
  const QRect r = option.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
  painter->setPen(muted);
  painter->drawText(QRect(r.left(), r.top(), time_width, fm.height()), Qt::AlignLeft,
                    index.data(MessageModel::kTimeRole).toString());
  QTextLayout layout(Line(index));
  LayOut(layout, index, option.font, std::max(50, r.width() - time_width - kMargin),
         selected ? text_colour
                  : QColor(QString::fromStdString(archive::SenderColourOf(
                        index.data(MessageModel::kColourRole).toUInt(), IsDark(palette)))),
         marks_);
  painter->setPen(kind == "chat" || kind == "action" ? text_colour : muted);
  layout.draw(painter, QPointF(r.left() + time_width + kMargin, r.top()));
  painter->restore();
}

namespace {

// The marked text without its marks, and the ranges they marked.
QString Unmarked(const QString& marked, QList<QTextLayout::FormatRange>* ranges,
                 const QTextCharFormat& format) {
  QString plain;
  int start = -1;
  for (QChar ch : marked) {
    if (ch == QChar(2)) {
      start = static_cast<int>(plain.size());
    } else if (ch == QChar(3)) {
      if (start >= 0) ranges->append({start, static_cast<int>(plain.size()) - start, format});
      start = -1;
    } else {
      plain += ch;
    }
  }
  return plain;
}

}  // namespace

QSize HitDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  const QFontMetrics fm(option.font);
  return {option.rect.width(), 2 * fm.height() + 2 * kMargin};
}

void HitDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
  painter->save();
  const QPalette& palette = option.palette;
  const bool selected = option.state & QStyle::State_Selected;
  if (selected) painter->fillRect(option.rect, palette.highlight());
  const QColor text = selected ? palette.highlightedText().color() : palette.text().color();
  const QFontMetrics fm(option.font);
  const QRect r = option.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
  painter->setPen(selected ? text : palette.color(QPalette::PlaceholderText));
  painter->drawText(QRect(r.left(), r.top(), r.width(), fm.height()), Qt::AlignLeft,
                    fm.elidedText(index.data(kPlaceRole).toString(), Qt::ElideRight, r.width()));
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  bold.setForeground(selected ? text : palette.color(QPalette::Link));
  QList<QTextLayout::FormatRange> ranges;
  const QString line = Unmarked(index.data(kMarkedRole).toString(), &ranges, bold);
  QTextLayout layout(fm.elidedText(line, Qt::ElideRight, r.width() * 2));
  layout.setFont(option.font);
  layout.setFormats(ranges);
  layout.beginLayout();
  QTextLine text_line = layout.createLine();
  if (text_line.isValid()) text_line.setLineWidth(r.width());
  layout.endLayout();
  painter->setPen(text);
  layout.draw(painter, QPointF(r.left(), r.top() + fm.height()));
  painter->restore();
}

QString FirstLink(const QString& text) {
  static const QRegularExpression kLink(QStringLiteral(R"((?:https?://|mailto:)[^\s<>"]+)"));
  const QRegularExpressionMatch m = kLink.match(text);
  if (!m.hasMatch()) return {};
  QString link = m.captured();
  while (!link.isEmpty() && QStringLiteral(".,;:!?)'").contains(link.back())) link.chop(1);
  return link;
}

}  // namespace chatterwick::gui
