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

#include "archive/background_reader.h"
#include "archive/reader.h"
#include "core/env.h"

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;

namespace chatterwick::gui {

class ConversationList;
class ReadingView;
class SearchPane;
class StatisticsPane;
class TreePane;

// The archive in a window: the tree of protocols, accounts and contacts, a
// node's conversations, a conversation to read, a search across everything,
// statistics, updates from a log folder and exports. It composes one pane
// for each and routes between them. Every read goes through one background
// reader and comes back as it arrives, so the window paints at once and
// fills in; updates and exports run on a thread of their own.
class ArchiveWindow : public QMainWindow {
 public:
  // env must outlive the window. log_folder is where a build or update
  // chooser starts (the main window's Folder box, expanded).
  ArchiveWindow(std::string db_path, Env& env, QString log_folder);
  ~ArchiveWindow() override;

  // Reads the archive again: the tree, and the page that says why when
  // there is no archive to read.
  void Reload();
  // True while an update or an export is running.
  bool Busy() const { return job_running_; }
  // True while a read is queued, running or on its way to the window.
  bool Reading() const { return !reads_->Idle(); }

  // What the window is doing, for its tests.
  void SelectNode(const archive::NodeRef& node);
  void OpenConversation(int64_t conversation, int64_t message_id = 0);
  void RunSearch();
  void StartUpdate(const QString& log_folder);
  void CancelUpdate() { stop_.store(2); }
  void ExportConversations(const std::vector<int64_t>& conversations, const QString& format,
                           const QString& folder);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  QWidget* CreateMessagePage();
  QWidget* CreateBrowser();
  void ConnectPanes();
  void CreateStatusBar();
  void ReadSettings();
  void WriteSettings();

  void ShowMessagePage(const QString& text, bool offer_build);
  void ShowTree(const Status& opened, const std::vector<archive::TreeNode>& nodes);
  void ShowConversations(const archive::NodeRef& node);
  void ShowStatistics(const archive::NodeRef& node);
  void FetchHits(int64_t offset);
  void AskAndUpdate();
  void AskAndExport(bool search_results);
  void ShowShortcuts();
  void Tell(const QString& title, const QString& text);
  // The status bar's text (rich text: a link opens).
  void Say(const QString& text);
  // Runs an update or an export on the job's thread; what it returns is
  // then called on the window's thread.
  void StartJob(std::function<std::function<void()>()> work);
  // Hands f to the window's thread, from any thread.
  void Post(std::function<void()> f);
  void RunPosted();

  std::string db_path_;
  Env& env_;
  QString log_folder_;
  archive::NodeRef node_;

  QStackedWidget* pages_ = nullptr;
  QLabel* message_ = nullptr;
  QPushButton* build_button_ = nullptr;
  QSplitter* splitter_ = nullptr;
  TreePane* tree_ = nullptr;
  ConversationList* conversations_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  ReadingView* reading_ = nullptr;
  SearchPane* search_ = nullptr;
  StatisticsPane* statistics_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLabel* status_ = nullptr;
  QAction *update_action_ = nullptr, *export_action_ = nullptr, *export_hits_action_ = nullptr;

  // The update's stop request.
  std::atomic<int> stop_{0};
  bool job_running_ = false;
  std::thread job_;
  // What other threads hand to the window's thread, under the mutex (which a
  // thread checker sees, unlike the event queue's own locks).
  std::mutex posted_mutex_;
  std::vector<std::function<void()>> posted_;
  // Last: it ends its thread before anything it reports to goes.
  std::unique_ptr<archive::BackgroundReader> reads_;
};

}  // namespace chatterwick::gui
