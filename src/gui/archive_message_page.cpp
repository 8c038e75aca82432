#include "gui/archive_message_page.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace chatterwick::gui {

ArchiveMessagePage::ArchiveMessagePage(const QString& default_folder, QWidget* parent)
    : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  message_ = new QLabel(this);
  message_->setObjectName("lblArchiveMessage");
  message_->setWordWrap(true);
  message_->setAlignment(Qt::AlignCenter);
  default_button_ = new QPushButton(QStringLiteral("Read %1").arg(default_folder), this);
  default_button_->setObjectName("cmdReadDefault");
  default_button_->hide();
  connect(default_button_, &QPushButton::clicked, this, [this] {
    if (on_read_default) on_read_default();
  });
  build_button_ = new QPushButton(QStringLiteral("Choose a log folder\u2026"), this);
  build_button_->setObjectName("cmdBuild");
  connect(build_button_, &QPushButton::clicked, this, [this] {
    if (on_choose) on_choose();
  });
  column->addStretch();
  column->addWidget(message_);
  column->addWidget(default_button_, 0, Qt::AlignCenter);
  column->addWidget(build_button_, 0, Qt::AlignCenter);
  column->addStretch();
}

void ArchiveMessagePage::Show(const QString& text, bool offer_build, bool offer_default) {
  message_->setText(text);
  build_button_->setVisible(offer_build);
  default_button_->setVisible(offer_default);
}

QString ArchiveMessagePage::text() const { return message_->text(); }

void ArchiveMessagePage::SetButtonsEnabled(bool enabled) {
  default_button_->setEnabled(enabled);
  build_button_->setEnabled(enabled);
}

}  // namespace chatterwick::gui
