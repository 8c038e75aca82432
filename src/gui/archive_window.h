#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/background_reader.h"
#include "archive/reader.h"
#include "core/env.h"
#include "gui/job_thread.h"

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;

namespace chatterwick::gui {

class ArchiveMessagePage;
class ConversationExport;
class ConversationHeader;
class ConversationPane;
class ConversationList;
class PeopleEditor;
class ReadingView;
class SearchPane;
class StatisticsPane;
class TreePane;

// The archive in a window: the tree of protocols, accounts and contacts, a
// node's conversations, a conversation to read, a search across everything,
// statistics, updates from the log folders it reads (its sources) and
// exports. It composes one pane for each and routes between them. Every
// read goes through one background reader and comes back as it arrives, so
// the window paints at once and fills in; updates and exports run on a
// thread of their own.
class ArchiveWindow : public QMainWindow {
 public:
  // env must outlive the window. log_folder is where the chooser of a log
  // folder starts, and the folder a first archive is offered to read from
  // (the main window's Folder box, expanded; empty: the client's default).
  ArchiveWindow(std::string db_path, Env& env, QString log_folder);
  ~ArchiveWindow() override;

  // Reads the archive again: the tree, and the page that says why when
  // there is no archive to read.
  void Reload();
  // True while an update or an export is running.
  bool Busy() const { return jobs_.Busy(); }
  // True while a read is queued, running or on its way to the window.
  bool Reading() const { return !reads_->Idle(); }

  // What the window is doing, for its tests.
  void SelectNode(const archive::NodeRef& node);
  void OpenConversation(int64_t conversation, int64_t message_id = 0,
                        const QStringList& marks = {});
  // A person's whole history as one stream, oldest first.
  void ReadAll(const archive::NodeRef& person);
  void RunSearch();
  // Reads the folders into the archive, each remembered as a source; with
  // none, every source the archive remembers.
  void StartUpdate(const QStringList& log_folders = {},
                   archive::GoneLogs gone = archive::GoneLogs::kKeep);
  void CancelUpdate() { jobs_.Stop(); }
  // Lists the sources in a box, as the command line's sources does.
  void ShowSources();
  // Says how many conversations are gone from every source and, when the
  // user agrees, removes them.
  void AskAndRemoveGone();
  void ExportConversations(const std::vector<int64_t>& conversations, const QString& format,
                           const QString& folder);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  QWidget* CreateBrowser();
  void ConnectPanes();
  void CreateStatusBar();
  void ReadSettings();
  void WriteSettings();

  // offer_build: the buttons that build the archive, the one that reads
  // the default folder when default_there.
  void ShowMessagePage(const QString& text, bool offer_build, bool default_there = false);
  void ShowTree(const Status& opened, const std::vector<archive::TreeNode>& nodes,
                const std::vector<archive::PersonRow>& people, bool default_there);
  // open: the conversation to choose in the list (the one shown), or 0 for the latest.
  void ShowConversations(const archive::NodeRef& node, int64_t open = 0);
  // The tree and the list follow a jump to a conversation of contact.
  void Follow(int64_t contact, int64_t conversation);
  void ShowStatistics(const archive::NodeRef& node);
  void FetchHits(int64_t offset);
  void AskAndAddFolder();
  void UpdateEnded(const archive::ArchiveResult& result, const std::vector<std::string>& problems);
  void AskAndExport(bool search_results);
  void Tell(const QString& title, const QString& text);
  // The status bar's text (rich text: a link opens).
  void Say(const QString& text);
  // Hands f to the window's thread, from any thread.
  void Post(std::function<void()> f) { jobs_.Post(std::move(f)); }

  std::string db_path_;
  Env& env_;
  QString log_folder_;
  archive::NodeRef node_;

  QStackedWidget* pages_ = nullptr;
  ArchiveMessagePage* message_page_ = nullptr;
  QSplitter* splitter_ = nullptr;
  TreePane* tree_ = nullptr;
  ConversationList* conversations_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  ConversationPane* conversation_ = nullptr;
  ConversationHeader* header_ = nullptr;
  ReadingView* reading_ = nullptr;
  SearchPane* search_ = nullptr;
  StatisticsPane* statistics_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QLabel* status_ = nullptr;
  QAction *add_folder_action_ = nullptr, *update_action_ = nullptr, *sources_action_ = nullptr,
          *remove_gone_action_ = nullptr, *export_action_ = nullptr, *export_hits_action_ = nullptr;

  std::unique_ptr<ConversationExport> export_;
  std::unique_ptr<PeopleEditor> people_;

  // Updates, exports and what the user says of people, one at a time.
  JobThread jobs_{this};
  // Last: it ends its thread before anything it reports to goes.
  std::unique_ptr<archive::BackgroundReader> reads_;
};

}  // namespace chatterwick::gui
