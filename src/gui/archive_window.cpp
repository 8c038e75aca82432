#include "gui/archive_window.h"

#include <QAction>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <QVBoxLayout>
#include <QValueAxis>
#include <chrono>
#include <limits>
#include <map>

#include "archive/archive.h"
#include "archive/export.h"
#include "archive/export_format.h"
#include "archive/names.h"
#include "archive/query.h"
#include "core/text.h"
#include "core/time_left.h"
#include "gui/display_text.h"
#include "gui/message_view.h"

namespace chatterwick::gui {

namespace {

using archive::NodeRef;
constexpr int kNodeRole = Qt::UserRole + 1;  // level, then id
constexpr int kIdRole = Qt::UserRole + 2;
constexpr int64_t kHitPage = 200;
const QStringList kFormats = {"html", "txt", "json", "jsonl", "csv"};

QString Text(std::string_view bytes) { return DecodeForDisplay(bytes); }

QString ShortStamp(const std::string& stamp) {
  return Text(archive::ReadableStamp(stamp).substr(0, 16));
}

// Tells the window of an update run's progress, from the run's thread.
class UpdateObserver : public RunObserver {
 public:
  UpdateObserver(QObject* window, QProgressBar* bar) : window_(window), bar_(bar) {}
  void OnTotal(int64_t logs, uint64_t bytes) override {
    total_logs_ = logs;
    total_bytes_ = bytes;
    start_ = Clock::now();
    Show();
  }
  void OnLogDone(uint64_t bytes, int64_t) override {
    done_bytes_ += bytes;
    ++done_;
    // At most ten a second: the window need not hear of every log.
    if (Clock::now() - shown_ >= std::chrono::milliseconds(100) || done_ == total_logs_) Show();
  }
  void OnProblem(const Problem& problem) override { problems.push_back(ProblemLine(problem)); }
  // Read by the window once the run has ended.
  std::vector<std::string> problems;

 private:
  using Clock = std::chrono::steady_clock;
  void Show() {
    shown_ = Clock::now();
    const double share =
        total_bytes_ ? static_cast<double>(done_bytes_) / static_cast<double>(total_bytes_) : 0.0;
    const double seconds = std::chrono::duration<double>(shown_ - start_).count();
    QString text = QStringLiteral("%1 of %2 logs").arg(done_).arg(total_logs_);
    if (const std::optional<double> left = SecondsLeft(share, seconds))
      text += QStringLiteral(", about %1 s left").arg(qRound(*left));
    const int value = static_cast<int>(share * 1000);
    QMetaObject::invokeMethod(
        window_,
        [bar = bar_, text, value] {
          bar->setValue(value);
          bar->setFormat(text);
        },
        Qt::QueuedConnection);
  }
  QObject* window_;
  QProgressBar* bar_;
  int64_t total_logs_ = 0, done_ = 0;
  uint64_t total_bytes_ = 0, done_bytes_ = 0;
  Clock::time_point start_ = Clock::now(), shown_ = Clock::now() - std::chrono::seconds(1);
};

}  // namespace

ArchiveWindow::ArchiveWindow(std::string db_path, Env& env, QString log_folder)
    : db_path_(std::move(db_path)), env_(env), log_folder_(std::move(log_folder)) {
  setObjectName("frmArchive");
  // Named after its file, as document windows are.
  setWindowTitle(QFileInfo(Text(db_path_)).fileName() + QStringLiteral(" \u2014 chatterwick"));
  seams_.choose_folder = [this](const QString& start) {
    return QFileDialog::getExistingDirectory(this, QStringLiteral("Log folder"), start);
  };
  seams_.choose_format = [this](const QStringList& formats) {
    bool ok = false;
    const QString f = QInputDialog::getItem(this, QStringLiteral("Export"),
                                            QStringLiteral("Format:"), formats, 0, false, &ok);
    return ok ? f : QString();
  };
  seams_.inform = [this](const QString& title, const QString& text) {
    QMessageBox::information(this, title, text);
  };
  seams_.open_url = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
  CreateActions();
  CreateMenus();
  pages_ = new QStackedWidget(this);
  auto* message_page = new QWidget(pages_);
  auto* column = new QVBoxLayout(message_page);
  message_ = new QLabel(message_page);
  message_->setObjectName("lblArchiveMessage");
  message_->setWordWrap(true);
  message_->setAlignment(Qt::AlignCenter);
  build_button_ =
      new QPushButton(QStringLiteral("Build the archive from a log folder\u2026"), message_page);
  build_button_->setObjectName("cmdBuild");
  connect(build_button_, &QPushButton::clicked, this, [this] { AskAndUpdate(); });
  column->addStretch();
  column->addWidget(message_);
  column->addWidget(build_button_, 0, Qt::AlignCenter);
  column->addStretch();
  pages_->addWidget(message_page);
  pages_->addWidget(CreateBrowser());
  setCentralWidget(pages_);
  CreateStatusBar();
  ReadSettings();
  Reload();
}

ArchiveWindow::~ArchiveWindow() {
  stop_.store(2);
  for (Worker& w : workers_) w.thread.join();
}

bool ArchiveWindow::Busy() const { return running_.load() > 0; }

void ArchiveWindow::Spawn(std::function<std::function<void()>()> work) {
  // Threads that have ended go, so that a long session keeps none.
  std::erase_if(workers_, [](Worker& w) {
    if (!w.finished->load()) return false;
    w.thread.join();
    return true;
  });
  ++running_;
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([this, work, finished] {
    std::function<void()> done = work();
    {
      const std::lock_guard<std::mutex> lock(done_mutex_);
      done_.push_back(std::move(done));
    }
    finished->store(true);
    QMetaObject::invokeMethod(
        this, [this] { DeliverDone(); }, Qt::QueuedConnection);
  });
  workers_.push_back({std::move(thread), std::move(finished)});
}

void ArchiveWindow::DeliverDone() {
  std::vector<std::function<void()>> ready;
  {
    const std::lock_guard<std::mutex> lock(done_mutex_);
    ready.swap(done_);
  }
  for (std::function<void()>& done : ready) {
    --running_;
    if (done) done();
  }
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
  edit->addAction(QStringLiteral("&Copy"), QKeySequence::Copy, this, [this] { CopySelection(); });
  edit->addAction(QStringLiteral("&Find in the Archive"), QKeySequence::Find, this, [this] {
    tabs_->setCurrentIndex(1);
    query_->setFocus();
    query_->selectAll();
  });
  edit->addAction(QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3), this,
                  [this] { MoveHit(1); });
  edit->addAction(QStringLiteral("Find &Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), this,
                  [this] { MoveHit(-1); });
  edit->addAction(QStringLiteral("Filter the &Tree"), QKeySequence(Qt::CTRL | Qt::Key_L), this,
                  [this] { tree_filter_->setFocus(); });
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->addAction(QStringLiteral("&Conversation"), QKeySequence(Qt::ALT | Qt::Key_1), this,
                  [this] { tabs_->setCurrentIndex(0); });
  view->addAction(QStringLiteral("&Search"), QKeySequence(Qt::ALT | Qt::Key_2), this,
                  [this] { tabs_->setCurrentIndex(1); });
  view->addAction(QStringLiteral("S&tatistics"), QKeySequence(Qt::ALT | Qt::Key_3), this,
                  [this] { tabs_->setCurrentIndex(2); });
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("&Keyboard Shortcuts"), QKeySequence::HelpContents, this,
                  [this] { ShowShortcuts(); });
  help->addAction(QStringLiteral("&About chatterwick"), this, [this] { ShowAbout(); });
  QToolBar* tools = addToolBar(QStringLiteral("Archive"));
  tools->setObjectName("tbArchive");
  tools->addAction(update_action_);
  tools->addAction(export_action_);
}

QWidget* ArchiveWindow::CreateBrowser() {
  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->setObjectName("splArchive");
  auto* left = new QWidget(splitter_);
  auto* left_column = new QVBoxLayout(left);
  left_column->setContentsMargins(0, 0, 0, 0);
  tree_filter_ = new QLineEdit(left);
  tree_filter_->setObjectName("txtTreeFilter");
  tree_filter_->setPlaceholderText(QStringLiteral("Filter contacts"));
  tree_filter_->setClearButtonEnabled(true);
  connect(tree_filter_, &QLineEdit::textChanged, this, [this](const QString& t) { FilterTree(t); });
  tree_ = new QTreeWidget(left);
  tree_->setObjectName("treArchive");
  tree_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Conversations"),
                          QStringLiteral("Messages"), QStringLiteral("Last message")});
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (!item) return;
    node_ = {static_cast<NodeRef::Level>(item->data(0, kNodeRole).toInt()),
             item->data(0, kIdRole).toLongLong()};
    ShowConversations(node_);
    if (tabs_->currentIndex() == 2) ShowStatistics(node_);
  });
  left_column->addWidget(tree_filter_);
  left_column->addWidget(tree_);

  conversations_ = new QTreeWidget(splitter_);
  conversations_->setObjectName("lstConversations");
  conversations_->setHeaderLabels(
      {QStringLiteral("Started"), QStringLiteral("Title"), QStringLiteral("Messages")});
  conversations_->setRootIsDecorated(false);
  conversations_->setSortingEnabled(true);
  conversations_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  connect(conversations_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) OpenConversation(item->data(0, kIdRole).toLongLong());
  });

  tabs_ = new QTabWidget(splitter_);
  tabs_->setObjectName("tabArchive");
  reading_ = new QListView(tabs_);
  reading_->setObjectName("lstMessages");
  messages_ = new MessageModel;
  messages_->setParent(reading_);
  reading_->setModel(messages_);
  reading_->setItemDelegate(new MessageDelegate(reading_));
  reading_->setUniformItemSizes(false);
  reading_->setWordWrap(true);
  reading_->setResizeMode(QListView::Adjust);
  reading_->setLayoutMode(QListView::Batched);
  reading_->setBatchSize(500);
  reading_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  reading_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  reading_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The message in hand takes a selectable copy of its text, so that a word
  // or a sentence of it can be copied, not only whole rows.
  connect(reading_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& now, const QModelIndex& before) {
            if (before.isValid()) reading_->closePersistentEditor(before);
            if (now.isValid()) reading_->openPersistentEditor(now);
          });
  connect(reading_, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
    const QString link = FirstLink(index.data(MessageModel::kBodyRole).toString());
    if (!link.isEmpty()) seams_.open_url(link);
  });
  tabs_->addTab(reading_, QStringLiteral("Conversation"));
  tabs_->addTab(CreateSearchPage(), QStringLiteral("Search"));
  tabs_->addTab(CreateStatisticsPage(), QStringLiteral("Statistics"));
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == 2) ShowStatistics(node_);
  });
  splitter_->setStretchFactor(2, 3);
  return splitter_;
}

QWidget* ArchiveWindow::CreateSearchPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  query_ = new QLineEdit(page);
  query_->setObjectName("txtQuery");
  query_->setPlaceholderText(QStringLiteral("Search: words, \"a phrase\", OR, -word, prefix*"));
  query_->setClearButtonEnabled(true);
  column->addWidget(query_);
  auto* filters = new QFormLayout;
  auto edit = [&](QLineEdit** e, const char* name, const QString& label) {
    *e = new QLineEdit(page);
    (*e)->setObjectName(name);
    filters->addRow(label, *e);
  };
  edit(&contact_, "txtContact", QStringLiteral("Contact:"));
  edit(&account_, "txtAccount", QStringLiteral("Account:"));
  edit(&protocol_, "txtProtocol", QStringLiteral("Protocol:"));
  edit(&sender_, "txtSender", QStringLiteral("Sender:"));
  auto date = [&](QCheckBox** on, QDateEdit** d, const char* name, const QString& label) {
    auto* row = new QHBoxLayout;
    *on = new QCheckBox(label, page);
    *d = new QDateEdit(QDate::currentDate(), page);
    (*d)->setObjectName(name);
    (*d)->setCalendarPopup(true);
    (*d)->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    (*d)->setMinimumDate(QDate(1000, 1, 1));
    (*d)->setMaximumDate(QDate(9999, 12, 31));
    (*d)->setEnabled(false);
    connect(*on, &QCheckBox::toggled, *d, &QWidget::setEnabled);
    row->addWidget(*on);
    row->addWidget(*d);
    row->addStretch();
    filters->addRow(row);
  };
  date(&from_on_, &from_, "dteFrom", QStringLiteral("From"));
  date(&to_on_, &to_, "dteTo", QStringLiteral("To (the whole day)"));
  column->addLayout(filters);
  hit_count_ = new QLabel(page);
  hit_count_->setObjectName("lblHits");
  column->addWidget(hit_count_);
  hits_ = new QListWidget(page);
  hits_->setObjectName("lstHits");
  hits_->setUniformItemSizes(true);
  hits_->setItemDelegate(new HitDelegate(hits_));
  column->addWidget(hits_);
  connect(hits_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { OpenHit(hits_->row(item)); });
  connect(hits_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { OpenHit(hits_->row(item)); });
  // The next page comes when the list is scrolled to its end.
  connect(hits_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (value == hits_->verticalScrollBar()->maximum()) FetchHits(false);
  });
  search_timer_ = new QTimer(this);
  search_timer_->setSingleShot(true);
  search_timer_->setInterval(300);
  connect(search_timer_, &QTimer::timeout, this, [this] { RunSearch(); });
  for (QLineEdit* e : {query_, contact_, account_, protocol_, sender_})
    connect(e, &QLineEdit::textChanged, this, [this] { ScheduleSearch(); });
  for (QCheckBox* c : {from_on_, to_on_})
    connect(c, &QCheckBox::toggled, this, [this] { ScheduleSearch(); });
  for (QDateEdit* d : {from_, to_})
    connect(d, &QDateEdit::dateChanged, this, [this] { ScheduleSearch(); });
  return page;
}

QWidget* ArchiveWindow::CreateStatisticsPage() {
  auto* scroll = new QScrollArea;
  scroll->setWidgetResizable(true);
  statistics_ = new QWidget;
  statistics_->setObjectName("pgeStatistics");
  new QVBoxLayout(statistics_);
  scroll->setWidget(statistics_);
  return scroll;
}

void ArchiveWindow::CreateStatusBar() {
  status_ = new QLabel(this);
  status_->setObjectName("lblArchiveStatus");
  status_->setTextFormat(Qt::RichText);
  connect(status_, &QLabel::linkActivated, this,
          [this](const QString& link) { seams_.open_url(link); });
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

void ArchiveWindow::ShowMessagePage(const QString& text, bool offer_build) {
  message_->setText(text);
  build_button_->setVisible(offer_build);
  pages_->setCurrentIndex(0);
  export_action_->setEnabled(false);
  export_hits_action_->setEnabled(false);
}

void ArchiveWindow::Reload() {
  reader_.reset();
  const QString file = Text(db_path_);
  ::chatterwick::Status s = archive::ArchiveReader::Open(db_path_, &reader_);
  if (s.IsNotFound())
    return ShowMessagePage(
        QStringLiteral("There is no archive at %1 yet.\n\nThe archive keeps every "
                       "log of a log folder, with full time stamps, to browse, "
                       "read and search.")
            .arg(file),
        true);
  if (!s.ok())
    return ShowMessagePage(
        QStringLiteral("%1 cannot be read: %2.\n\nNothing was changed.")
            .arg(file,
                 Text(s.IsInvalidData() ? "it is not a chatterwick archive (" + s.message() + ")"
                                        : s.message())),
        false);
  FillTree();
  if (tree_->topLevelItemCount() == 0 ||
      tree_->topLevelItem(0)->data(2, Qt::DisplayRole).toLongLong() == 0)
    return ShowMessagePage(QStringLiteral("The archive at %1 is empty.").arg(file), true);
  pages_->setCurrentIndex(1);
  export_action_->setEnabled(true);
  export_hits_action_->setEnabled(true);
  if (!tree_->currentItem()) tree_->setCurrentItem(tree_->topLevelItem(0));
}

void ArchiveWindow::FillTree() {
  tree_->clear();
  std::vector<archive::TreeNode> nodes;
  if (!reader_->Tree(&nodes).ok()) return;
  auto* everything = new QTreeWidgetItem(tree_, {QStringLiteral("Everything")});
  everything->setData(0, kNodeRole, static_cast<int>(NodeRef::Level::kEverything));
  everything->setData(0, kIdRole, qlonglong{0});
  std::map<std::pair<int, int64_t>, QTreeWidgetItem*> items;
  int64_t conversations = 0, messages = 0;
  std::string last;
  for (const archive::TreeNode& n : nodes) {
    QTreeWidgetItem* parent = everything;
    if (n.node.level != NodeRef::Level::kProtocol)
      parent = items[{static_cast<int>(n.node.level) - 1, n.parent_id}];
    if (!parent) continue;
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, Text(n.display_name));
    item->setToolTip(0, Text(n.name));
    item->setData(1, Qt::DisplayRole, qlonglong{n.conversations});
    item->setData(2, Qt::DisplayRole, qlonglong{n.messages});
    item->setText(3, ShortStamp(n.last_sent_at));
    item->setData(0, kNodeRole, static_cast<int>(n.node.level));
    item->setData(0, kIdRole, qlonglong{n.node.id});
    items[{static_cast<int>(n.node.level), n.node.id}] = item;
    if (n.node.level == NodeRef::Level::kProtocol) {
      conversations += n.conversations;
      messages += n.messages;
      last = std::max(last, n.last_sent_at);
    }
  }
  everything->setData(1, Qt::DisplayRole, qlonglong{conversations});
  everything->setData(2, Qt::DisplayRole, qlonglong{messages});
  everything->setText(3, ShortStamp(last));
  everything->setExpanded(true);
  for (int i = 0; i < everything->childCount(); ++i) everything->child(i)->setExpanded(true);
  for (int c = 0; c < 4; ++c) tree_->resizeColumnToContents(c);
  FilterTree(tree_filter_->text());
}

void ArchiveWindow::FilterTree(const QString& typed) {
  const std::string folded = archive::FoldForSearch(EncodeTyped(typed));
  // An item shows when it or an item below it matches.
  std::function<bool(QTreeWidgetItem*)> show = [&](QTreeWidgetItem* item) {
    bool any = folded.empty() ||
               archive::FoldForSearch(EncodeTyped(item->text(0))).find(folded) != std::string::npos;
    for (int i = 0; i < item->childCount(); ++i) any |= show(item->child(i));
    item->setHidden(!any);
    return any;
  };
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) show(tree_->topLevelItem(i));
  if (tree_->topLevelItemCount() > 0) tree_->topLevelItem(0)->setHidden(false);
}

void ArchiveWindow::SelectNode(const NodeRef& node) {
  for (QTreeWidgetItemIterator it(tree_); *it; ++it)
    if ((*it)->data(0, kNodeRole).toInt() == static_cast<int>(node.level) &&
        (*it)->data(0, kIdRole).toLongLong() == node.id) {
      tree_->setCurrentItem(*it);
      return;
    }
}

void ArchiveWindow::ShowConversations(const NodeRef& node) {
  conversations_->setSortingEnabled(false);
  conversations_->clear();
  std::vector<archive::ConversationRow> rows;
  if (!reader_ || !reader_->Conversations(node, &rows).ok()) return;
  for (const archive::ConversationRow& r : rows) {
    auto* item = new QTreeWidgetItem(conversations_);
    item->setText(0, r.started_at.empty() ? Text(r.file_name) : ShortStamp(r.started_at));
    item->setText(1, Text(r.title));
    item->setData(2, Qt::DisplayRole, qlonglong{r.messages});
    item->setData(0, kIdRole, qlonglong{r.id});
    if (!r.present) {
      // Kept in the archive, but its log is gone from the disk.
      item->setText(1, item->text(1) + QStringLiteral("  (log gone)"));
      for (int c = 0; c < 3; ++c)
        item->setForeground(c, palette().color(QPalette::PlaceholderText));
      item->setToolTip(1, QStringLiteral("The last update no longer found this log on the disk."));
    }
  }
  conversations_->setSortingEnabled(true);
  conversations_->sortByColumn(0, Qt::AscendingOrder);
  conversations_->resizeColumnToContents(0);
  conversations_->resizeColumnToContents(2);
  // The latest conversation opens, as a chat opens at its end.
  if (conversations_->topLevelItemCount() > 0)
    conversations_->setCurrentItem(
        conversations_->topLevelItem(conversations_->topLevelItemCount() - 1));
  else messages_->SetMessages({});
  Say(rows.size() == 1 ? QStringLiteral("1 conversation")
                       : QStringLiteral("%L1 conversations").arg(rows.size()));
}

void ArchiveWindow::OpenConversation(int64_t conversation, int64_t message_id) {
  std::vector<archive::MessageRow> rows;
  if (!reader_ ||
      !reader_->Messages(conversation, 0, std::numeric_limits<int64_t>::max(), &rows).ok())
    return;
  messages_->SetMessages(rows);
  if (!message_id) {
    reading_->scrollToTop();
    return;
  }
  // A hit: its message chosen and in the middle of the view.
  tabs_->setCurrentIndex(0);
  const int row = messages_->RowOf(message_id);
  if (row < 0) return;
  const QModelIndex index = messages_->index(row);
  reading_->setCurrentIndex(index);
  reading_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void ArchiveWindow::ScheduleSearch() { search_timer_->start(); }

void ArchiveWindow::RunSearch() {
  search_timer_->stop();
  ++search_generation_;
  hits_->clear();
  hit_messages_.clear();
  hit_conversations_.clear();
  hits_total_ = 0;
  FetchHits(true);
}

void ArchiveWindow::FetchHits(bool first_page) {
  if (fetching_ && !first_page) return;
  if (!first_page && static_cast<int64_t>(hit_messages_.size()) >= hits_total_) return;
  archive::SearchOptions options;
  const ::chatterwick::Status typed =
      archive::TranslateQuery(EncodeTyped(query_->text()), &options.query);
  if (!typed.ok()) {
    hit_count_->setText(Text(typed.message()));
    return;
  }
  options.contact = EncodeTyped(contact_->text());
  options.account = EncodeTyped(account_->text());
  options.protocol = EncodeTyped(protocol_->text());
  options.sender = EncodeTyped(sender_->text());
  if (from_on_->isChecked()) options.from = EncodeTyped(from_->date().toString(Qt::ISODate));
  if (to_on_->isChecked()) options.to = EncodeTyped(to_->date().toString(Qt::ISODate));
  if (!options.from.empty() && !options.to.empty() && options.from > options.to) {
    hit_count_->setText(QStringLiteral("The day From is after the day To."));
    return;
  }
  options.limit = kHitPage;
  options.mark_start = "\x02";
  options.mark_end = "\x03";
  const int64_t offset = static_cast<int64_t>(hit_messages_.size());
  const int generation = search_generation_;
  const std::string db = db_path_;
  fetching_ = true;
  if (first_page) hit_count_->setText(QStringLiteral("Searching\u2026"));
  Spawn([this, options, offset, generation, db, first_page]() -> std::function<void()> {
    std::unique_ptr<archive::ArchiveReader> reader;
    std::vector<archive::SearchHit> page;
    int64_t total = -1;
    ::chatterwick::Status s = archive::ArchiveReader::Open(db, &reader);
    if (s.ok() && first_page) s = reader->CountHits(options, &total);
    if (s.ok())
      s = reader->Search(options, offset, [&](const archive::SearchHit& h) {
        page.push_back(h);
        return true;
      });
    return [this, s, page = std::move(page), total, generation] {
      if (generation != search_generation_) return;  // a later search took its place
      fetching_ = false;
      if (!s.ok()) {
        hit_count_->setText(QStringLiteral("The search failed: %1").arg(Text(s.message())));
        return;
      }
      if (total >= 0) {
        hits_total_ = total;
        hit_count_->setText(total == 1 ? QStringLiteral("1 message")
                                       : QStringLiteral("%L1 messages").arg(total));
      }
      for (const archive::SearchHit& h : page) {
        const QString marked = Text(text::TrimBlanks(h.body));
        QString body = marked;
        body.remove(QChar(2)).remove(QChar(3));
        const QString who = h.kind == "action" ? "* " + Text(h.sender) + " "
                            : h.sender.empty() ? QString()
                                               : Text(h.sender) + ": ";
        const QString place = (h.sent_at.empty() ? Text(h.time_text) : ShortStamp(h.sent_at)) +
                              "  " + Text(h.protocol + "/" + h.account + "/" + h.contact);
        auto* item = new QListWidgetItem(place + "\n" + who + body);
        item->setData(HitDelegate::kPlaceRole, place);
        item->setData(HitDelegate::kMarkedRole, who + marked);
        hits_->addItem(item);
        hit_messages_.push_back(h.message_id);
        hit_conversations_.push_back(h.conversation_id);
      }
    };
  });
}

void ArchiveWindow::OpenHit(int row) {
  if (row < 0 || row >= static_cast<int>(hit_messages_.size())) return;
  hits_->setCurrentRow(row);
  OpenConversation(hit_conversations_[static_cast<size_t>(row)],
                   hit_messages_[static_cast<size_t>(row)]);
}

void ArchiveWindow::MoveHit(int step) {
  if (hit_messages_.empty()) return;
  const int n = static_cast<int>(hit_messages_.size());
  const int row =
      hits_->currentRow() < 0 ? (step > 0 ? 0 : n - 1) : (hits_->currentRow() + step + n) % n;
  OpenHit(row);
}

void ArchiveWindow::AskAndUpdate() {
  if (Busy()) return;
  const QString folder = seams_.choose_folder(log_folder_);
  if (!folder.isEmpty()) StartUpdate(folder);
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
  auto observer = std::make_shared<UpdateObserver>(this, progress_);
  Spawn([this, root, db, observer]() -> std::function<void()> {
    const archive::ArchiveResult r =
        archive::RunArchive(env_, root, db, "*.html", observer.get(), &stop_);
    return [this, r, observer] {
      progress_->hide();
      cancel_->hide();
      update_action_->setEnabled(true);
      build_button_->setEnabled(true);
      Reload();
      const archive::ArchiveSummary& m = r.summary;
      QString text;
      switch (r.outcome) {
        case archive::ArchiveOutcome::kDone:
        case archive::ArchiveOutcome::kStopped:
          text = QStringLiteral(
                     "%1Logs found: %2 (new: %3, changed: %4, unchanged: %5, could not be "
                     "read: %6)\nMessages added: %7\nMessages in the archive: %8")
                     .arg(r.outcome == archive::ArchiveOutcome::kStopped
                              ? QStringLiteral("Stopped: the logs read so far are kept.\n")
                              : QString())
                     .arg(m.logs_found)
                     .arg(m.new_logs)
                     .arg(m.changed_logs)
                     .arg(m.unchanged_logs)
                     .arg(m.unreadable_logs)
                     .arg(m.messages_added)
                     .arg(m.messages_total);
          break;
        default:
          text = Text(r.why.message());
      }
      for (const std::string& p : observer->problems) text += "\n" + Text(p);
      Say(r.outcome == archive::ArchiveOutcome::kDone
              ? QStringLiteral("The archive is up to date.")
              : QStringLiteral("The update did not finish."));
      seams_.inform(QStringLiteral("Update"), text);
    };
  });
}

void ArchiveWindow::CancelUpdate() { stop_.store(2); }

void ArchiveWindow::AskAndExport(bool search_results) {
  if (Busy()) return;
  std::vector<int64_t> ids;
  if (!search_results) {
    for (QTreeWidgetItem* item : conversations_->selectedItems())
      ids.push_back(item->data(0, kIdRole).toLongLong());
    if (ids.empty()) {
      seams_.inform(QStringLiteral("Export"),
                    QStringLiteral("Choose one or more conversations first."));
      return;
    }
  } else {
    ids = hit_conversations_;
    if (ids.empty()) {
      seams_.inform(QStringLiteral("Export"), QStringLiteral("Search for something first."));
      return;
    }
  }
  const QString format = seams_.choose_format(kFormats);
  if (format.isEmpty()) return;
  const QString folder = seams_.choose_folder(QString());
  if (!folder.isEmpty()) ExportConversations(ids, format, folder);
}

void ArchiveWindow::ExportConversations(const std::vector<int64_t>& conversations,
                                        const QString& format, const QString& folder) {
  archive::ArchiveExportOptions options;
  options.format = *archive::ExportFormatNamed(EncodeTyped(format));
  options.conversations = conversations;
  const std::string dir = EncodeTyped(folder.endsWith('/') ? folder : folder + '/'), db = db_path_;
  Say(QStringLiteral("Exporting\u2026"));
  Spawn([this, options, dir, db]() -> std::function<void()> {
    const archive::ArchiveExportResult r =
        archive::ExportArchiveToFolder(env_, db, dir, options, nullptr, &stop_);
    return [this, r, dir] {
      if (!r.status.ok()) {
        Say(QStringLiteral("The export failed: %1").arg(Text(r.status.message())));
        return;
      }
      const QString where = Text(dir);
      Say(QStringLiteral("%1 files written to %2 <a href=\"%3\">Open folder</a>")
              .arg(r.summary.written)
              .arg(where.toHtmlEscaped(), QUrl::fromLocalFile(where).toString()));
    };
  });
}

void ArchiveWindow::CopySelection() {
  // Characters chosen in the message in hand go before whole rows.
  if (auto* text = qobject_cast<QLabel*>(reading_->indexWidget(reading_->currentIndex()));
      text && text->hasSelectedText()) {
    QApplication::clipboard()->setText(text->selectedText());
    return;
  }
  QStringList lines;
  QModelIndexList rows = reading_->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end());
  for (const QModelIndex& i : rows) lines << i.data(Qt::DisplayRole).toString();
  if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join('\n') + '\n');
}

void ArchiveWindow::ShowStatistics(const NodeRef& node) {
  if (!reader_) return;
  // Counted over every message below the node: a worker's job, on a
  // connection of its own.
  const std::string db = db_path_;
  const int generation = ++statistics_generation_;
  Spawn([this, db, node, generation]() -> std::function<void()> {
    std::unique_ptr<archive::ArchiveReader> reader;
    auto st = std::make_shared<archive::Statistics>();
    ::chatterwick::Status s = archive::ArchiveReader::Open(db, &reader);
    if (s.ok()) s = reader->Stats(node, st.get());
    return [this, s, st, generation] {
      if (s.ok() && generation == statistics_generation_) ShowStatistics(*st);
    };
  });
}

void ArchiveWindow::ShowStatistics(const archive::Statistics& st) {
  QLayout* layout = statistics_->layout();
  while (QLayoutItem* item = layout->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  auto* summary = new QLabel(QStringLiteral("%L1 messages, from %2 to %3")
                                 .arg(st.messages)
                                 .arg(ShortStamp(st.first_sent_at), ShortStamp(st.last_sent_at)),
                             statistics_);
  summary->setObjectName("lblStatsSummary");
  layout->addWidget(summary);
  auto chart = [&](const QString& title, const QStringList& labels, const QList<qreal>& values) {
    auto* set = new QBarSet(title);
    set->append(values);
    auto* series = new QBarSeries;
    series->append(set);
    auto* c = new QChart;
    c->addSeries(series);
    c->setTitle(title);
    c->legend()->hide();
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    c->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto* y = new QValueAxis;
    y->setLabelFormat("%d");
    c->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    auto* view = new QChartView(c, statistics_);
    view->setMinimumHeight(260);
    layout->addWidget(view);
  };
  QStringList months, hours;
  QList<qreal> per_month, per_hour;
  for (const auto& [month, n] : st.per_month)
    months << Text(month), per_month << static_cast<qreal>(n);
  for (int h = 0; h < 24; ++h) {
    hours << QString::number(h);
    const auto it = st.per_hour.find(h);
    per_hour << static_cast<qreal>(it == st.per_hour.end() ? 0 : it->second);
  }
  chart(QStringLiteral("Messages per month"), months, per_month);
  chart(QStringLiteral("Messages by hour of the day"), hours, per_hour);
  auto list = [&](const char* name, const QString& title,
                  const std::vector<std::pair<std::string, int64_t>>& rows) {
    auto* tree = new QTreeWidget(statistics_);
    tree->setObjectName(name);
    tree->setHeaderLabels({title, QStringLiteral("Messages")});
    tree->setRootIsDecorated(false);
    for (const auto& [who, n] : rows) {
      auto* item = new QTreeWidgetItem(tree, {Text(who)});
      item->setData(1, Qt::DisplayRole, qlonglong{n});
    }
    tree->setMinimumHeight(160);
    layout->addWidget(tree);
  };
  list("lstSenders", QStringLiteral("Sender"), st.per_sender);
  list("lstTopContacts", QStringLiteral("Contact"), st.top_contacts);
}

void ArchiveWindow::ShowShortcuts() {
  QString text;
  for (QAction* menu : menuBar()->actions())
    for (QAction* a : menu->menu()->actions())
      if (!a->isSeparator() && !a->shortcut().isEmpty())
        text +=
            a->text().remove('&') + "\t" + a->shortcut().toString(QKeySequence::NativeText) + "\n";
  seams_.inform(QStringLiteral("Keyboard Shortcuts"), text);
}

void ArchiveWindow::ShowAbout() {
  seams_.inform(QStringLiteral("About chatterwick"),
                QStringLiteral("chatterwick 0.1.0\nReads, catalogues and archives chat logs.\n\n"
                               "Archive: %1")
                    .arg(Text(db_path_)));
}

}  // namespace chatterwick::gui
