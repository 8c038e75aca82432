#include "gui/statistics_pane.h"

#include <QChartView>
#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "archive/export_format.h"
#include "gui/display_text.h"
#include "gui/figure_views.h"

namespace chatterwick::gui {

namespace {

constexpr const char* kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

QString ShortStamp(const std::string& stamp) {
  return DecodeForDisplay(archive::ReadableStamp(stamp).substr(0, 16));
}

QString Figure(int64_t n) { return QStringLiteral("%L1").arg(n); }

QString Percent(int64_t part, int64_t whole) {
  return QStringLiteral("%1 %").arg(whole > 0 ? qRound64(100.0 * part / whole) : 0);
}

QString Counted(int64_t n, const char* one, const char* many) {
  return QStringLiteral("%L1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? one : many));
}

QString SummaryOf(const archive::Statistics& st) {
  QString said = Counted(st.messages, "message", "messages") + " in " +
                 Counted(st.conversations, "conversation", "conversations");
  if (!st.first_sent_at.empty())
    said += QStringLiteral(", from %1 to %2")
                .arg(ShortStamp(st.first_sent_at), ShortStamp(st.last_sent_at));
  if (st.sent > 0)
    said += QStringLiteral("\nWritten by me: %L1 (%2); by them: %L3 (%4)")
                .arg(st.sent)
                .arg(Percent(st.sent, st.sent + st.received))
                .arg(st.received)
                .arg(Percent(st.received, st.sent + st.received));
  return said;
}

std::vector<QStringList> NamedRows(const std::vector<archive::NamedCount>& counts) {
  std::vector<QStringList> rows;
  for (const archive::NamedCount& c : counts)
    rows.push_back({DecodeForDisplay(c.name), DecodeForDisplay(c.account), Figure(c.messages)});
  return rows;
}

std::vector<QStringList> ConversationRows(const archive::Statistics& st) {
  std::vector<QStringList> rows;
  const std::pair<const char*, const archive::ConversationFigure*> which[] = {
      {"First", &st.first_conversation},
      {"Last", &st.last_conversation},
      {"Longest", &st.longest_conversation}};
  for (const auto& [name, c] : which)
    if (c->id != 0)
      rows.push_back({name, ShortStamp(c->first_sent_at), Figure(c->messages),
                      DecodeForDisplay(c->contact), DecodeForDisplay(c->account)});
  return rows;
}

QWidget* Titled(const QString& title, QWidget* inside) {
  auto* box = new QGroupBox(title);
  (new QVBoxLayout(box))->addWidget(inside);
  return box;
}

}  // namespace

StatisticsPane::StatisticsPane(QWidget* parent) : QScrollArea(parent), page_(new QWidget) {
  setWidgetResizable(true);
  page_->setObjectName("pgeStatistics");
  new QVBoxLayout(page_);
  setWidget(page_);
}

void StatisticsPane::Read(archive::BackgroundReader& reads, const archive::NodeRef& node) {
  ShowNote(QStringLiteral("Computing the statistics\u2026"));
  on_reading(true);
  // Counted over every message below the node: a long read, stopped when the choice changes.
  reads.Schedule(archive::BackgroundReader::Kind::kStatistics,
                 [this, node](const archive::BackgroundReader::Job& job) {
                   auto st = std::make_shared<archive::Statistics>();
                   const Status s = job.reader ? job.reader->Stats(node, st.get()) : job.opened;
                   job.deliver([this, st, s] {
                     on_reading(false);
                     if (s.ok()) return Show(*st);
                     ShowNote(QStringLiteral("The statistics could not be read: %1")
                                  .arg(DecodeForDisplay(s.message())));
                   });
                 });
}

void StatisticsPane::Show(const archive::Statistics& st) {
  Clear();
  AddSummary(SummaryOf(st));
  AddCharts(st);
  AddTables(st);
  static_cast<QBoxLayout*>(page_->layout())->addStretch();
}

void StatisticsPane::ShowNote(const QString& note) {
  Clear();
  AddSummary(note);
  static_cast<QBoxLayout*>(page_->layout())->addStretch();
}

void StatisticsPane::Clear() {
  QLayout* layout = page_->layout();
  while (QLayoutItem* item = layout->takeAt(0)) {
    delete item->widget();
    delete item;
  }
}

void StatisticsPane::AddSummary(const QString& text) {
  auto* summary = new QLabel(text, page_);
  summary->setObjectName("lblStatsSummary");
  summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  page_->layout()->addWidget(summary);
}

void StatisticsPane::AddCharts(const archive::Statistics& st) {
  std::vector<std::string> months;
  QStringList month_names;
  QList<qreal> per_month, per_weekday, per_hour;
  for (const auto& [month, n] : EveryMonth(st.per_month)) {
    months.push_back(month);
    month_names << DecodeForDisplay(month);
    per_month << static_cast<qreal>(n);
  }
  auto* time = BarChart(QStringLiteral("Messages per month"), month_names, per_month, page_,
                        MonthLabels(months));
  time->setObjectName("chtMonths");
  page_->layout()->addWidget(time);
  QStringList weekdays, hours;
  for (int d = 0; d < 7; ++d) weekdays << kWeekdays[d], per_weekday << st.per_weekday[d];
  for (int h = 0; h < 24; ++h) {
    hours << QString::number(h);
    const auto it = st.per_hour.find(h);
    per_hour << static_cast<qreal>(it == st.per_hour.end() ? 0 : it->second);
  }
  page_->layout()->addWidget(
      BarChart(QStringLiteral("Messages by day of the week"), weekdays, per_weekday, page_));
  // Every third hour named: 24 names would not fit a narrow pane.
  std::vector<SpanLabel> every_third;
  for (int h = 0; h < 24; h += 3) every_third.push_back({hours[h], h, h});
  page_->layout()->addWidget(
      BarChart(QStringLiteral("Messages by hour of the day"), hours, per_hour, page_, every_third));
}

void StatisticsPane::AddTables(const archive::Statistics& st) {
  const QString messages = QStringLiteral("Messages");
  page_->layout()->addWidget(Titled(
      QStringLiteral("Who wrote them"),
      FigureTable("lstSenders", {QStringLiteral("Sender"), QStringLiteral("Account"), messages},
                  NamedRows(st.per_sender), page_)));
  page_->layout()->addWidget(
      Titled(QStringLiteral("Contacts with the most"),
             FigureTable("lstTopContacts",
                         {QStringLiteral("Contact"), QStringLiteral("Account"), messages},
                         NamedRows(st.top_contacts), page_)));
  std::vector<QStringList> days;
  for (const auto& [day, n] : st.busiest_days) {
    const QString name = DecodeForDisplay(day);
    const int weekday = QDate::fromString(name, Qt::ISODate).dayOfWeek();
    days.push_back({name, weekday >= 1 ? kWeekdays[weekday - 1] : QString(), Figure(n)});
  }
  page_->layout()->addWidget(Titled(
      QStringLiteral("Busiest days"),
      FigureTable("lstBusiestDays", {QStringLiteral("Day"), QString(), messages}, days, page_)));
  page_->layout()->addWidget(
      Titled(QStringLiteral("Conversations"),
             FigureTable("lstConversations",
                         {QString(), QStringLiteral("Started"), messages, QStringLiteral("Contact"),
                          QStringLiteral("Account")},
                         ConversationRows(st), page_)));
}

}  // namespace chatterwick::gui
