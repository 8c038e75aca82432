#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QTreeWidget;
class QWidget;
class QChartView;

// Charts and tables of figures that say what they count and give their
// figures as text ("Copy as text" from their menu, or the window's Copy).
namespace chatterwick::gui {

// Every month from the first counted to the last, the empty ones as 0;
// keys that are no month ("YYYY-MM") are left out.
std::vector<std::pair<std::string, qint64>> EveryMonth(
    const std::map<std::string, int64_t>& per_month);

// A label under a run of bars: from the first bar to the last.
struct SpanLabel {
  QString text;
  int first = 0, last = 0;
};
// Labels for months ("2022-09", in order, none missing) that can be read at
// once: each month of a year or less, quarters up to three years and a
// half, years beyond, and runs of years when there are more than twenty.
std::vector<SpanLabel> MonthLabels(const std::vector<std::string>& months);

// The step between a value axis's ticks: 1, 2 or 5 times a power of ten,
// so that about four steps reach top.
qint64 RoundStep(qreal top);

// A bar chart of values, one a bar, with round ticks: under each bar its
// name, or else under each span of bars its label (a label of one bar under
// that bar, so that some bars can go without). Its text names each bar.
QChartView* BarChart(const QString& title, const QStringList& bars, const QList<qreal>& values,
                     QWidget* parent, const std::vector<SpanLabel>& labels = {});

// A table whose columns are as wide as their contents, as high as its rows
// (up to max_rows before it scrolls).
QTreeWidget* FigureTable(const char* object_name, const QStringList& headings,
                         const std::vector<QStringList>& rows, QWidget* parent, int max_rows = 10);

// The figures of a chart or table as text: a heading line, then a line a
// row, the fields apart by tabs.
QString FiguresAsText(const QWidget* view);
// The figures of the chart or table that has the focus; empty when none has.
QString FocusedFigures();

}  // namespace chatterwick::gui
