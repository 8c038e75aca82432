#include "gui/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QUrl>
#include <cstdlib>
#include <memory>

#include "archive/archive.h"
#include "core/commands.h"
#include "core/log_view.h"
#include "core/output_folder.h"
#include "gui/archive_window.h"
#include "gui/display_text.h"
#include "gui/find_bar.h"
#include "platform/stop_signals.h"

namespace chatterwick::gui {

namespace {

// The faces the layout was drawn for rarely exist here; fontconfig picks the
// nearest, and the size, weight and underline stay as designed.
QFont FontOf(const layout::Face& face) {
  QFont f(QString::fromLatin1(face.family));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(face.points);
  f.setBold(face.bold);
  f.setUnderline(face.underline);
  return f;
}

class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace

FrmMain::FrmMain(LoadedLog& log, Catalogue& catalogue, Env& env)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      ctx_{log, catalogue, *this, env, OutputFolder(env)} {
  Build();
}

FrmMain::~FrmMain() {
  // The boxes no longer watch a flag that may go with the window.
  if (stop_signal_) DesktopDialogs::CloseBoxesOn({});
}

void FrmMain::SetStopFlag(const std::atomic<int>* stop) {
  stop_signal_ = stop;
  ctx_.stop = stop;
  DesktopDialogs::CloseBoxesOn(stop);
}

int FrmMain::Px(int twips) const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
  return qRound(twips * dpi / 1440.0);
}

void FrmMain::Build() {
  setObjectName("frmMain");
  setWindowTitle(QString::fromLatin1(kAppTitle));
  setFont(FontOf(layout::kPlain));
  setFixedSize(Px(layout::kClientWidth), Px(layout::kClientHeight));
  CreateControls();
  SetTabOrder();
  ConnectButtons();
  CreateFolderChooser();
  CreateStatusLine();
  setAcceptDrops(true);
  find_bar_ = new FindBar(FindBar::InText(output_pane_), QStringLiteral("Find in the log"), this);
  // Below the status line, clear of the pane: it never covers a match.
  find_bar_->setGeometry(Px(layout::kStatusLeft), Px(layout::kFindBarTop), Px(layout::kStatusWidth),
                         Px(layout::kFindBarHeight));
  CreateArchiveButton();
  CreateShortcuts();
  load_button_->setFocus();
}

template <typename T>
T* FrmMain::Make(const layout::Control& control) {
  auto* w = new T(this);
  w->setObjectName(QString::fromLatin1(control.name));
  w->setGeometry(Px(control.left), Px(control.top), Px(control.width), Px(control.height));
  w->setFont(FontOf(control.face));
  const QString caption = QString::fromLatin1(control.caption);
  if constexpr (std::is_same_v<T, QLabel>) {
    w->setTextFormat(Qt::PlainText);
    w->setText(caption);
  } else if constexpr (std::is_same_v<T, QPlainTextEdit>) {
    w->setPlainText(caption);
  } else {
    w->setText(caption);
  }
  return w;
}

void FrmMain::CreateControls() {
  using layout::Named;
  load_button_ = Make<QPushButton>(Named("cmdLoad"));
  output_pane_ = Make<QPlainTextEdit>(Named("txtOutput"));
  output_pane_->setReadOnly(true);
  output_pane_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  output_pane_->setFocusPolicy(Qt::StrongFocus);
  output_pane_->setTabChangesFocus(true);
  output_pane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  output_pane_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  title_label_ = Make<QLabel>(Named("lblName"));
  save_text_button_ = Make<QPushButton>(Named("cmdSaveTxt"));
  save_text_button_->setEnabled(false);
  save_csv_button_ = Make<QPushButton>(Named("cmdSaveCSV"));
  save_csv_button_->setEnabled(false);
  folder_run_button_ = Make<QPushButton>(Named("cmdCSV"));
  bom_check_ = Make<QCheckBox>(Named("chkBOM"));
  bom_check_->setChecked(true);
  Make<QLabel>(Named("Label_0"));
  Make<QLabel>(Named("Label1"));
  Make<QLabel>(Named("Label2"));
  Make<QLabel>(Named("Label_1"));
  folder_edit_ = Make<QLineEdit>(Named("txtFolder"));
  folder_edit_->setToolTip(QStringLiteral("Include a trailing slash!"));
  Make<QLabel>(Named("Label_2"));
  mask_edit_ = Make<QLineEdit>(Named("txtMask"));
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
    path_box_kind_ = Dialogs::Choose::kLogToOpen;
    Run([this] { commands::LoadLogClick(ctx_); });
  });
  connect(folder_run_button_, &QPushButton::clicked, this,
          [this] { Run([this] { commands::FolderRunClick(ctx_, CatalogueSettings()); }); });
  connect(save_csv_button_, &QPushButton::clicked, this, [this] {
    path_box_kind_ = Dialogs::Choose::kFileToSave;
    Run([this] { commands::SaveLogAsCsv(ctx_, ExportSettings()); });
  });
  connect(save_text_button_, &QPushButton::clicked, this, [this] {
    path_box_kind_ = Dialogs::Choose::kFileToSave;
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
  status_label_->setObjectName("lblStatus");
  status_label_->setGeometry(Px(layout::kStatusLeft), Px(layout::kStatusTop),
                             Px(layout::kStatusWidth),
                             Px(layout::kFindBarTop - 60 - layout::kStatusTop));
  status_label_->setWordWrap(true);
  status_label_->setTextFormat(Qt::RichText);
  status_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_label_->setFocusPolicy(Qt::NoFocus);
  connect(status_label_, &QLabel::linkActivated, this,
          [this] { Dialogs::Current().Open(QUrl::fromLocalFile(status_folder_)); });
  if (ctx_.output_folder.empty())
    ShowStatus(std::string("The program ") + kNoOutputFolder + ".", "");
  else ShowStatus("Files go to " + ctx_.output_folder, ctx_.output_folder);
}

// Below the find bar: the way from one log to the whole archive.
void FrmMain::CreateArchiveButton() {
  archive_button_ = new QPushButton(QStringLiteral("Browse Archive\u2026"), this);
  archive_button_->setObjectName("cmdArchive");
  archive_button_->setGeometry(Px(layout::kStatusLeft), Px(layout::kArchiveButtonTop),
                               Px(layout::kArchiveButtonWidth), Px(layout::kArchiveButtonHeight));
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
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { find_bar_->Open(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_B), [this] { OpenArchive(); });
  shortcut(QKeySequence(Qt::Key_F3), [this] { find_bar_->FindNext(false); });
  shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { find_bar_->FindNext(true); });
}

void FrmMain::ChooseFolder() {
  const QString typed = folder_edit_->text();
  const QString start = QFileInfo(typed).isDir() ? typed : last_folder_;
  const QString chosen = Dialogs::Current().ChoosePath(this, Dialogs::Choose::kFolder, start);
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
  for (const layout::Line& l : layout::kLines) p.drawLine(Px(l.x1), Px(l.y1), Px(l.x2), Px(l.y2));
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
  Dialogs::Current().Tell(this, Dialogs::Icon::kWarning, DecodeForDisplay(title),
                          DecodeForDisplay(text));
}

void FrmMain::ShowStatus(const std::string& text, const std::string& folder) {
  status_folder_ = DecodeForDisplay(folder);
  QString html = DecodeForDisplay(text).toHtmlEscaped();
  if (!folder.empty()) html += QStringLiteral(" <a href=\"folder\">Open folder</a>");
  status_label_->setText(html);
}

std::string FrmMain::InputBox(const std::string& prompt, const std::string& title,
                              const std::string& default_answer) {
  const QString start =
      last_folder_.isEmpty() ? QString::fromStdString(ctx_.output_folder) : last_folder_;
  const QString answer =
      Dialogs::Current().AskPath(this, DecodeForDisplay(title), DecodeForDisplay(prompt),
                                 DecodeForDisplay(default_answer), path_box_kind_, start);
  // A path chosen or typed whole: the next chooser starts where it lies.
  if (QFileInfo(answer).isAbsolute()) last_folder_ = QFileInfo(answer).absolutePath();
  return EncodeTyped(answer);
}

void FrmMain::MessageBox(const std::string& text, const std::string& title) {
  Dialogs::Current().Tell(this, Dialogs::Icon::kInformation, DecodeForDisplay(title),
                          DecodeForDisplay(text));
}

}  // namespace chatterwick::gui
