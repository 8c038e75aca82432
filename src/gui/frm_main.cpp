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

#include "core/commands.h"
#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

constexpr int kClientWidth = 14190;
constexpr int kClientHeight = 8010;

struct LineSpec {
  int x1, y1, x2, y2;
};
constexpr LineSpec kLines[] = {
    {0, 5760, 14280, 5760},     // under the output pane
    {2040, 5760, 2040, 8160},   // single log | folder run
    {5160, 5760, 5160, 8160},   // folder run | export options
    {8880, 5760, 8880, 8040},   // closes the export group
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

FrmMain::FrmMain(modGlobal::State& state, Env& env)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ctx_{state, *this, env, DefaultOutputFolder(env)} {
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
  cmdLoad_ = new QPushButton(QStringLiteral("Load Log"), this);
  place(cmdLoad_, "cmdLoad", 240, 6480, 1455, 375);

  txtOutput_ = new QPlainTextEdit(this);
  place(txtOutput_, "txtOutput", 120, 480, 13935, 5175);
  txtOutput_->setReadOnly(true);
  txtOutput_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  txtOutput_->setFocusPolicy(Qt::StrongFocus);
  txtOutput_->setTabChangesFocus(true);
  txtOutput_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtOutput_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  txtOutput_->setFont(Face("System", 9.75, true));

  lblName_ = label("lblName", "", 120, 120, 14055, 255, Face("MS Sans Serif", 8.25, true));

  cmdSaveTxt_ = new QPushButton(QStringLiteral("Save as Text"), this);
  place(cmdSaveTxt_, "cmdSaveTxt", 240, 6960, 1455, 375);
  cmdSaveTxt_->setEnabled(false);

  cmdSaveCSV_ = new QPushButton(QStringLiteral("Save as CSV"), this);
  place(cmdSaveCSV_, "cmdSaveCSV", 240, 7440, 1455, 375);
  cmdSaveCSV_->setEnabled(false);

  cmdCSV_ = new QPushButton(QStringLiteral("Parse Log Folder to CSV"), this);
  place(cmdCSV_, "cmdCSV", 2280, 7320, 2655, 375);

  chkBOM_ = new QCheckBox(QStringLiteral("Add UTF8 BOM  (CSV Exports Only)"), this);
  place(chkBOM_, "chkBOM", 5400, 6360, 3255, 375);
  chkBOM_->setChecked(true);

  const QFont big = Face("MS Sans Serif", 13.5, false, true);
  label("Label_0", "Indivual Log:", 120, 5880, 1815, 375, big);
  label("Label1", "Log Folder Parsing: ", 2280, 5880, 2775, 375, big);
  label("Label2", "Export Options: ", 5400, 5880, 2775, 375, big);
  label("Label_1", "Folder:", 2160, 6360, 735, 255, Face("MS Sans Serif", 9.75));

  txtFolder_ = new QLineEdit(QStringLiteral("%appdata%\\.purple\\logs\\"), this);
  place(txtFolder_, "txtFolder", 2880, 6360, 2175, 285);
  txtFolder_->setFont(Face("System", 9.75, true));
  txtFolder_->setToolTip(QStringLiteral("Include a trailing slash!"));

  label("Label_2", "Mask:", 2160, 6720, 735, 255, Face("MS Sans Serif", 9.75));

  txtMask_ = new QLineEdit(QStringLiteral("*.html"), this);
  place(txtMask_, "txtMask", 2880, 6720, 2175, 285);
  txtMask_->setFont(Face("System", 9.75, true));
  txtMask_->setToolTip(QStringLiteral("Don't change unless you know what you're doing!"));

  for (QPushButton* b : {cmdLoad_, cmdSaveTxt_, cmdSaveCSV_, cmdCSV_}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  QWidget* order[] = {cmdLoad_, txtOutput_, cmdSaveTxt_, cmdSaveCSV_, cmdCSV_, chkBOM_, txtFolder_, txtMask_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(cmdLoad_, &QPushButton::clicked, this, [this] { Run(commands::LoadLogClick); });
  connect(cmdCSV_, &QPushButton::clicked, this, [this] { Run(commands::FolderRunClick); });
  connect(cmdSaveCSV_, &QPushButton::clicked, this, [this] { Run(commands::SaveLogAsCsv); });
  connect(cmdSaveTxt_, &QPushButton::clicked, this, [this] { Run(commands::SaveLogAsText); });

  cmdLoad_->setFocus();
}

void FrmMain::Run(void (*command)(Context&)) {
  BusyCursor busy;
  command(ctx_);
}

void FrmMain::Load(const std::string& argument_text) {
  BusyCursor busy;
  commands::FormLoad(ctx_, argument_text);
}

void FrmMain::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(QPen(palette().color(QPalette::WindowText), 1));
  for (const LineSpec& l : kLines) p.drawLine(Px(l.x1), Px(l.y1), Px(l.x2), Px(l.y2));
}

void FrmMain::AppendToPane(std::string_view text) {
  pane_.append(text);
  // Inserted through a cursor of its own: only the new text is laid out, and
  // the view keeps its place at the start.
  QTextCursor end(txtOutput_->document());
  end.movePosition(QTextCursor::End);
  QString shown = DecodeForDisplay(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  end.insertText(shown);
}

void FrmMain::ClearPane() {
  pane_.clear();
  txtOutput_->clear();
}

void FrmMain::SetTitle(const std::string& caption) { lblName_->setText(DecodeForDisplay(caption)); }

void FrmMain::EnableSaveButtons() {
  cmdSaveTxt_->setEnabled(true);
  cmdSaveCSV_->setEnabled(true);
}

std::string FrmMain::Mask() const { return EncodeTyped(txtMask_->text()); }
std::string FrmMain::Folder() const { return EncodeTyped(txtFolder_->text()); }
int FrmMain::BomChecked() const { return chkBOM_->isChecked() ? 1 : 0; }

std::string FrmMain::InputBox(const std::string& prompt, const std::string& title,
                              const std::string& default_answer) {
  return input_box_(prompt, title, default_answer);
}

void FrmMain::MessageBox(const std::string& text, const std::string& title) { message_box_(text, title); }

}  // namespace chatterwick::gui
