#include "gui/search_pane.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "archive/export_format.h"
#include "archive/query.h"
#include "core/text.h"
#include "gui/display_text.h"
#include "gui/message_view.h"

namespace chatterwick::gui {

namespace {

QString ShortStamp(const std::string& stamp) {
  return DecodeForDisplay(archive::ReadableStamp(stamp).substr(0, 16));
}

// A date box that waits behind a check box until it is ticked.
QDateEdit* AddDateRow(QFormLayout* filters, QWidget* page, QCheckBox** on, const char* name,
                      const QString& label) {
  auto* row = new QHBoxLayout;
  *on = new QCheckBox(label, page);
  auto* date = new QDateEdit(QDate::currentDate(), page);
  date->setObjectName(name);
  date->setCalendarPopup(true);
  date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  date->setMinimumDate(QDate(1000, 1, 1));
  date->setMaximumDate(QDate(9999, 12, 31));
  date->setEnabled(false);
  QObject::connect(*on, &QCheckBox::toggled, date, &QWidget::setEnabled);
  row->addWidget(*on);
  row->addWidget(date);
  row->addStretch();
  filters->addRow(row);
  return date;
}

}  // namespace

SearchPane::SearchPane(QWidget* parent)
    : QWidget(parent), query_(new QLineEdit(this)), pause_(new QTimer(this)) {
  auto* column = new QVBoxLayout(this);
  query_->setObjectName("txtQuery");
  query_->setPlaceholderText(QStringLiteral("Search: words, \"a phrase\", OR, -word, prefix*"));
  query_->setClearButtonEnabled(true);
  column->addWidget(query_);
  auto* filters = new QFormLayout;
  CreateFilters(filters);
  column->addLayout(filters);
  count_ = new QLabel(this);
  count_->setObjectName("lblHits");
  column->addWidget(count_);
  CreateHitList();
  column->addWidget(hits_);
  // A search waits for a pause in typing.
  pause_->setSingleShot(true);
  pause_->setInterval(300);
  connect(pause_, &QTimer::timeout, this, [this] {
    if (on_changed) on_changed();
  });
  for (QLineEdit* e : {query_, contact_, account_, protocol_, sender_})
    connect(e, &QLineEdit::textChanged, pause_, qOverload<>(&QTimer::start));
  for (QCheckBox* c : {from_on_, to_on_, newest_first_})
    connect(c, &QCheckBox::toggled, pause_, qOverload<>(&QTimer::start));
  for (QDateEdit* d : {from_, to_})
    connect(d, &QDateEdit::dateChanged, pause_, qOverload<>(&QTimer::start));
}

void SearchPane::CreateFilters(QFormLayout* filters) {
  auto edit = [&](QLineEdit** e, const char* name, const QString& label) {
    *e = new QLineEdit(this);
    (*e)->setObjectName(name);
    filters->addRow(label, *e);
  };
  edit(&contact_, "txtContact", QStringLiteral("Contact:"));
  edit(&account_, "txtAccount", QStringLiteral("Account:"));
  edit(&protocol_, "txtProtocol", QStringLiteral("Protocol:"));
  edit(&sender_, "txtSender", QStringLiteral("Sender:"));
  from_ = AddDateRow(filters, this, &from_on_, "dteFrom", QStringLiteral("From"));
  to_ = AddDateRow(filters, this, &to_on_, "dteTo", QStringLiteral("To (the whole day)"));
  newest_first_ = new QCheckBox(QStringLiteral("Newest first"), this);
  newest_first_->setObjectName("chkNewestFirst");
  filters->addRow(newest_first_);
}

void SearchPane::SetDays(const std::string& first, const std::string& last) {
  const QDate from = QDate::fromString(QString::fromStdString(first), Qt::ISODate);
  const QDate to = QDate::fromString(QString::fromStdString(last), Qt::ISODate);
  if (!from.isValid() || !to.isValid() || from > to) return;
  // A day ticked already stays, inside the range; the boxes show no search of their own.
  const QSignalBlocker quiet_from(from_), quiet_to(to_);
  for (QDateEdit* d : {from_, to_}) d->setDateRange(from, to);
  if (!from_on_->isChecked()) from_->setDate(from);
  if (!to_on_->isChecked()) to_->setDate(to);
}

void SearchPane::CreateHitList() {
  hits_ = new QListWidget(this);
  hits_->setObjectName("lstHits");
  hits_->setUniformItemSizes(true);
  hits_->setItemDelegate(new HitDelegate(hits_));
  connect(hits_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { OpenHit(hits_->row(item)); });
  connect(hits_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { OpenHit(hits_->row(item)); });
  // The next page comes when the list is scrolled to its end.
  connect(hits_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (value == hits_->verticalScrollBar()->maximum() && !AllShown() && on_more_wanted)
      on_more_wanted();
  });
}

Status SearchPane::Options(archive::SearchOptions* options) const {
  *options = archive::SearchOptions();
  Status typed = archive::TranslateQuery(EncodeTyped(query_->text()), &options->query);
  if (!typed.ok()) return typed;
  options->contact = EncodeTyped(contact_->text());
  options->account = EncodeTyped(account_->text());
  options->protocol = EncodeTyped(protocol_->text());
  options->sender = EncodeTyped(sender_->text());
  if (from_on_->isChecked()) options->from = EncodeTyped(from_->date().toString(Qt::ISODate));
  if (to_on_->isChecked()) options->to = EncodeTyped(to_->date().toString(Qt::ISODate));
  if (!options->from.empty() && !options->to.empty() && options->from > options->to)
    return Status::InvalidData("The day From is after the day To.");
  options->newest_first = newest_first_->isChecked();
  options->limit = kPage;
  options->mark_start = "\x02";
  options->mark_end = "\x03";
  return Status::OK();
}

void SearchPane::Begin() {
  pause_->stop();
  hits_->clear();
  hit_messages_.clear();
  hit_conversations_.clear();
  total_ = -1;
  count_->setText(QStringLiteral("Searching\u2026"));
}

void SearchPane::ShowCount(int64_t total) {
  total_ = total;
  count_->setText(total == 1 ? QStringLiteral("1 message")
                             : QStringLiteral("%L1 messages").arg(total));
}

void SearchPane::ShowProblem(const QString& text) { count_->setText(text); }

void SearchPane::AddHits(const std::vector<archive::SearchHit>& hits) {
  for (const archive::SearchHit& h : hits) {
    const QString marked = DecodeForDisplay(text::TrimBlanks(h.body));
    QString body = marked;
    body.remove(QChar(2)).remove(QChar(3));
    const QString who = h.kind == "action" ? "* " + DecodeForDisplay(h.sender) + " "
                        : h.sender.empty() ? QString()
                                           : DecodeForDisplay(h.sender) + ": ";
    const QString place =
        (h.sent_at.empty() ? DecodeForDisplay(h.time_text) : ShortStamp(h.sent_at)) + "  " +
        DecodeForDisplay((h.person.empty() || h.person == h.contact ? "" : h.person + " \u2014 ") +
                         h.protocol + "/" + h.account + "/" + h.contact);
    auto* item = new QListWidgetItem(place + "\n" + who + body);
    item->setData(HitDelegate::kPlaceRole, place);
    item->setData(HitDelegate::kMarkedRole, who + marked);
    hits_->addItem(item);
    hit_messages_.push_back(h.message_id);
    hit_conversations_.push_back(h.conversation_id);
  }
}

void SearchPane::OpenHit(int row) {
  if (row < 0 || row >= static_cast<int>(hit_messages_.size())) return;
  hits_->setCurrentRow(row);
  if (on_hit_opened)
    on_hit_opened(hit_conversations_[static_cast<size_t>(row)],
                  hit_messages_[static_cast<size_t>(row)]);
}

QStringList SearchPane::MarkedWords() const {
  QStringList words;
  const QListWidgetItem* item = hits_->currentItem();
  const QString marked = item ? item->data(HitDelegate::kMarkedRole).toString() : QString();
  for (qsizetype start = marked.indexOf(QChar(2)); start >= 0;
       start = marked.indexOf(QChar(2), start + 1)) {
    const qsizetype end = marked.indexOf(QChar(3), start);
    if (end < 0) break;
    const QString word = marked.mid(start + 1, end - start - 1);
    if (!word.isEmpty() && !words.contains(word, Qt::CaseInsensitive)) words << word;
  }
  return words;
}

void SearchPane::MoveHit(int step) {
  if (hit_messages_.empty()) return;
  const int n = static_cast<int>(hit_messages_.size());
  const int row =
      hits_->currentRow() < 0 ? (step > 0 ? 0 : n - 1) : (hits_->currentRow() + step + n) % n;
  OpenHit(row);
}

void SearchPane::FocusQuery() {
  query_->setFocus();
  query_->selectAll();
}

}  // namespace chatterwick::gui
