#include "gui/figure_views.h"

#include <QAction>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QDate>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QScrollBar>
#include <QTreeWidget>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace chatterwick::gui {

namespace {

constexpr const char* kFigures = "figuresText";
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int YearOf(const std::string& month) { return std::stoi(month.substr(0, 4)); }
int MonthOf(const std::string& month) { return std::stoi(month.substr(5, 2)); }

// Runs of months that share key, each labelled by name(first month, last month).
template <typename Key, typename Name>
std::vector<SpanLabel> Runs(const std::vector<std::string>& months, Key key, Name name) {
  std::vector<SpanLabel> labels;
  for (int i = 0; i < static_cast<int>(months.size()); ++i) {
    if (!labels.empty() && key(months[i]) == key(months[labels.back().first]))
      labels.back().last = i;
    else labels.push_back({QString(), i, i});
  }
  for (SpanLabel& label : labels) label.text = name(months[label.first], months[label.last]);
  return labels;
}

// Copies what the view holds as text from its menu; Ctrl+C is the window's
// Copy, which asks FocusedFigures, since two shortcuts of one key would
// leave both of them dead.
void OfferCopy(QWidget* view, const QString& figures) {
  view->setProperty(kFigures, figures);
  view->setFocusPolicy(Qt::StrongFocus);
  view->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* copy = new QAction(QStringLiteral("Copy as text"), view);
  QObject::connect(copy, &QAction::triggered, view,
                   [view] { QGuiApplication::clipboard()->setText(FiguresAsText(view)); });
  view->addAction(copy);
}

// Figures line up on their right, as in a column of sums.
bool IsFigure(const QString& text) {
  return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
    return c.isDigit() || c == QLocale().groupSeparator().front();
  });
}

QChartView* ChartOf(const QString& title, const QList<qreal>& values, QAbstractAxis* x,
                    QWidget* parent) {
  auto* set = new QBarSet(title);
  set->append(values);
  auto* series = new QBarSeries;
  series->append(set);
  series->setBarWidth(values.size() > 60 ? 1.0 : 0.8);
  auto* chart = new QChart;
  chart->addSeries(series);
  chart->setTitle(title);
  chart->legend()->hide();
  chart->addAxis(x, Qt::AlignBottom);
  series->attachAxis(x);
  auto* y = new QValueAxis;
  const qreal top = values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
  const qint64 step = RoundStep(top);
  y->setRange(0, static_cast<qreal>(step * std::max<qint64>(1, std::ceil(top / step))));
  y->setTickType(QValueAxis::TicksDynamic);
  y->setTickAnchor(0);
  y->setTickInterval(static_cast<qreal>(step));
  y->setLabelFormat("%d");
  chart->addAxis(y, Qt::AlignLeft);
  series->attachAxis(y);
  auto* view = new QChartView(chart, parent);
  view->setMinimumHeight(240);
  return view;
}

QString ChartText(const QString& title, const QStringList& bars, const QList<qreal>& values) {
  QString text = title + QStringLiteral("\tMessages\n");
  for (qsizetype i = 0; i < bars.size() && i < values.size(); ++i)
    text += bars[i] + '\t' + QString::number(static_cast<qint64>(values[i])) + '\n';
  return text;
}

}  // namespace

std::vector<std::pair<std::string, qint64>> EveryMonth(
    const std::map<std::string, int64_t>& per_month) {
  // An archive is read as data: a month that is no "YYYY-MM" is left out,
  // and a span past kMostMonths shows the months that have messages alone.
  constexpr int kMostMonths = 1200;
  std::map<int, qint64> counted;  // by year * 12 + month - 1
  for (const auto& [key, n] : per_month) {
    const QDate first = QDate::fromString(QString::fromStdString(key) + "-01", Qt::ISODate);
    if (key.size() == 7 && first.isValid())
      counted[first.year() * 12 + first.month() - 1] += static_cast<qint64>(n);
  }
  std::vector<std::pair<std::string, qint64>> months;
  if (counted.empty()) return months;
  const int from = counted.begin()->first, to = counted.rbegin()->first;
  const bool whole = to - from < kMostMonths;
  for (int at = from; at <= to; ++at) {
    const auto it = counted.find(at);
    if (it == counted.end() && !whole) continue;
    months.emplace_back(QStringLiteral("%1-%2")
                            .arg(at / 12, 4, 10, QChar('0'))
                            .arg(at % 12 + 1, 2, 10, QChar('0'))
                            .toStdString(),
                        it == counted.end() ? 0 : it->second);
  }
  return months;
}

std::vector<SpanLabel> MonthLabels(const std::vector<std::string>& months) {
  const size_t n = months.size();
  if (n <= 12)
    return Runs(
        months, [](const std::string& m) { return m; },
        [&](const std::string& m, const std::string&) {
          const QString name = kMonthNames[(MonthOf(m) + 11) % 12];
          return m == months.front() || MonthOf(m) == 1 ? name + ' ' + QString::number(YearOf(m))
                                                        : name;
        });
  if (n <= 30)
    return Runs(
        months, [](const std::string& m) { return YearOf(m) * 4 + (MonthOf(m) - 1) / 3; },
        [](const std::string& m, const std::string&) {
          return QStringLiteral("Q%1 %2").arg((MonthOf(m) - 1) / 3 + 1).arg(YearOf(m));
        });
  const int first = YearOf(months.front());
  const int years = YearOf(months.back()) - first + 1;
  const int step = (years + 19) / 20;
  return Runs(
      months, [&](const std::string& m) { return (YearOf(m) - first) / step; },
      [&](const std::string& a, const std::string& b) {
        return YearOf(a) == YearOf(b)
                   ? QString::number(YearOf(a))
                   : QStringLiteral("%1–%2").arg(YearOf(a)).arg(YearOf(b) % 100, 2, 10, QChar('0'));
      });
}

qint64 RoundStep(qreal top) {
  if (top <= 4) return 1;
  const qreal rough = top / 4;
  const qreal power = std::pow(10.0, std::floor(std::log10(rough)));
  for (const int factor : {1, 2, 5})
    if (factor * power >= rough) return static_cast<qint64>(factor * power);
  return static_cast<qint64>(10 * power);
}

QChartView* BarChart(const QString& title, const QStringList& bars, const QList<qreal>& values,
                     QWidget* parent, const std::vector<SpanLabel>& labels) {
  QAbstractAxis* x = nullptr;
  if (labels.empty()) {
    auto* each = new QBarCategoryAxis;
    each->append(bars);
    x = each;
  } else {
    // Labels of single bars stand under their bars; others under the middle of their span.
    const bool single = std::all_of(labels.begin(), labels.end(),
                                    [](const SpanLabel& l) { return l.first == l.last; });
    auto* spans = new QCategoryAxis;
    spans->setLabelsPosition(single ? QCategoryAxis::AxisLabelsPositionOnValue
                                    : QCategoryAxis::AxisLabelsPositionCenter);
    spans->setStartValue(-0.5);
    for (const SpanLabel& label : labels)
      spans->append(label.text, single ? label.first : label.last + 0.5);
    spans->setRange(-0.5, values.size() - 0.5);
    spans->setGridLineVisible(false);
    x = spans;
  }
  QChartView* view = ChartOf(title, values, x, parent);
  OfferCopy(view, ChartText(title, bars, values));
  return view;
}

QTreeWidget* FigureTable(const char* object_name, const QStringList& headings,
                         const std::vector<QStringList>& rows, QWidget* parent, int max_rows) {
  auto* table = new QTreeWidget(parent);
  table->setObjectName(object_name);
  table->setHeaderLabels(headings);
  table->setRootIsDecorated(false);
  QString text = headings.join('\t') + '\n';
  for (const QStringList& row : rows) {
    auto* item = new QTreeWidgetItem(table, row);
    for (int i = 0; i < row.size(); ++i)
      if (IsFigure(row[i])) item->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
    text += row.join('\t') + '\n';
  }
  table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table->header()->setStretchLastSection(false);
  // As wide as every column's widest text, so that no name is cut: a
  // narrow pane scrolls sideways instead.
  const int frame = 2 * table->frameWidth();
  const bool scrolls = static_cast<int>(rows.size()) > max_rows;
  int width = frame + (scrolls ? table->verticalScrollBar()->sizeHint().width() : 0);
  for (int i = 0; i < headings.size(); ++i)
    width += std::max(static_cast<QAbstractItemView*>(table)->sizeHintForColumn(i),
                      table->header()->sectionSizeHint(i));
  table->setMinimumWidth(width);
  table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  const int shown = std::clamp(static_cast<int>(rows.size()), 1, max_rows);
  table->setFixedHeight(table->header()->sizeHint().height() +
                        shown * std::max(table->sizeHintForRow(0), table->fontMetrics().height()) +
                        frame);
  OfferCopy(table, text);
  return table;
}

QString FiguresAsText(const QWidget* view) { return view->property(kFigures).toString(); }

QString FocusedFigures() {
  for (const QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
    if (const QString text = FiguresAsText(w); !text.isEmpty()) return text;
  return QString();
}

}  // namespace chatterwick::gui
