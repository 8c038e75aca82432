#include "gui/archive_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QUrl>

#include "archive/archive.h"
#include "core/commands.h"
#include "core/log_tree.h"
#include "core/options.h"
#include "gui/archive_message_page.h"
#include "gui/conversation_export.h"
#include "gui/conversation_header.h"
#include "gui/conversation_list.h"
#include "gui/conversation_pane.h"
#include "gui/dialogs.h"
#include "gui/display_text.h"
#include "gui/figure_views.h"
#include "gui/history_pages.h"
#include "gui/people_editor.h"
#include "gui/reading_view.h"
#include "gui/search_pane.h"
#include "gui/shortcut_list.h"
#include "gui/source_questions.h"
#include "gui/statistics_pane.h"
#include "gui/tree_pane.h"
#include "gui/update_report.h"

namespace chatterwick::gui {

namespace {

using archive::NodeRef;
using Kind = archive::BackgroundReader::Kind;
using Job = archive::BackgroundReader::Job;
constexpr int kConversationTab = 0, kSearchTab = 1, kStatisticsTab = 2;

}  // namespace

ArchiveWindow::ArchiveWindow(std::string db_path, Env& env, QString log_folder)
    : db_path_(std::move(db_path)), env_(env), log_folder_(std::move(log_folder)) {
  setObjectName("frmArchive");
  // The client's own log folder, as the main window's Folder box names it.
  if (log_folder_.isEmpty())
    log_folder_ = DecodeForDisplay(commands::FolderBoxRoot(env_, CatalogueOptions().folder));
  // Named after its file, as document windows are.
  setWindowTitle(QFileInfo(DecodeForDisplay(db_path_)).fileName() +
                 QStringLiteral(" \u2014 chatterwick"));
  reads_ = std::make_unique<archive::BackgroundReader>(
      db_path_, [this](std::function<void()> f) { Post(std::move(f)); });
  CreateActions();
  CreateMenus();
  pages_ = new QStackedWidget(this);
  message_page_ = new ArchiveMessagePage(log_folder_);
  message_page_->on_read_default = [this] { StartUpdate({log_folder_}); };
  message_page_->on_choose = [this] { AskAndAddFolder(); };
  pages_->addWidget(message_page_);
  pages_->addWidget(CreateBrowser());
  setCentralWidget(pages_);
  ConnectPanes();
  CreateStatusBar();
  ReadSettings();
  Reload();
}

ArchiveWindow::~ArchiveWindow() {
  // A read running now is stopped, not waited for; an update stops at its next log.
  reads_.reset();
  jobs_.Stop();
}

void ArchiveWindow::CreateActions() {
  auto action = [this](const char* text, QKeySequence keys, std::function<void()> fn) {
    auto* a = new QAction(QString::fromUtf8(text), this);
    a->setShortcut(keys);
    connect(a, &QAction::triggered, this, std::move(fn));
    return a;
  };
  add_folder_action_ = action("&Add a Log Folder\u2026", {}, [this] { AskAndAddFolder(); });
  update_action_ = action("&Update", QKeySequence(Qt::CTRL | Qt::Key_U), [this] {
    if (!Busy()) StartUpdate();
  });
  sources_action_ = action("&Sources\u2026", {}, [this] { ShowSources(); });
  remove_gone_action_ = action("&Remove Conversations Gone from Every Source\u2026", {},
                               [this] { AskAndRemoveGone(); });
  export_action_ = action("&Export Selected Conversations\u2026",
                          QKeySequence(Qt::CTRL | Qt::Key_E), [this] { AskAndExport(false); });
  export_hits_action_ =
      action("Export Search &Results\u2026", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
             [this] { AskAndExport(true); });
}

void ArchiveWindow::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  for (QAction* a : {add_folder_action_, update_action_, sources_action_, remove_gone_action_})
    file->addAction(a);
  file->addSeparator();
  file->addAction(export_action_);
  file->addAction(export_hits_action_);
  file->addSeparator();
  file->addAction(QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_W), this,
                  &QWidget::close);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->addAction(QStringLiteral("&Copy"), QKeySequence::Copy, this, [this] {
    const QString figures = FocusedFigures(),
                  text = figures.isEmpty() ? reading_->ChosenText() : figures;
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
  });
  edit->addAction(QStringLiteral("&Find in the Archive"), QKeySequence::Find, this, [this] {
    tabs_->setCurrentIndex(kSearchTab);
    search_->FocusQuery();
  });
  edit->addAction(QStringLiteral("Find in the Con&versation"),
                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), this, [this] {
                    tabs_->setCurrentIndex(kConversationTab);
                    conversation_->OpenFind();
                  });
  edit->addAction(QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3), this,
                  [this] { search_->MoveHit(1); });
  edit->addAction(QStringLiteral("Find &Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), this,
                  [this] { search_->MoveHit(-1); });
  edit->addAction(QStringLiteral("Filter the &Tree"), QKeySequence(Qt::CTRL | Qt::Key_L), this,
                  [this] { tree_->FocusFilter(); });
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->addAction(QStringLiteral("&Conversation"), QKeySequence(Qt::ALT | Qt::Key_1), this,
                  [this] { tabs_->setCurrentIndex(kConversationTab); });
  view->addAction(QStringLiteral("&Search"), QKeySequence(Qt::ALT | Qt::Key_2), this,
                  [this] { tabs_->setCurrentIndex(kSearchTab); });
  view->addAction(QStringLiteral("S&tatistics"), QKeySequence(Qt::ALT | Qt::Key_3), this,
                  [this] { tabs_->setCurrentIndex(kStatisticsTab); });
  view->addAction(QStringLiteral("&Read All of the Person"), QKeySequence(Qt::CTRL | Qt::Key_R),
                  this, [this] {
                    if (node_.level == NodeRef::Level::kPerson) ReadAll(node_);
                  });
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("&Keyboard Shortcuts"), QKeySequence::HelpContents, this,
                  [this] { Tell(QStringLiteral("Keyboard Shortcuts"), ShortcutList(*menuBar())); });
  help->addAction(QStringLiteral("&About chatterwick"), this, [this] {
    Tell(QStringLiteral("About chatterwick"),
         QStringLiteral("chatterwick 0.1.0\nReads, catalogues and archives chat logs.\n\n"
                        "Archive: %1")
             .arg(DecodeForDisplay(db_path_)));
  });
  QToolBar* tools = addToolBar(QStringLiteral("Archive"));
  tools->setObjectName("tbArchive");
  tools->addAction(update_action_);
  tools->addAction(add_folder_action_);
  tools->addAction(export_action_);
}

QWidget* ArchiveWindow::CreateBrowser() {
  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->setObjectName("splArchive");
  tree_ = new TreePane(splitter_);
  conversations_ = new ConversationList(splitter_);
  tabs_ = new QTabWidget(splitter_);
  tabs_->setObjectName("tabArchive");
  conversation_ = new ConversationPane(tabs_);
  header_ = conversation_->header();
  reading_ = conversation_->reading();
  search_ = new SearchPane(tabs_);
  statistics_ = new StatisticsPane(tabs_);
  statistics_->on_reading = [this](bool reading) {
    tabs_->setTabText(kStatisticsTab, reading ? QStringLiteral("Statistics (computing\u2026)")
                                              : QStringLiteral("Statistics"));
  };
  tabs_->addTab(conversation_, QStringLiteral("Conversation"));
  tabs_->addTab(search_, QStringLiteral("Search"));
  tabs_->addTab(statistics_, QStringLiteral("Statistics"));
  // A window made larger gives every pane its share, the reading most.
  for (const int pane : {0, 1, 2}) splitter_->setStretchFactor(pane, pane == 2 ? 2 : 1);
  return splitter_;
}

void ArchiveWindow::ConnectPanes() {
  tree_->on_chosen = [this](const NodeRef& node) {
    node_ = node;
    ShowConversations(node);
    if (tabs_->currentIndex() == kStatisticsTab) ShowStatistics(node);
  };
  conversations_->on_opened = [this](int64_t id) { OpenConversation(id); };
  export_ = std::make_unique<ConversationExport>(this, env_, db_path_, jobs_,
                                                 [this](const QString& text) { Say(text); });
  people_ = std::make_unique<PeopleEditor>(this, env_, db_path_, jobs_, *tree_);
  people_->on_changed = [this](const QString& said) {
    Reload();
    Say(said);
  };
  tree_->on_merge = [this](const std::string& h, const std::string& p) { people_->Merge(h, p); };
  tree_->on_split = [this](const std::string& handle) { people_->Split(handle); };
  tree_->on_rename = [this](const std::string& person) { people_->Rename(person); };
  tree_->on_read_all = [this](const NodeRef& person) { ReadAll(person); };
  search_->on_changed = [this] { RunSearch(); };
  search_->on_more_wanted = [this] { FetchHits(search_->HitsShown()); };
  search_->on_hit_opened = [this](int64_t conversation, int64_t message) {
    OpenConversation(conversation, message, search_->MarkedWords());
  };
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == kStatisticsTab) ShowStatistics(node_);
  });
}

void ArchiveWindow::CreateStatusBar() {
  status_ = new QLabel(this);
  status_->setObjectName("lblArchiveStatus");
  status_->setTextFormat(Qt::RichText);
  connect(status_, &QLabel::linkActivated, this,
          [](const QString& link) { Dialogs::Current().Open(QUrl(link)); });
  statusBar()->addWidget(status_, 1);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("barUpdate");
  progress_->setRange(0, 1000);
  // Wide enough for "12330 of 12330 logs, about 999 s left".
  progress_->setMinimumWidth(progress_->fontMetrics().horizontalAdvance(
                                 QStringLiteral("00000 of 00000 logs, about 000 s left")) +
                             32);
  progress_->hide();
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName("cmdCancel");
  cancel_->hide();
  connect(cancel_, &QPushButton::clicked, this, [this] { CancelUpdate(); });
  statusBar()->addPermanentWidget(progress_);
  statusBar()->addPermanentWidget(cancel_);
}

void ArchiveWindow::ReadSettings() {
  QSettings settings;
  if (!restoreGeometry(settings.value("archive/geometry").toByteArray())) resize(1100, 700);
  if (!splitter_->restoreState(settings.value("archive/splitter").toByteArray()))
    splitter_->setSizes({340, 330, 430});
}

void ArchiveWindow::WriteSettings() {
  QSettings settings;
  settings.setValue("archive/geometry", saveGeometry());
  settings.setValue("archive/splitter", splitter_->saveState());
}

void ArchiveWindow::closeEvent(QCloseEvent* event) {
  WriteSettings();
  QMainWindow::closeEvent(event);
}

void ArchiveWindow::Say(const QString& text) { status_->setText(text); }

void ArchiveWindow::Tell(const QString& title, const QString& text) {
  Dialogs::Current().Tell(this, Dialogs::Icon::kInformation, title, text);
}

void ArchiveWindow::ShowMessagePage(const QString& text, bool offer_build, bool default_there) {
  message_page_->Show(text, offer_build, offer_build && default_there);
  pages_->setCurrentIndex(0);
  export_action_->setEnabled(false);
  export_hits_action_->setEnabled(false);
}

void ArchiveWindow::Reload() {
  // The panes show at once; the tree fills in when it has been read.
  if (pages_->currentIndex() != 0 || message_page_->text().isEmpty()) pages_->setCurrentIndex(1);
  Say(QStringLiteral("Reading the archive\u2026"));
  const std::string default_folder = EncodeTyped(log_folder_);
  reads_->Schedule(Kind::kTree, [this, default_folder](const Job& job) {
    auto nodes = std::make_shared<std::vector<archive::TreeNode>>();
    auto people = std::make_shared<std::vector<archive::PersonRow>>();
    // A tree that cannot be read is an empty one; without people, it has accounts alone.
    if (job.reader && !job.reader->Tree(nodes.get()).ok()) nodes->clear();
    if (job.reader && !job.reader->People(people.get()).ok()) people->clear();
    auto days = std::make_shared<std::pair<std::string, std::string>>();
    if (job.reader) job.reader->Days(&days->first, &days->second).IgnoreError();
    // Whether there is a folder to offer a first archive from.
    const bool default_there =
        nodes->empty() && !default_folder.empty() && CheckLogRoot(env_, default_folder).ok();
    job.deliver([this, opened = job.opened, nodes, people, days, default_there] {
      search_->SetDays(days->first, days->second);
      ShowTree(opened, *nodes, *people, default_there);
    });
  });
}

void ArchiveWindow::ShowTree(const Status& opened, const std::vector<archive::TreeNode>& nodes,
                             const std::vector<archive::PersonRow>& people, bool default_there) {
  Say(QString());
  const QString file = DecodeForDisplay(db_path_);
  const QString offer =
      default_there ? QStringLiteral("\n\nThe chat client's logs are in %1.").arg(log_folder_)
                    : QString();
  if (opened.IsNotFound())
    return ShowMessagePage(
        QStringLiteral("There is no archive at %1 yet.\n\nThe archive keeps every "
                       "log of your log folders, with full time stamps, to browse, "
                       "read and search.%2")
            .arg(file, offer),
        true, default_there);
  if (!opened.ok()) {
    // The reason says what the file is when it can; otherwise it is said here, once.
    const std::string& why = opened.message();
    const bool says = why.find("chatterwick") != std::string::npos;
    return ShowMessagePage(
        QStringLiteral("%1 cannot be read: %2.\n\nNothing was changed.")
            .arg(file, DecodeForDisplay(opened.IsInvalidData() && !says
                                            ? "it is not a chatterwick archive (" + why + ")"
                                            : why)),
        false);
  }
  tree_->Fill(nodes, people);
  if (tree_->TotalMessages() == 0)
    return ShowMessagePage(QStringLiteral("The archive at %1 is empty.%2").arg(file, offer), true,
                           default_there);
  pages_->setCurrentIndex(1);
  export_action_->setEnabled(true);
  export_hits_action_->setEnabled(true);
}

void ArchiveWindow::SelectNode(const NodeRef& node) { tree_->Select(node); }

void ArchiveWindow::ShowConversations(const NodeRef& node, int64_t open) {
  reads_->Schedule(Kind::kConversations, [this, node, open](const Job& job) {
    if (!job.reader) return;
    auto rows = std::make_shared<std::vector<archive::ConversationRow>>();
    if (!job.reader->Conversations(node, rows.get()).ok()) return;
    job.deliver([this, rows, open, newest_first = node.level == NodeRef::Level::kPerson] {
      // A person's own list names only the handle each conversation was on.
      conversations_->Show(
          *rows,
          [this, newest_first](int64_t contact) {
            return newest_first ? tree_->HandleOf(contact) : tree_->WhoIs(contact);
          },
          newest_first, open);
      if (rows->empty()) {
        reading_->Show({});
        header_->Clear();
      }
      Say(rows->size() == 1 ? QStringLiteral("1 conversation")
                            : QStringLiteral("%L1 conversations").arg(rows->size()));
    });
  });
}

void ArchiveWindow::OpenConversation(int64_t conversation, int64_t message_id,
                                     const QStringList& marks) {
  if (message_id) tabs_->setCurrentIndex(kConversationTab);
  reading_->Mark(marks);
  ReadConversation(*reads_, reading_, header_, conversation, message_id,
                   [this](const archive::ConversationInfo& c) { Follow(c.contact_id, c.id); });
}

void ArchiveWindow::Follow(int64_t contact, int64_t conversation) {
  // Everything holds every conversation; any other node only its own.
  const NodeRef place = tree_->PlaceOf(contact);
  const bool holds = node_.level == NodeRef::Level::kEverything ||
                     (node_.level == place.level && node_.id == place.id);
  if (holds || !tree_->SelectQuietly(place)) {
    conversations_->Select(conversation);
    return;
  }
  node_ = place;
  ShowConversations(place, conversation);
  if (tabs_->currentIndex() == kStatisticsTab) ShowStatistics(place);
}

void ArchiveWindow::ReadAll(const NodeRef& person) {
  tabs_->setCurrentIndex(kConversationTab);
  ReadHistory(*reads_, reading_, header_, person, tree_->NameOf(person), tree_->WhoIsEach());
}

void ArchiveWindow::RunSearch() {
  archive::SearchOptions options;
  const Status typed = search_->Options(&options);
  search_->Begin();
  if (!typed.ok()) {
    // A search no longer wanted must not fill the list after this.
    reads_->Schedule(Kind::kSearch, [](const Job&) {});
    reads_->Schedule(Kind::kCount, [](const Job&) {});
    return search_->ShowProblem(DecodeForDisplay(typed.message()));
  }
  // The first page before the count: a person reads hits, not their number.
  FetchHits(0);
  reads_->Schedule(Kind::kCount, [this, options](const Job& job) {
    int64_t total = 0;
    const Status s = job.reader ? job.reader->CountHits(options, &total) : job.opened;
    job.deliver([this, s, total] {
      if (s.ok()) search_->ShowCount(total);
      else
        search_->ShowProblem(
            QStringLiteral("The search failed: %1").arg(DecodeForDisplay(s.message())));
    });
  });
}

void ArchiveWindow::FetchHits(int64_t offset) {
  archive::SearchOptions options;
  if (!search_->Options(&options).ok()) return;
  reads_->Schedule(Kind::kSearch, [this, options, offset](const Job& job) {
    auto page = std::make_shared<std::vector<archive::SearchHit>>();
    Status s = job.opened;
    if (job.reader)
      s = job.reader->Search(options, offset, [&](const archive::SearchHit& h) {
        page->push_back(h);
        return true;
      });
    job.deliver([this, s, page, offset] {
      if (!s.ok())
        return search_->ShowProblem(
            QStringLiteral("The search failed: %1").arg(DecodeForDisplay(s.message())));
      // A page asked for twice while the list was scrolled comes once.
      if (offset == search_->HitsShown()) search_->AddHits(*page);
    });
  });
}

void ArchiveWindow::ShowStatistics(const NodeRef& node) { statistics_->Read(*reads_, node); }

void ArchiveWindow::AskAndAddFolder() {
  if (Busy()) return;
  const QString folder = Dialogs::Current().ChoosePath(this, Dialogs::Choose::kFolder, log_folder_);
  if (!folder.isEmpty()) StartUpdate({folder});
}

void ArchiveWindow::StartUpdate(const QStringList& log_folders, archive::GoneLogs gone) {
  progress_->setValue(0);
  progress_->setFormat(QStringLiteral("listing the logs\u2026"));
  progress_->show();
  cancel_->show();
  for (QAction* a : {add_folder_action_, update_action_, remove_gone_action_}) a->setEnabled(false);
  message_page_->SetButtonsEnabled(false);
  Say(log_folders.isEmpty()
          ? QStringLiteral("Updating the archive from its sources\u2026")
          : QStringLiteral("Reading %1 into the archive\u2026").arg(log_folders.join(", ")));
  std::vector<std::string> roots;
  for (const QString& folder : log_folders) roots.push_back(EncodeTyped(folder));
  auto progress = std::make_shared<UpdateProgress>([this](int value, const QString& text) {
    Post([this, value, text] {
      progress_->setValue(value);
      progress_->setFormat(text);
    });
  });
  jobs_.Start([this, roots, db = db_path_, progress, gone]() -> std::function<void()> {
    const archive::ArchiveResult r = archive::RunArchive(env_, roots, db, archive::kArchiveMask,
                                                         progress.get(), jobs_.stop(), gone);
    return [this, r, progress] { UpdateEnded(r, progress->problems); };
  });
}

void ArchiveWindow::UpdateEnded(const archive::ArchiveResult& r,
                                const std::vector<std::string>& problems) {
  progress_->hide();
  cancel_->hide();
  for (QAction* a : {add_folder_action_, update_action_, remove_gone_action_}) a->setEnabled(true);
  message_page_->SetButtonsEnabled(true);
  reads_->Reopen();
  Reload();
  Say(r.outcome == archive::ArchiveOutcome::kDone ? QStringLiteral("The archive is up to date.")
                                                  : QStringLiteral("The update did not finish."));
  const bool failed =
      r.outcome != archive::ArchiveOutcome::kDone && r.outcome != archive::ArchiveOutcome::kStopped;
  Dialogs::Current().Tell(this, failed ? Dialogs::Icon::kWarning : Dialogs::Icon::kInformation,
                          QStringLiteral("Update"), UpdateSummary(r, problems, db_path_));
}

void ArchiveWindow::ShowSources() { TellSources(this, env_, *reads_); }

void ArchiveWindow::AskAndRemoveGone() {
  if (Busy()) return;
  AskToRemoveGone(this, *reads_, [this] {
    if (!Busy()) StartUpdate({}, archive::GoneLogs::kPrune);
  });
}

void ArchiveWindow::AskAndExport(bool search_results) {
  archive::SearchOptions search;
  if (Busy()) return;
  if (!search_results)
    return export_->Ask(conversations_->ChosenIds(),
                        QStringLiteral("Choose one or more conversations first."));
  const bool typed = search_->Options(&search).ok();
  export_->Ask(typed ? search_->HitConversations() : std::vector<int64_t>{},
               QStringLiteral("Search for something first."), &search);
}

void ArchiveWindow::ExportConversations(const std::vector<int64_t>& conversations,
                                        const QString& format, const QString& folder) {
  export_->Run(conversations, format, folder);
}

}  // namespace chatterwick::gui
