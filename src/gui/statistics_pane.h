#pragma once

#include <QScrollArea>
#include <functional>

#include "archive/background_reader.h"
#include "archive/reader.h"

namespace chatterwick::gui {

// The figures of what the tree has chosen: its messages, conversations and
// their span; per month, by weekday and by hour as charts; the senders, the
// contacts with the most, the busiest days and the first, last and longest
// conversations as tables. Each chart and table copies its figures as text.
class StatisticsPane : public QScrollArea {
 public:
  explicit StatisticsPane(QWidget* parent = nullptr);
  // Reads the figures below node on the window's reader, in place of any
  // read of them still running, and shows them when they come.
  void Read(archive::BackgroundReader& reads, const archive::NodeRef& node);
  void Show(const archive::Statistics& statistics);
  // In place of the figures while they are being read, or why they are not.
  void ShowNote(const QString& note);

  // Called with true when a read begins, with false when its figures are shown.
  std::function<void(bool reading)> on_reading = [](bool) {};

 private:
  void Clear();
  void AddSummary(const QString& text);
  void AddCharts(const archive::Statistics& statistics);
  void AddTables(const archive::Statistics& statistics);

  QWidget* page_;
};

}  // namespace chatterwick::gui
