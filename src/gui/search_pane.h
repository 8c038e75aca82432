#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "archive/search.h"
#include "core/status.h"

class QCheckBox;
class QDateEdit;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QTimer;

namespace chatterwick::gui {

// A search across the archive: what people type, boxes for contact,
// account, protocol and sender, and a range of days; the hits, in time
// order or newest first, a page at a time as the list is scrolled, their
// number, the matched words in bold.
class SearchPane : public QWidget {
 public:
  explicit SearchPane(QWidget* parent = nullptr);

  // What the boxes ask for, a page of hits from the start; or why they ask
  // for nothing that can be found.
  Status Options(archive::SearchOptions* options) const;
  // A new search: no hits yet.
  void Begin();
  void ShowCount(int64_t total);
  void AddHits(const std::vector<archive::SearchHit>& hits);
  void ShowProblem(const QString& text);
  // Hits listed, and whether they are all there are.
  int64_t HitsShown() const { return static_cast<int64_t>(hit_messages_.size()); }
  bool AllShown() const { return total_ >= 0 && HitsShown() >= total_; }
  const std::vector<int64_t>& HitConversations() const { return hit_conversations_; }
  // The words the search matched in the hit in hand, each once.
  QStringList MarkedWords() const;
  // Opens the hit step places on from the one in hand, round at the ends.
  void MoveHit(int step);
  // Keeps the calendars to the days the archive holds messages of,
  // starting at its first and last ("YYYY-MM-DD"; empty: no bounds).
  void SetDays(const std::string& first, const std::string& last);
  void FocusQuery();

  // The boxes changed and a pause in typing followed: a search is due.
  std::function<void()> on_changed;
  // The list was scrolled to its end: the next page is wanted.
  std::function<void()> on_more_wanted;
  // A hit was chosen.
  std::function<void(int64_t conversation, int64_t message)> on_hit_opened;

  static constexpr int64_t kPage = 200;

 private:
  void CreateFilters(QFormLayout* filters);
  void CreateHitList();
  void OpenHit(int row);

  QLineEdit* query_;
  QLineEdit *contact_ = nullptr, *account_ = nullptr, *protocol_ = nullptr, *sender_ = nullptr;
  QCheckBox *from_on_ = nullptr, *to_on_ = nullptr, *newest_first_ = nullptr;
  QDateEdit *from_ = nullptr, *to_ = nullptr;
  QLabel* count_ = nullptr;
  QListWidget* hits_ = nullptr;
  QTimer* pause_;
  int64_t total_ = -1;
  std::vector<int64_t> hit_messages_, hit_conversations_;
};

}  // namespace chatterwick::gui
