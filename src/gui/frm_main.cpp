#include "gui/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <cstdlib>

#include "core/commands.h"
#include "gui/display_text.h"
#include "platform/stop_signals.h"

namespace chatterwick::gui {

namespace {

constexpr int kClientWidth = 14190;
constexpr int kClientHeight = 8010;

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
      ctx_{log, catalogue, *this, env, DefaultOutputFolder(env)} {
  input_box_ = [this](const std::string& prompt, const std::string& title, const std::string& def) {
    ArrowCursor arrow;
    bool ok = false;
    QString answer = QInputDialog::getText(this, DecodeForDisplay(title), DecodeForDisplay(prompt),
                                           QLineEdit::Normal, DecodeForDisplay(def), &ok);
    return ok ? EncodeTyped(answer) : std::string();
  };
  message_box_ = [this](const std::string& text, const std::string& title) {
    ArrowCursor arrow;
    QMessageBox box(QMessageBox::Information, DecodeForDisplay(title), DecodeForDisplay(text),
                    QMessageBox::Ok, this);
    box.exec();
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

  auto place = [this](QWidget* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(Px(left), Px(top), Px(width), Px(height));
  };
  auto label = [&](const char* name, const char* caption, int l, int t, int w, int h, QFont font) {
    auto* lbl = new QLabel(QString::fromLatin1(caption), this);
    lbl->setTextFormat(Qt::PlainText);
    lbl->setFont(font);
    place(lbl, name, l, t, w, h);
    return lbl;
  };

  // Created in tab-index order, so the focus chain follows it.
  load_button_ = new QPushButton(QStringLiteral("Load Log"), this);
  place(load_button_, "cmdLoad", 240, 6480, 1455, 375);

  output_pane_ = new QPlainTextEdit(this);
  place(output_pane_, "txtOutput", 120, 480, 13935, 5175);
  output_pane_->setReadOnly(true);
  output_pane_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  output_pane_->setFocusPolicy(Qt::StrongFocus);
  output_pane_->setTabChangesFocus(true);
  output_pane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  output_pane_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  output_pane_->setFont(Face("System", 9.75, true));

  title_label_ = label("lblName", "", 120, 120, 14055, 255, Face("MS Sans Serif", 8.25, true));

  save_text_button_ = new QPushButton(QStringLiteral("Save as Text"), this);
  place(save_text_button_, "cmdSaveTxt", 240, 6960, 1455, 375);
  save_text_button_->setEnabled(false);

  save_csv_button_ = new QPushButton(QStringLiteral("Save as CSV"), this);
  place(save_csv_button_, "cmdSaveCSV", 240, 7440, 1455, 375);
  save_csv_button_->setEnabled(false);

  folder_run_button_ = new QPushButton(QStringLiteral("Parse Log Folder to CSV"), this);
  place(folder_run_button_, "cmdCSV", 2280, 7320, 2655, 375);

  bom_check_ = new QCheckBox(QStringLiteral("Add UTF8 BOM  (CSV Exports Only)"), this);
  place(bom_check_, "chkBOM", 5400, 6360, 3255, 375);
  bom_check_->setChecked(true);

  const QFont big = Face("MS Sans Serif", 13.5, false, true);
  label("Label_0", "Indivual Log:", 120, 5880, 1815, 375, big);
  label("Label1", "Log Folder Parsing: ", 2280, 5880, 2775, 375, big);
  label("Label2", "Export Options: ", 5400, 5880, 2775, 375, big);
  label("Label_1", "Folder:", 2160, 6360, 735, 255, Face("MS Sans Serif", 9.75));

  folder_edit_ = new QLineEdit(QStringLiteral("%appdata%\\.purple\\logs\\"), this);
  place(folder_edit_, "txtFolder", 2880, 6360, 2175, 285);
  folder_edit_->setFont(Face("System", 9.75, true));
  folder_edit_->setToolTip(QStringLiteral("Include a trailing slash!"));

  label("Label_2", "Mask:", 2160, 6720, 735, 255, Face("MS Sans Serif", 9.75));

  mask_edit_ = new QLineEdit(QStringLiteral("*.html"), this);
  place(mask_edit_, "txtMask", 2880, 6720, 2175, 285);
  mask_edit_->setFont(Face("System", 9.75, true));
  mask_edit_->setToolTip(QStringLiteral("Don't change unless you know what you're doing!"));

  for (QPushButton* b : {load_button_, save_text_button_, save_csv_button_, folder_run_button_}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  QWidget* order[] = {load_button_,       output_pane_, save_text_button_, save_csv_button_,
                      folder_run_button_, bom_check_,   folder_edit_,      mask_edit_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(load_button_, &QPushButton::clicked, this,
          [this] { Run([this] { commands::LoadLogClick(ctx_); }); });
  connect(folder_run_button_, &QPushButton::clicked, this,
          [this] { Run([this] { commands::FolderRunClick(ctx_, CatalogueSettings()); }); });
  connect(save_csv_button_, &QPushButton::clicked, this,
          [this] { Run([this] { commands::SaveLogAsCsv(ctx_, ExportSettings()); }); });
  connect(save_text_button_, &QPushButton::clicked, this,
          [this] { Run([this] { commands::SaveLogAsText(ctx_); }); });

  load_button_->setFocus();
}

void FrmMain::Run(const std::function<void()>& command) {
  BusyCursor busy;
  if (ctx_.stop) stop_signals::Arm(true);
  command();
  if (!ctx_.stop) return;
  stop_signals::Arm(false);
  // The command has removed what it had begun; the signal still ends the
  // program, as it would have without the handlers.
  if (const int sig = ctx_.stop->load()) std::_Exit(128 + sig);
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
  pane_.append(text);
  // Inserted through a cursor of its own: only the new text is laid out, and
  // the view keeps its place at the start.
  QTextCursor end(output_pane_->document());
  end.movePosition(QTextCursor::End);
  QString shown = DecodeForDisplay(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  end.insertText(shown);
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

std::string FrmMain::InputBox(const std::string& prompt, const std::string& title,
                              const std::string& default_answer) {
  return input_box_(prompt, title, default_answer);
}

void FrmMain::MessageBox(const std::string& text, const std::string& title) {
  message_box_(text, title);
}

}  // namespace chatterwick::gui
