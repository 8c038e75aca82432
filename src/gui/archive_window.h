#pragma once

#include <QMainWindow>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/reader.h"
#include "core/env.h"

class QAction;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace chatterwick::gui {

class MessageModel;

// The archive in a window: the tree of protocols, accounts and contacts, a
// node's conversations, a conversation to read, a search across everything,
// statistics, updates from a log folder and exports. It reads through the
// archive's read interface; updates, searches and exports run off the GUI
// thread and report through queued calls.
class ArchiveWindow : public QMainWindow {
 public:
  // The desktop's choosers and boxes, so tests can stand in for them. A
  // chooser returns the empty text when cancelled.
  struct Seams {
    std::function<QString(const QString& start_folder)> choose_folder;
    std::function<QString(const QStringList& formats)> choose_format;
    std::function<void(const QString& title, const QString& text)> inform;
    std::function<void(const QString& url)> open_url;
  };

  // env must outlive the window. log_folder is where a build or update
  // chooser starts (the main window's Folder box, expanded).
  ArchiveWindow(std::string db_path, Env& env, QString log_folder);
  ~ArchiveWindow() override;
  void SetSeams(Seams seams) { seams_ = std::move(seams); }

  // Reads the archive again: the tree, and the page that says why when
  // there is no archive to read.
  void Reload();
  // True while an update, a search or an export is running.
  bool Busy() const;

  // What the window is doing, for its tests.
  void SelectNode(const archive::NodeRef& node);
  void OpenConversation(int64_t conversation, int64_t message_id = 0);
  void RunSearch();
  void StartUpdate(const QString& log_folder);
  void CancelUpdate();
  void ExportConversations(const std::vector<int64_t>& conversations, const QString& format,
                           const QString& folder);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  QWidget* CreateBrowser();
  QWidget* CreateSearchPage();
  QWidget* CreateStatisticsPage();
  void CreateStatusBar();
  void ReadSettings();
  void WriteSettings();

  void ShowMessagePage(const QString& text, bool offer_build);
  void FillTree();
  void FilterTree(const QString& typed);
  void ShowConversations(const archive::NodeRef& node);
  void ShowStatistics(const archive::NodeRef& node);
  void ShowStatistics(const archive::Statistics& statistics);
  void ScheduleSearch();
  void FetchHits(bool first_page);
  void OpenHit(int row);
  void MoveHit(int step);
  void AskAndUpdate();
  void AskAndExport(bool search_results);
  void CopySelection();
  void ShowShortcuts();
  void ShowAbout();
  // The status bar's text (rich text: a link opens).
  void Say(const QString& text);
  // Runs work on a thread of its own; what it returns is then called on the
  // GUI thread.
  void Spawn(std::function<std::function<void()>()> work);

  std::string db_path_;
  Env& env_;
  QString log_folder_;
  Seams seams_;
  std::unique_ptr<archive::ArchiveReader> reader_;
  archive::NodeRef node_;

  QStackedWidget* pages_ = nullptr;
  QLabel* message_ = nullptr;
  QPushButton* build_button_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QLineEdit* tree_filter_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QTreeWidget* conversations_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QListView* reading_ = nullptr;
  MessageModel* messages_ = nullptr;
  QLineEdit* query_ = nullptr;
  QLineEdit *contact_ = nullptr, *account_ = nullptr, *protocol_ = nullptr, *sender_ = nullptr;
  QCheckBox *from_on_ = nullptr, *to_on_ = nullptr;
  QDateEdit *from_ = nullptr, *to_ = nullptr;
  QListWidget* hits_ = nullptr;
  QLabel* hit_count_ = nullptr;
  QTimer* search_timer_ = nullptr;
  QWidget* statistics_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLabel* status_ = nullptr;
  QAction *update_action_ = nullptr, *export_action_ = nullptr, *export_hits_action_ = nullptr;

  // Searches: each has a number; only the latest one's results are shown.
  int search_generation_ = 0, statistics_generation_ = 0;
  int64_t hits_total_ = 0;
  std::vector<int64_t> hit_messages_, hit_conversations_;
  bool fetching_ = false;
  // The update run's stop request, and how many works are running.
  std::atomic<int> stop_{0};
  std::atomic<int> running_{0};
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::vector<Worker> workers_;
  // What finished works left for the window's thread, handed over under the
  // mutex (which a thread checker sees, unlike the event queue's own locks).
  std::mutex done_mutex_;
  std::vector<std::function<void()>> done_;
  void DeliverDone();
};

}  // namespace chatterwick::gui
