#pragma once

#include <QLabel>
#include <vector>

#include "archive/reader.h"

namespace chatterwick::gui {

// Above the reading view: whose conversation it is (the person, with the
// handle beside it), the protocol and account, its time span, its
// messages and the sources that hold its log.
class ConversationHeader : public QLabel {
 public:
  explicit ConversationHeader(QWidget* parent = nullptr);

  void Show(const archive::ConversationInfo& c, const std::vector<archive::CopyInfo>& copies);
  // A person's whole history: who, and how many conversations.
  void ShowHistory(const QString& who, size_t conversations);
  void Clear() {
    plain_.clear();
    setText(QString());
  }
  // What it says, as plain text: who, then the rest on a line of its own.
  const QString& plain() const { return plain_; }

 private:
  void ShowLines(const QString& text);
  QString plain_;
};

// The header's text: who on the first line, the rest on the second.
QString HeaderText(const archive::ConversationInfo& c,
                   const std::vector<archive::CopyInfo>& copies);

}  // namespace chatterwick::gui
