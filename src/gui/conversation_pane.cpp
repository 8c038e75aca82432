#include "gui/conversation_pane.h"

#include <QVBoxLayout>

#include "gui/conversation_header.h"
#include "gui/find_bar.h"
#include "gui/reading_view.h"

namespace chatterwick::gui {

ConversationPane::ConversationPane(QWidget* parent)
    : QWidget(parent), header_(new ConversationHeader(this)), reading_(new ReadingView(this)) {
  Findable messages;
  messages.pane = reading_;
  // What is being found is marked as it is typed, in place of a hit's words.
  messages.count = [this](const QString& what) {
    reading_->Mark(what.isEmpty() ? QStringList() : QStringList{what});
    return what.isEmpty() ? 0 : reading_->CountMatches(what);
  };
  messages.move = [this](const QString& what, bool backwards) {
    reading_->MoveToMatch(what, backwards);
  };
  messages.closed = [this] { reading_->Mark({}); };
  find_ = new FindBar(messages, QStringLiteral("Find in the conversation"), this);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(header_);
  column->addWidget(reading_);
  column->addWidget(find_);
}

void ConversationPane::OpenFind() { find_->Open(); }

}  // namespace chatterwick::gui
