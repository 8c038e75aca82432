#include "gui/statistics_pane.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include "archive/export_format.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

QString ShortStamp(const std::string& stamp) {
  return DecodeForDisplay(archive::ReadableStamp(stamp).substr(0, 16));
}

}  // namespace

StatisticsPane::StatisticsPane(QWidget* parent) : QScrollArea(parent), page_(new QWidget) {
  setWidgetResizable(true);
  page_->setObjectName("pgeStatistics");
  new QVBoxLayout(page_);
  setWidget(page_);
}

void StatisticsPane::Show(const archive::Statistics& st) {
  QLayout* layout = page_->layout();
  while (QLayoutItem* item = layout->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  QString said = QStringLiteral("%L1 messages, from %2 to %3")
                     .arg(st.messages)
                     .arg(ShortStamp(st.first_sent_at), ShortStamp(st.last_sent_at));
  if (st.sent > 0)
    said += QStringLiteral("\nWritten by me: %L1; by them: %L2").arg(st.sent).arg(st.received);
  auto* summary = new QLabel(said, page_);
  summary->setObjectName("lblStatsSummary");
  layout->addWidget(summary);
  QStringList months, hours;
  QList<qreal> per_month, per_hour;
  for (const auto& [month, n] : st.per_month)
    months << DecodeForDisplay(month), per_month << static_cast<qreal>(n);
  for (int h = 0; h < 24; ++h) {
    hours << QString::number(h);
    const auto it = st.per_hour.find(h);
    per_hour << static_cast<qreal>(it == st.per_hour.end() ? 0 : it->second);
  }
  AddChart(QStringLiteral("Messages per month"), months, per_month);
  AddChart(QStringLiteral("Messages by hour of the day"), hours, per_hour);
  AddList("lstSenders", QStringLiteral("Sender"), st.per_sender);
  AddList("lstTopContacts", QStringLiteral("Contact"), st.top_contacts);
}

void StatisticsPane::AddChart(const QString& title, const QStringList& labels,
                              const QList<qreal>& values) {
  auto* set = new QBarSet(title);
  set->append(values);
  auto* series = new QBarSeries;
  series->append(set);
  auto* chart = new QChart;
  chart->addSeries(series);
  chart->setTitle(title);
  chart->legend()->hide();
  auto* x = new QBarCategoryAxis;
  x->append(labels);
  chart->addAxis(x, Qt::AlignBottom);
  series->attachAxis(x);
  auto* y = new QValueAxis;
  y->setLabelFormat("%d");
  chart->addAxis(y, Qt::AlignLeft);
  series->attachAxis(y);
  auto* view = new QChartView(chart, page_);
  view->setMinimumHeight(260);
  page_->layout()->addWidget(view);
}

void StatisticsPane::AddList(const char* name, const QString& title,
                             const std::vector<std::pair<std::string, int64_t>>& rows) {
  auto* tree = new QTreeWidget(page_);
  tree->setObjectName(name);
  tree->setHeaderLabels({title, QStringLiteral("Messages")});
  tree->setRootIsDecorated(false);
  for (const auto& [who, n] : rows) {
    auto* item = new QTreeWidgetItem(tree, {DecodeForDisplay(who)});
    item->setData(1, Qt::DisplayRole, qlonglong{n});
  }
  tree->setMinimumHeight(160);
  page_->layout()->addWidget(tree);
}

}  // namespace chatterwick::gui
