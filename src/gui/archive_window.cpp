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
#include <QVBoxLayout>

#include "archive/archive.h"
#include "archive/export.h"
#include "archive/export_format.h"
#include "gui/conversation_list.h"
#include "gui/dialogs.h"
#include "gui/display_text.h"
#include "gui/reading_view.h"
#include "gui/search_pane.h"
#include "gui/statistics_pane.h"
#include "gui/tree_pane.h"
#include "gui/update_report.h"

namespace chatterwick::gui {

namespace {

using archive::NodeRef;
using Kind = archive::BackgroundReader::Kind;
using Job = archive::BackgroundReader::Job;
const QStringList kFormats = {"html", "txt", "json", "jsonl", "csv"};
constexpr int kConversationTab = 0, kSearchTab = 1, kStatisticsTab = 2;
// A conversation comes a page at a time: the first shows at once.
constexpr int64_t kMessagePage = 2000;

}  // namespace

ArchiveWindow::ArchiveWindow(std::string db_path, Env& env, QString log_folder)
    : db_path_(std::move(db_path)), env_(env), log_folder_(std::move(log_folder)) {
  setObjectName("frmArchive");
  // Named after its file, as document windows are.
  setWindowTitle(QFileInfo(DecodeForDisplay(db_path_)).fileName() +
                 QStringLiteral(" \u2014 chatterwick"));
  reads_ = std::make_unique<archive::BackgroundReader>(
      db_path_, [this](std::function<void()> f) { Post(std::move(f)); });
  CreateActions();
  CreateMenus();
  pages_ = new QStackedWidget(this);
  pages_->addWidget(CreateMessagePage());
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
  stop_.store(2);
  if (job_.joinable()) job_.join();
}

void ArchiveWindow::Post(std::function<void()> f) {
  {
    const std::lock_guard<std::mutex> lock(posted_mutex_);
    posted_.push_back(std::move(f));
  }
  QMetaObject::invokeMethod(
      this, [this] { RunPosted(); }, Qt::QueuedConnection);
}

void ArchiveWindow::RunPosted() {
  std::vector<std::function<void()>> ready;
  {
    const std::lock_guard<std::mutex> lock(posted_mutex_);
    ready.swap(posted_);
  }
  for (std::function<void()>& f : ready) f();
}

void ArchiveWindow::CreateActions() {
  update_action_ = new QAction(QStringLiteral("&Update from a Log Folder\u2026"), this);
  update_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
  connect(update_action_, &QAction::triggered, this, [this] { AskAndUpdate(); });
  export_action_ = new QAction(QStringLiteral("&Export Selected Conversations\u2026"), this);
  export_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  connect(export_action_, &QAction::triggered, this, [this] { AskAndExport(false); });
  export_hits_action_ = new QAction(QStringLiteral("Export Search &Results\u2026"), this);
  export_hits_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
  connect(export_hits_action_, &QAction::triggered, this, [this] { AskAndExport(true); });
}

void ArchiveWindow::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->addAction(update_action_);
  file->addAction(export_action_);
  file->addAction(export_hits_action_);
  file->addSeparator();
  file->addAction(QStringLiteral("&Close"), QKeySequence(Qt::CTRL | Qt::Key_W), this,
                  &QWidget::close);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->addAction(QStringLiteral("&Copy"), QKeySequence::Copy, this, [this] {
    const QString text = reading_->ChosenText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
  });
  edit->addAction(QStringLiteral("&Find in the Archive"), QKeySequence::Find, this, [this] {
    tabs_->setCurrentIndex(kSearchTab);
    search_->FocusQuery();
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
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("&Keyboard Shortcuts"), QKeySequence::HelpContents, this,
                  [this] { ShowShortcuts(); });
  help->addAction(QStringLiteral("&About chatterwick"), this, [this] {
    Tell(QStringLiteral("About chatterwick"),
         QStringLiteral("chatterwick 0.1.0\nReads, catalogues and archives chat logs.\n\n"
                        "Archive: %1")
             .arg(DecodeForDisplay(db_path_)));
  });
  QToolBar* tools = addToolBar(QStringLiteral("Archive"));
  tools->setObjectName("tbArchive");
  tools->addAction(update_action_);
  tools->addAction(export_action_);
}

QWidget* ArchiveWindow::CreateMessagePage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  message_ = new QLabel(page);
  message_->setObjectName("lblArchiveMessage");
  message_->setWordWrap(true);
  message_->setAlignment(Qt::AlignCenter);
  build_button_ =
      new QPushButton(QStringLiteral("Build the archive from a log folder\u2026"), page);
  build_button_->setObjectName("cmdBuild");
  connect(build_button_, &QPushButton::clicked, this, [this] { AskAndUpdate(); });
  column->addStretch();
  column->addWidget(message_);
  column->addWidget(build_button_, 0, Qt::AlignCenter);
  column->addStretch();
  return page;
}

QWidget* ArchiveWindow::CreateBrowser() {
  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->setObjectName("splArchive");
  tree_ = new TreePane(splitter_);
  conversations_ = new ConversationList(splitter_);
  tabs_ = new QTabWidget(splitter_);
  tabs_->setObjectName("tabArchive");
  reading_ = new ReadingView(tabs_);
  search_ = new SearchPane(tabs_);
  statistics_ = new StatisticsPane(tabs_);
  tabs_->addTab(reading_, QStringLiteral("Conversation"));
  tabs_->addTab(search_, QStringLiteral("Search"));
  tabs_->addTab(statistics_, QStringLiteral("Statistics"));
  splitter_->setStretchFactor(2, 3);
  return splitter_;
}

void ArchiveWindow::ConnectPanes() {
  tree_->on_chosen = [this](const NodeRef& node) {
    node_ = node;
    ShowConversations(node);
    if (tabs_->currentIndex() == kStatisticsTab) ShowStatistics(node);
  };
  conversations_->on_opened = [this](int64_t id) { OpenConversation(id); };
  search_->on_changed = [this] { RunSearch(); };
  search_->on_more_wanted = [this] { FetchHits(search_->HitsShown()); };
  search_->on_hit_opened = [this](int64_t conversation, int64_t message) {
    OpenConversation(conversation, message);
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
    splitter_->setSizes({260, 330, 510});
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

void ArchiveWindow::ShowMessagePage(const QString& text, bool offer_build) {
  message_->setText(text);
  build_button_->setVisible(offer_build);
  pages_->setCurrentIndex(0);
  export_action_->setEnabled(false);
  export_hits_action_->setEnabled(false);
}

void ArchiveWindow::Reload() {
  // The panes show at once; the tree fills in when it has been read.
  if (pages_->currentIndex() != 0 || message_->text().isEmpty()) pages_->setCurrentIndex(1);
  Say(QStringLiteral("Reading the archive\u2026"));
  reads_->Schedule(Kind::kTree, [this](const Job& job) {
    auto nodes = std::make_shared<std::vector<archive::TreeNode>>();
    // A tree that cannot be read is an empty one.
    if (job.reader && !job.reader->Tree(nodes.get()).ok()) nodes->clear();
    job.deliver([this, opened = job.opened, nodes] { ShowTree(opened, *nodes); });
  });
}

void ArchiveWindow::ShowTree(const Status& opened, const std::vector<archive::TreeNode>& nodes) {
  Say(QString());
  const QString file = DecodeForDisplay(db_path_);
  if (opened.IsNotFound())
    return ShowMessagePage(
        QStringLiteral("There is no archive at %1 yet.\n\nThe archive keeps every "
                       "log of a log folder, with full time stamps, to browse, "
                       "read and search.")
            .arg(file),
        true);
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
  tree_->Fill(nodes);
  if (tree_->TotalMessages() == 0)
    return ShowMessagePage(QStringLiteral("The archive at %1 is empty.").arg(file), true);
  pages_->setCurrentIndex(1);
  export_action_->setEnabled(true);
  export_hits_action_->setEnabled(true);
}

void ArchiveWindow::SelectNode(const NodeRef& node) { tree_->Select(node); }

void ArchiveWindow::ShowConversations(const NodeRef& node) {
  reads_->Schedule(Kind::kConversations, [this, node](const Job& job) {
    if (!job.reader) return;
    auto rows = std::make_shared<std::vector<archive::ConversationRow>>();
    if (!job.reader->Conversations(node, rows.get()).ok()) return;
    job.deliver([this, rows] {
      conversations_->Show(*rows);
      if (rows->empty()) reading_->Show({});
      Say(rows->size() == 1 ? QStringLiteral("1 conversation")
                            : QStringLiteral("%L1 conversations").arg(rows->size()));
    });
  });
}

void ArchiveWindow::OpenConversation(int64_t conversation, int64_t message_id) {
  // A hit: its message chosen and in the middle of the view, once its page is there.
  if (message_id) tabs_->setCurrentIndex(kConversationTab);
  reads_->Schedule(Kind::kMessages, [this, conversation, message_id](const Job& job) {
    if (!job.reader) return;
    auto found = std::make_shared<bool>(message_id == 0);
    for (int64_t offset = 0;; offset += kMessagePage) {
      auto page = std::make_shared<std::vector<archive::MessageRow>>();
      if (!job.reader->Messages(conversation, offset, kMessagePage, page.get()).ok()) return;
      const bool more = static_cast<int64_t>(page->size()) == kMessagePage;
      job.deliver([this, page, offset, message_id, found] {
        if (offset == 0) reading_->Show(*page);
        else reading_->Append(*page);
        if (!*found) *found = reading_->ShowMessage(message_id);
      });
      if (!more || job.stop.Requested()) return;
    }
  });
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

void ArchiveWindow::ShowStatistics(const NodeRef& node) {
  // Counted over every message below the node: a long read, stopped when the choice changes.
  reads_->Schedule(Kind::kStatistics, [this, node](const Job& job) {
    if (!job.reader) return;
    auto st = std::make_shared<archive::Statistics>();
    if (job.reader->Stats(node, st.get()).ok()) job.deliver([this, st] { statistics_->Show(*st); });
  });
}

void ArchiveWindow::AskAndUpdate() {
  if (Busy()) return;
  const QString folder = Dialogs::Current().ChoosePath(this, Dialogs::Choose::kFolder, log_folder_);
  if (!folder.isEmpty()) StartUpdate(folder);
}

void ArchiveWindow::StartJob(std::function<std::function<void()>()> work) {
  if (job_.joinable()) job_.join();
  job_running_ = true;
  job_ = std::thread([this, work = std::move(work)] {
    std::function<void()> done = work();
    Post([this, done = std::move(done)] {
      job_running_ = false;
      if (done) done();
    });
  });
}

void ArchiveWindow::StartUpdate(const QString& log_folder) {
  stop_.store(0);
  progress_->setValue(0);
  progress_->setFormat(QStringLiteral("listing the logs\u2026"));
  progress_->show();
  cancel_->show();
  update_action_->setEnabled(false);
  build_button_->setEnabled(false);
  Say(QStringLiteral("Updating the archive from %1\u2026").arg(log_folder));
  const std::string root = EncodeTyped(log_folder), db = db_path_;
  auto progress = std::make_shared<UpdateProgress>([this](int value, const QString& text) {
    Post([this, value, text] {
      progress_->setValue(value);
      progress_->setFormat(text);
    });
  });
  StartJob([this, root, db, progress]() -> std::function<void()> {
    const archive::ArchiveResult r =
        archive::RunArchive(env_, root, db, "*.html", progress.get(), &stop_);
    return [this, r, progress] {
      progress_->hide();
      cancel_->hide();
      update_action_->setEnabled(true);
      build_button_->setEnabled(true);
      reads_->Reopen();
      Reload();
      Say(r.outcome == archive::ArchiveOutcome::kDone
              ? QStringLiteral("The archive is up to date.")
              : QStringLiteral("The update did not finish."));
      Tell(QStringLiteral("Update"), UpdateSummary(r, progress->problems));
    };
  });
}

void ArchiveWindow::AskAndExport(bool search_results) {
  if (Busy()) return;
  const std::vector<int64_t> ids =
      search_results ? search_->HitConversations() : conversations_->ChosenIds();
  if (ids.empty())
    return Tell(QStringLiteral("Export"),
                search_results ? QStringLiteral("Search for something first.")
                               : QStringLiteral("Choose one or more conversations first."));
  Dialogs& dialogs = Dialogs::Current();
  const QString format =
      dialogs.ChooseItem(this, QStringLiteral("Export"), QStringLiteral("Format:"), kFormats);
  if (format.isEmpty()) return;
  const QString folder = dialogs.ChoosePath(this, Dialogs::Choose::kFolder, QString());
  if (!folder.isEmpty()) ExportConversations(ids, format, folder);
}

void ArchiveWindow::ExportConversations(const std::vector<int64_t>& conversations,
                                        const QString& format, const QString& folder) {
  archive::ArchiveExportOptions options;
  options.format = *archive::ExportFormatNamed(EncodeTyped(format));
  options.conversations = conversations;
  const std::string dir = EncodeTyped(folder.endsWith('/') ? folder : folder + '/'), db = db_path_;
  Say(QStringLiteral("Exporting\u2026"));
  StartJob([this, options, dir, db]() -> std::function<void()> {
    const archive::ArchiveExportResult r =
        archive::ExportArchiveToFolder(env_, db, dir, options, nullptr, &stop_);
    return [this, r, dir] {
      if (!r.status.ok())
        return Say(
            QStringLiteral("The export failed: %1").arg(DecodeForDisplay(r.status.message())));
      const QString where = DecodeForDisplay(dir);
      QString said = QStringLiteral("%1 files written to %2 <a href=\"%3\">Open folder</a>")
                         .arg(r.summary.written)
                         .arg(where.toHtmlEscaped(), QUrl::fromLocalFile(where).toString());
      if (r.summary.not_written > 0)
        said += QStringLiteral("; %1 could not be written").arg(r.summary.not_written);
      Say(said);
    };
  });
}

void ArchiveWindow::ShowShortcuts() {
  QString text;
  for (QAction* menu : menuBar()->actions())
    for (QAction* a : menu->menu()->actions())
      if (!a->isSeparator() && !a->shortcut().isEmpty())
        text +=
            a->text().remove('&') + "\t" + a->shortcut().toString(QKeySequence::NativeText) + "\n";
  Tell(QStringLiteral("Keyboard Shortcuts"), text);
}

}  // namespace chatterwick::gui
