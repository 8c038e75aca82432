#pragma once

#include <QAbstractListModel>
#include <QStyledItemDelegate>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/reader.h"

namespace chatterwick::gui {

// A conversation's messages as rows, with a row for each new day before its
// first message. Rows are drawn as they come into view; nothing is laid out
// as one document.
class MessageModel : public QAbstractListModel {
 public:
  enum Role {
    kKindRole = Qt::UserRole + 1,
    kSenderRole,
    kTimeRole,
    kBodyRole,
    kMessageIdRole,
    kColourRole  // which of the sender colours: senders in the order they first speak
  };

  void SetMessages(const std::vector<archive::MessageRow>& messages);
  // The next messages of the same conversation, after those there.
  void AppendMessages(const std::vector<archive::MessageRow>& messages);
  // The row of the message with this id, or -1.
  int RowOf(int64_t message_id) const;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  struct Row {
    QString kind;  // "day", or the message's kind
    QString time, sender, body;
    int64_t message_id = 0;
    int colour = 0;
  };
  // The rows of messages that follow those there: a day's row before its first.
  std::vector<Row> RowsOf(const std::vector<archive::MessageRow>& messages);
  std::vector<Row> rows_;
  std::string day_;                           // of the last message with a date
  std::unordered_map<QString, int> colours_;  // by sender
};

// Draws a row: the time muted, the sender in a colour of its own, the text
// wrapped; actions in italics, status lines muted, days as headings.
class MessageDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Over the text of the message a view opens it for: the same text, read
  // only, whose characters the mouse and the keyboard select and copy.
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget*, const QModelIndex&) const override {}
  void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;

  // The row's text after the time: the sender and the message's text.
  static QString Line(const QModelIndex& index);
  // Words drawn marked wherever they stand, letter case ignored.
  void SetMarks(QStringList words) { marks_ = std::move(words); }

 private:
  QStringList marks_;
};

// Where each of words stands in text, letter case ignored: start and length.
QList<std::pair<int, int>> Occurrences(const QString& text, const QStringList& words);

// Draws a search hit: where and when, muted, over its text with the matched
// words in bold. The text's matches are marked with U+0002 and U+0003.
class HitDelegate : public QStyledItemDelegate {
 public:
  enum Role { kPlaceRole = Qt::UserRole + 10, kMarkedRole };
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The first http, https or mailto address in text, or nothing.
QString FirstLink(const QString& text);

}  // namespace chatterwick::gui
