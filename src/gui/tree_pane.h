#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "archive/reader.h"

class QLineEdit;
class QTreeWidget;

namespace chatterwick::gui {

// The archive as a tree: everything, then its protocols, accounts and
// contacts (names as people know them), each with its conversations,
// messages and last message; a box above it narrows the tree as people type,
// letter case and accents ignored.
class TreePane : public QWidget {
 public:
  explicit TreePane(QWidget* parent = nullptr);

  // The tree anew, keeping the node chosen before when it is still there.
  void Fill(const std::vector<archive::TreeNode>& nodes);
  // Every message below the tree (0 before it is filled).
  int64_t TotalMessages() const;
  // Chooses node, when the tree has it; false when it has not.
  bool Select(const archive::NodeRef& node);
  void FocusFilter();

  // Told of each node chosen.
  std::function<void(const archive::NodeRef& node)> on_chosen;

 private:
  void FillItems(const std::vector<archive::TreeNode>& nodes);
  void Filter(const QString& typed);

  QLineEdit* filter_;
  QTreeWidget* tree_;
};

}  // namespace chatterwick::gui
