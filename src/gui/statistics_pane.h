#pragma once

#include <QScrollArea>

#include "archive/reader.h"

namespace chatterwick::gui {

// The figures of what the tree has chosen: its messages and their first
// and last, per month and by hour of the day as charts, per sender, and
// the contacts with the most.
class StatisticsPane : public QScrollArea {
 public:
  explicit StatisticsPane(QWidget* parent = nullptr);
  void Show(const archive::Statistics& statistics);

 private:
  void AddChart(const QString& title, const QStringList& labels, const QList<qreal>& values);
  void AddList(const char* name, const QString& title,
               const std::vector<std::pair<std::string, int64_t>>& rows);

  QWidget* page_;
};

}  // namespace chatterwick::gui
