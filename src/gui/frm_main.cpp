#include "gui/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>
#include <memory>

#include "archive/archive.h"
#include "core/commands.h"
#include "core/log_view.h"
#include "core/output_folder.h"
#include "gui/archive_window.h"
#include "gui/display_text.h"
#include "platform/stop_signals.h"

namespace chatterwick::gui {

namespace {

constexpr int kClientWidth = 14190;
constexpr int kClientHeight = 8010;
// The free corner right of the export options: the status line, and under
// it the find bar.
constexpr int kStatusLeft = 9000;
constexpr int kStatusWidth = 5055;
constexpr int kFindBarTop = 7020;

struct LineSpec {
  int x1, y1, x2, y2;
};
constexpr LineSpec kLines[] = {
    {0, 5760, 14280, 5760},    // under the output pane
    {2040, 5760, 2040, 8160},  // single log | folder run
    {5160, 5760, 5160, 8160},  // folder run | export options
    {8880, 5760, 8880, 8040},  // closes the export group
};

// The faces the layout was drawn for rarely exist here; fontconfig picks the
// nearest, and the size, weight and underline stay as designed.
QFont Face(const char* family, double points, bool bold = false, bool underline = false) {
  QFont f(QString::fromLatin1(family));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(points);
  f.setBold(bold);
  f.setUnderline(underline);
  return f;
}

class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
};

// A box shows the ordinary pointer even while a command runs.
class ArrowCursor {
 public:
  ArrowCursor() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~ArrowCursor() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace

FrmMain::FrmMain(LoadedLog& log, Catalogue& catalogue, Env& env)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      ctx_{log, catalogue, *this, env, OutputFolder(env)} {
  auto box = [this](QMessageBox::Icon icon) {
    return [this, icon](const std::string& text, const std::string& title) {
      ArrowCursor arrow;
      QMessageBox b(icon, DecodeForDisplay(title), DecodeForDisplay(text), QMessageBox::Ok, this);
      ExecUntilStopped(b);
    };
  };
  message_box_ = box(QMessageBox::Information);
  warning_box_ = box(QMessageBox::Warning);
  chooser_ = [this](Choose what, const QString& start) {
    ArrowCursor arrow;
    switch (what) {
      case Choose::kLogToOpen:
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Load Log"), start,
            QStringLiteral("Chat logs (*.html *.htm);;All files (*)"));
      case Choose::kFileToSave:
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save"), start);
      case Choose::kFolder:
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Log folder"), start);
    }
    return QString();
  };
  open_folder_ = [](const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
  };
  Build();
}

int FrmMain::Px(int twips) const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
  return qRound(twips * dpi / 1440.0);
}

void FrmMain::Build() {
  setObjectName("frmMain");
  setWindowTitle(QString::fromLatin1(kAppTitle));
  setFont(Face("MS Sans Serif", 8.25));
  setFixedSize(Px(kClientWidth), Px(kClientHeight));
  // Created in tab-index order, so the focus chain follows it.
  CreateLogControls();
  CreateFolderRunControls();
  SetTabOrder();
  ConnectButtons();
  CreateFolderChooser();
  CreateStatusLine();
  setAcceptDrops(true);
  BuildFindBar();
  CreateArchiveButton();
  CreateShortcuts();
  load_button_->setFocus();
}

void FrmMain::Place(QWidget* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QLabel* FrmMain::AddLabel(const char* name, const char* caption, int left, int top, int width,
                          int height, const QFont& font) {
  auto* lbl = new QLabel(QString::fromLatin1(caption), this);
  lbl->setTextFormat(Qt::PlainText);
  lbl->setFont(font);
  Place(lbl, name, left, top, width, height);
  return lbl;
}

void FrmMain::CreateLogControls() {
  load_button_ = new QPushButton(QStringLiteral("Load Log"), this);
  Place(load_button_, "cmdLoad", 240, 6480, 1455, 375);

  output_pane_ = new QPlainTextEdit(this);
  Place(output_pane_, "txtOutput", 120, 480, 13935, 5175);
  output_pane_->setReadOnly(true);
  output_pane_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  output_pane_->setFocusPolicy(Qt::StrongFocus);
  output_pane_->setTabChangesFocus(true);
  output_pane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  output_pane_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  output_pane_->setFont(Face("System", 9.75, true));

  title_label_ = AddLabel("lblName", "", 120, 120, 14055, 255, Face("MS Sans Serif", 8.25, true));

  save_text_button_ = new QPushButton(QStringLiteral("Save as Text"), this);
  Place(save_text_button_, "cmdSaveTxt", 240, 6960, 1455, 375);
  save_text_button_->setEnabled(false);

  save_csv_button_ = new QPushButton(QStringLiteral("Save as CSV"), this);
  Place(save_csv_button_, "cmdSaveCSV", 240, 7440, 1455, 375);
  save_csv_button_->setEnabled(false);
}

void FrmMain::CreateFolderRunControls() {
  folder_run_button_ = new QPushButton(QStringLiteral("Parse Log Folder to CSV"), this);
  Place(folder_run_button_, "cmdCSV", 2280, 7320, 2655, 375);

  bom_check_ = new QCheckBox(QStringLiteral("Add UTF8 BOM  (CSV Exports Only)"), this);
  Place(bom_check_, "chkBOM", 5400, 6360, 3255, 375);
  bom_check_->setChecked(true);

  const QFont big = Face("MS Sans Serif", 13.5, false, true);
  AddLabel("Label_0", "Indivual Log:", 120, 5880, 1815, 375, big);
  AddLabel("Label1", "Log Folder Parsing: ", 2280, 5880, 2775, 375, big);
  AddLabel("Label2", "Export Options: ", 5400, 5880, 2775, 375, big);
  AddLabel("Label_1", "Folder:", 2160, 6360, 735, 255, Face("MS Sans Serif", 9.75));

  folder_edit_ = new QLineEdit(QStringLiteral("%appdata%\\.purple\\logs\\"), this);
  Place(folder_edit_, "txtFolder", 2880, 6360, 2175, 285);
  folder_edit_->setFont(Face("System", 9.75, true));
  folder_edit_->setToolTip(QStringLiteral("Include a trailing slash!"));

  AddLabel("Label_2", "Mask:", 2160, 6720, 735, 255, Face("MS Sans Serif", 9.75));

  mask_edit_ = new QLineEdit(QStringLiteral("*.html"), this);
  Place(mask_edit_, "txtMask", 2880, 6720, 2175, 285);
  mask_edit_->setFont(Face("System", 9.75, true));
  mask_edit_->setToolTip(QStringLiteral("Don't change unless you know what you're doing!"));
}

void FrmMain::SetTabOrder() {
  for (QPushButton* b : {load_button_, save_text_button_, save_csv_button_, folder_run_button_}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  QWidget* order[] = {load_button_,       output_pane_, save_text_button_, save_csv_button_,
                      folder_run_button_, bom_check_,   folder_edit_,      mask_edit_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void FrmMain::ConnectButtons() {
  connect(load_button_, &QPushButton::clicked, this, [this] {
    path_box_kind_ = Choose::kLogToOpen;
    Run([this] { commands::LoadLogClick(ctx_); });
  });
  connect(folder_run_button_, &QPushButton::clicked, this,
          [this] { Run([this] { commands::FolderRunClick(ctx_, CatalogueSettings()); }); });
  connect(save_csv_button_, &QPushButton::clicked, this, [this] {
    path_box_kind_ = Choose::kFileToSave;
    Run([this] { commands::SaveLogAsCsv(ctx_, ExportSettings()); });
  });
  connect(save_text_button_, &QPushButton::clicked, this, [this] {
    path_box_kind_ = Choose::kFileToSave;
    Run([this] { commands::SaveLogAsText(ctx_); });
  });
}

// The folder box has no room for a button beside it: its chooser is in its
// context menu and on a double-click.
void FrmMain::CreateFolderChooser() {
  folder_edit_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(folder_edit_, &QLineEdit::customContextMenuRequested, this, [this](const QPoint& at) {
    std::unique_ptr<QMenu> menu(folder_edit_->createStandardContextMenu());
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Choose Folder…")), &QAction::triggered, this,
            [this] { ChooseFolder(); });
    menu->exec(folder_edit_->mapToGlobal(at));
  });
  folder_edit_->installEventFilter(this);
}

// The empty corner right of the export options tells how the last action ended.
void FrmMain::CreateStatusLine() {
  status_label_ = new QLabel(this);
  Place(status_label_, "lblStatus", kStatusLeft, 5880, kStatusWidth, kFindBarTop - 60 - 5880);
  status_label_->setWordWrap(true);
  status_label_->setTextFormat(Qt::RichText);
  status_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_label_->setFocusPolicy(Qt::NoFocus);
  connect(status_label_, &QLabel::linkActivated, this, [this] { open_folder_(status_folder_); });
  if (ctx_.output_folder.empty())
    ShowStatus(std::string("The program ") + kNoOutputFolder + ".", "");
  else ShowStatus("Files go to " + ctx_.output_folder, ctx_.output_folder);
}

// Below the find bar: the way from one log to the whole archive.
void FrmMain::CreateArchiveButton() {
  archive_button_ = new QPushButton(QStringLiteral("Browse Archive\u2026"), this);
  Place(archive_button_, "cmdArchive", kStatusLeft, kFindBarTop + 480, 2400, 375);
  archive_button_->setAutoDefault(false);
  // Outside the window's own focus cycle, which stays as it was; Ctrl+B reaches it.
  archive_button_->setFocusPolicy(Qt::NoFocus);
  archive_button_->setToolTip(
      QStringLiteral("Browse, read and search every archived log (Ctrl+B)"));
  connect(archive_button_, &QPushButton::clicked, this, [this] { OpenArchive(); });
}

void FrmMain::OpenArchive() {
  if (!archive_window_) {
    const CatalogueOptions settings = CatalogueSettings();
    const std::string folder = commands::FolderBoxRoot(ctx_.env, settings.folder);
    auto* window = new ArchiveWindow(ctx_.output_folder + archive::kArchiveFile, ctx_.env,
                                     DecodeForDisplay(folder));
    window->setAttribute(Qt::WA_DeleteOnClose);
    archive_window_ = window;
  }
  archive_window_->show();
  archive_window_->raise();
  archive_window_->activateWindow();
}

void FrmMain::CreateShortcuts() {
  auto shortcut = [this](QKeySequence keys, auto fn) {
    connect(new QShortcut(keys, this), &QShortcut::activated, this, fn);
  };
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_O), [this] { load_button_->click(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { ShowFindBar(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_B), [this] { OpenArchive(); });
  shortcut(QKeySequence(Qt::Key_F3), [this] { FindNext(false); });
  shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindNext(true); });
}

void FrmMain::BuildFindBar() {
  find_bar_ = new QWidget(this);
  find_bar_->setObjectName("fraFind");
  find_bar_->setAutoFillBackground(true);
  auto* row = new QHBoxLayout(find_bar_);
  row->setContentsMargins(4, 2, 4, 2);
  find_edit_ = new QLineEdit(find_bar_);
  find_edit_->setObjectName("txtFind");
  find_edit_->setPlaceholderText(QStringLiteral("Find in the log"));
  find_count_ = new QLabel(find_bar_);
  find_count_->setObjectName("lblFindCount");
  row->addWidget(find_edit_);
  row->addWidget(find_count_);
  // Below the status line, clear of the pane: it never covers a match.
  find_bar_->setGeometry(Px(kStatusLeft), Px(kFindBarTop), Px(kStatusWidth), Px(400));
  find_bar_->hide();
  connect(find_edit_, &QLineEdit::textChanged, this, [this] { UpdateMatchCount(); });
  connect(find_edit_, &QLineEdit::returnPressed, this, [this] { FindNext(false); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), find_bar_);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, [this] {
    find_bar_->hide();
    output_pane_->setFocus();
  });
}

void FrmMain::ShowFindBar() {
  find_bar_->show();
  find_bar_->raise();
  find_edit_->setFocus();
  find_edit_->selectAll();
  UpdateMatchCount();
}

void FrmMain::FindNext(bool backwards) {
  const QString what = find_edit_->text();
  if (what.isEmpty()) return ShowFindBar();
  QTextDocument::FindFlags flags;
  if (backwards) flags |= QTextDocument::FindBackward;
  QTextDocument* doc = output_pane_->document();
  QTextCursor hit = doc->find(what, output_pane_->textCursor(), flags);
  if (hit.isNull()) {
    // Round again from the other end.
    QTextCursor from(doc);
    if (backwards) from.movePosition(QTextCursor::End);
    hit = doc->find(what, from, flags);
  }
  if (!hit.isNull()) output_pane_->setTextCursor(hit);
}

void FrmMain::UpdateMatchCount() {
  const QString what = find_edit_->text();
  const int n = what.isEmpty() ? 0 : output_pane_->toPlainText().count(what, Qt::CaseInsensitive);
  find_count_->setText(what.isEmpty() ? QString()
                       : n == 1       ? QStringLiteral("1 match")
                                      : QStringLiteral("%1 matches").arg(n));
}

std::string FrmMain::PathBox(const std::string& prompt, const std::string& title,
                             const std::string& default_answer) {
  ArrowCursor arrow;
  QDialog box(this);
  box.setObjectName("dlgPath");
  box.setWindowTitle(DecodeForDisplay(title));
  auto* column = new QVBoxLayout(&box);
  column->addWidget(new QLabel(DecodeForDisplay(prompt), &box));
  auto* row = new QHBoxLayout;
  auto* edit = new QLineEdit(DecodeForDisplay(default_answer), &box);
  edit->setObjectName("txtPath");
  edit->setMinimumWidth(Px(5000));
  auto* browse = new QPushButton(QStringLiteral("Browse…"), &box);
  browse->setObjectName("cmdBrowse");
  browse->setAutoDefault(false);
  row->addWidget(edit);
  row->addWidget(browse);
  column->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
  column->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
  connect(browse, &QPushButton::clicked, &box, [&] {
    const QString start =
        last_folder_.isEmpty() ? QString::fromStdString(ctx_.output_folder) : last_folder_;
    const QString chosen = chooser_(path_box_kind_, start);
    if (chosen.isEmpty()) return;
    last_folder_ = QFileInfo(chosen).absolutePath();
    edit->setText(chosen);
  });
  edit->selectAll();
  edit->setFocus();
  if (ExecUntilStopped(box) != QDialog::Accepted) return std::string();
  return EncodeTyped(edit->text());
}

void FrmMain::ChooseFolder() {
  const QString typed = folder_edit_->text();
  const QString start = QFileInfo(typed).isDir() ? typed : last_folder_;
  const QString chosen = chooser_(Choose::kFolder, start);
  if (chosen.isEmpty()) return;
  last_folder_ = chosen;
  folder_edit_->setText(chosen.endsWith('/') ? chosen : chosen + '/');
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == folder_edit_ && event->type() == QEvent::MouseButtonDblClick) {
    ChooseFolder();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void FrmMain::keyPressEvent(QKeyEvent* event) {
  // Enter on a focused button presses it, as Space does.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) {
      button->click();
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

void FrmMain::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

void FrmMain::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.first().isLocalFile()) return;
  const QString path = urls.first().toLocalFile();
  event->acceptProposedAction();
  if (QFileInfo(path).isDir()) {
    folder_edit_->setText(path.endsWith('/') ? path : path + '/');
    return;
  }
  last_folder_ = QFileInfo(path).absolutePath();
  const std::string log = EncodeTyped(path);
  Run([this, &log] { OpenLog(ctx_, log).IgnoreError(); });  // the pane says why it failed
}

int FrmMain::ExecUntilStopped(QDialog& box) {
  // A signal asks the program to end; a box waiting for the user must not
  // keep it from doing so, so the box goes as if cancelled.
  QTimer poll;
  connect(&poll, &QTimer::timeout, &box, [this, &box] {
    if (ctx_.stop.Requested()) box.done(QDialog::Rejected);
  });
  poll.start(100);
  return box.exec();
}

void FrmMain::Run(const std::function<void()>& command) {
  BusyCursor busy;
  if (stop_signal_) stop_signals::Arm(true);
  command();
  if (!stop_signal_) return;
  stop_signals::Arm(false);
  // The command has removed what it had begun; the signal still ends the
  // program, as it would have without the handlers.
  if (ctx_.stop.Requested()) std::_Exit(ctx_.stop.ExitCode());
}

void FrmMain::Load(const std::string& argument_text) {
  Run([&] { commands::FormLoad(ctx_, CatalogueSettings(), argument_text); });
}

CatalogueOptions FrmMain::CatalogueSettings() const {
  return {EncodeTyped(mask_edit_->text()), EncodeTyped(folder_edit_->text()),
          bom_check_->isChecked()};
}

ExportOptions FrmMain::ExportSettings() const { return {bom_check_->isChecked()}; }

void FrmMain::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(QPen(palette().color(QPalette::WindowText), 1));
  for (const LineSpec& l : kLines) p.drawLine(Px(l.x1), Px(l.y1), Px(l.x2), Px(l.y2));
}

void FrmMain::AppendToPane(std::string_view text) {
  const bool had_text = !pane_.empty();
  pane_.append(text);
  // Inserted through a cursor of its own: only the new text is laid out, and
  // the view keeps its place at the start.
  QTextCursor end(output_pane_->document());
  end.movePosition(QTextCursor::End);
  const int start = end.position();
  QString shown = DecodeForDisplay(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  end.insertText(shown);
  if (had_text) ScrollIntoView(start);
}

void FrmMain::ScrollIntoView(int position) {
  QTextCursor at(output_pane_->document());
  at.setPosition(position);
  // A message after a log must not land out of sight below it: when it
  // begins below the view, the view moves down to show as much of it as fits.
  if (output_pane_->cursorRect(at).bottom() < output_pane_->viewport()->height()) return;
  QScrollBar* bar = output_pane_->verticalScrollBar();
  bar->setValue(bar->maximum());
  output_pane_->setTextCursor(at);
  output_pane_->ensureCursorVisible();
}

void FrmMain::ClearPane() {
  pane_.clear();
  output_pane_->clear();
}

void FrmMain::SetTitle(const std::string& caption) {
  title_label_->setText(DecodeForDisplay(caption));
}

void FrmMain::EnableSaveButtons() {
  save_text_button_->setEnabled(true);
  save_csv_button_->setEnabled(true);
}

void FrmMain::DisableSaveButtons() {
  save_text_button_->setEnabled(false);
  save_csv_button_->setEnabled(false);
}

void FrmMain::WarningBox(const std::string& text, const std::string& title) {
  warning_box_(text, title);
}

void FrmMain::ShowStatus(const std::string& text, const std::string& folder) {
  status_folder_ = DecodeForDisplay(folder);
  QString html = DecodeForDisplay(text).toHtmlEscaped();
  if (!folder.empty()) html += QStringLiteral(" <a href=\"folder\">Open folder</a>");
  status_label_->setText(html);
}

std::string FrmMain::InputBox(const std::string& prompt, const std::string& title,
                              const std::string& default_answer) {
  if (input_box_) return input_box_(prompt, title, default_answer);
  return PathBox(prompt, title, default_answer);
}

void FrmMain::MessageBox(const std::string& text, const std::string& title) {
  message_box_(text, title);
}

}  // namespace chatterwick::gui
