#include "gui/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <cstdlib>
#include <deque>

#include "core/output_folder.h"
#include "core/tables.h"
#include "gui/display_text.h"
#include "gui/main_layout.h"
#include "gui/usage.h"
#include "platform/posix_env.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_tree.h"

using namespace chatterwick;

namespace {

// The real file system, with the program's folder (the one it was built in)
// moved into a temporary tree.
class TestEnv : public EnvWrapper {
 public:
  explicit TestEnv(std::string app) : EnvWrapper(PosixEnv()), app_(std::move(app)) {}
  std::string ApplicationFolder() override { return app_; }
  Status GetFileKind(const std::string& path, FileKind* kind) override {
    if (path != app_ + "/" + kBuildFolderMark) return EnvWrapper::GetFileKind(path, kind);
    *kind = FileKind::kRegular;
    return Status::OK();
  }

 private:
  std::string app_;
};

const char kLog[] =
    "<html><head><title>Chat with Zo\xC3\xAB</title></head><body>\n"
    "<span style=\"color: #A82F2F\"><span style=\"font-size: smaller\">(10:00:01)</span> "
    "<b>Zo\xC3\xAB:</b></span> caf\xC3\xA9, \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
    "\xF0\x9F\x98\x80<br>\n"
    "</body>\n";

// The text a control shows: a box's, a button's, a label's or the pane's.
QString TextOf(QWidget* c) {
  if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text();
  if (auto* b = qobject_cast<QAbstractButton*>(c)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(c)) return l->text();
  if (auto* p = qobject_cast<QPlainTextEdit*>(c)) return p->toPlainText();
  return {};
}

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT

 private:
  struct Fixture {
    testing::TempTree tree;
    TestEnv env{tree.root() + "app"};
    // Before the window, which chooses its output folder when it is made.
    bool output_made = (tree.Folder("app/output"), true);
    LoadedLog log;
    Catalogue catalogue;
    gui::FrmMain window{log, catalogue, env};
    testing::ScriptedDialogs dialogs;

    Fixture() { tree.File("logs/zoe.html", kLog); }
    // The answers the next path boxes get, in order.
    void Answer(const std::vector<std::string>& paths) {
      dialogs.answers.clear();
      for (const std::string& p : paths) dialogs.answers.push_back(QString::fromStdString(p));
    }
    std::vector<std::string> Told() const { return dialogs.ToldLines(); }
    size_t Told(gui::Dialogs::Icon icon) const {
      return std::count_if(dialogs.told.begin(), dialogs.told.end(),
                           [icon](const auto& t) { return t.icon == icon; });
    }
    template <typename T>
    T* Find(const char* name) {
      T* w = window.findChild<T*>(QString::fromLatin1(name));
      if (!w) qFatal("no control %s", name);
      return w;
    }
    QString Pane() { return Find<QPlainTextEdit>("txtOutput")->toPlainText(); }
  };

 private slots:
  // Ctrl+C or SIGTERM while a box waits for OK ends the wait: the box goes,
  // and the command sees the stop.
  void aStopClosesABoxThatWaitsForTheUser() {
    testing::TempTree tree;
    TestEnv env{tree.root() + "app"};
    LoadedLog log;
    Catalogue catalogue;
    gui::FrmMain window{log, catalogue, env};
    const std::atomic<int> stop{15};
    window.SetStopFlag(&stop);
    // Should the box stay, this closes it, and the time below tells.
    QTimer::singleShot(5000, [] {
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    QElapsedTimer clock;
    clock.start();
    window.MessageBox("Press OK to begin processing logs. This process may take some time.",
                      "chatterwick");
    QVERIFY(clock.elapsed() < 3000);
    clock.restart();
    QCOMPARE(window.InputBox("Path to the log:", "chatterwick", "test.html"), std::string());
    QVERIFY(clock.elapsed() < 3000);
  }

  void startsWithEveryControlInPlace() {
    Fixture f;
    gui::FrmMain& w = f.window;
    QCOMPARE(w.windowTitle(), QString("chatterwick"));
    QCOMPARE(w.size(), QSize(w.Px(14190), w.Px(8010)));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);

    for (const gui::layout::Control& c : gui::layout::kControls) {
      QWidget* control = f.Find<QWidget>(c.name);
      QCOMPARE(TextOf(control), QString::fromLatin1(c.caption));
      QCOMPARE(control->geometry(),
               QRect(w.Px(c.left), w.Px(c.top), w.Px(c.width), w.Px(c.height)));
      QCOMPARE(control->font().pointSizeF(), c.face.points);
      QCOMPARE(control->font().bold(), c.face.bold);
      QCOMPARE(control->font().underline(), c.face.underline);
    }
    QCOMPARE(f.Find<QLineEdit>("txtMask")->toolTip(),
             QString("Don't change unless you know what you're doing!"));
    QCOMPARE(f.Find<QLineEdit>("txtFolder")->toolTip(), QString("Include a trailing slash!"));
    QVERIFY(f.Find<QCheckBox>("chkBOM")->isChecked());
    QVERIFY(!f.Find<QPushButton>("cmdSaveCSV")->isEnabled());
    QVERIFY(!f.Find<QPushButton>("cmdSaveTxt")->isEnabled());
    QVERIFY(f.Find<QPlainTextEdit>("txtOutput")->isReadOnly());
    const CatalogueOptions settings = w.CatalogueSettings();
    QCOMPARE(settings.mask, std::string("*.html"));
    QCOMPARE(settings.folder, std::string("%appdata%\\.purple\\logs\\"));
    QVERIFY(settings.write_bom);
    QVERIFY(w.ExportSettings().write_bom);
    f.Find<QCheckBox>("chkBOM")->setChecked(false);
    QVERIFY(!w.CatalogueSettings().write_bom);
    QVERIFY(!w.ExportSettings().write_bom);
  }

  // What a user sees of the window: every caption whole in its control, and
  // no control's text or frame over another's, the archive button and the
  // status line included.
  void everyCaptionFitsAndNothingOverlaps() {
    Fixture f;
    std::vector<std::pair<QString, QRect>> seen;
    for (QWidget* c : f.window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (c->isHidden() || c->objectName().isEmpty()) continue;
      const QString text = TextOf(c);
      const QFontMetrics metrics(c->font());
      QSize needed = c->geometry().size();
      if (auto* label = qobject_cast<QLabel*>(c); label && label->wordWrap()) {
        needed = QSize(c->width(), label->heightForWidth(c->width()));
      } else if (label) {
        needed = QSize(metrics.horizontalAdvance(text), text.isEmpty() ? 0 : metrics.height());
      } else if (qobject_cast<QCheckBox*>(c)) {
        // The box, the space beside it and the caption: its focus frame may go over the edge.
        const QStyle* style = c->style();
        needed = QSize(style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, c) +
                           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, c) +
                           metrics.horizontalAdvance(text),
                       metrics.height());
      } else if (qobject_cast<QPushButton*>(c)) {
        needed = c->sizeHint();
      }
      QVERIFY2(needed.width() <= c->width() && needed.height() <= c->height(),
               qPrintable(c->objectName() + " needs " + QString::number(needed.width()) + "x" +
                          QString::number(needed.height())));
      if (!needed.isEmpty()) seen.push_back({c->objectName(), QRect(c->pos(), needed)});
    }
    QVERIFY(seen.size() >= std::size(gui::layout::kControls));
    for (size_t i = 0; i < seen.size(); ++i) {
      QVERIFY(QRect(QPoint(0, 0), f.window.size()).contains(seen[i].second));
      for (size_t j = i + 1; j < seen.size(); ++j)
        QVERIFY2(!seen[i].second.intersects(seen[j].second),
                 qPrintable(seen[i].first + " covers " + seen[j].first));
    }
  }

  void tabOrderPassesOverDisabledButtons() {
    Fixture f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    auto walk = [&](int steps) {
      QStringList seen{QApplication::focusWidget()->objectName()};
      for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
      }
      return seen;
    };
    QCOMPARE(walk(6), QStringList({"cmdLoad", "txtOutput", "cmdCSV", "chkBOM", "txtFolder",
                                   "txtMask", "cmdLoad"}));
    f.window.EnableSaveButtons();
    QCOMPARE(walk(4), QStringList({"cmdLoad", "txtOutput", "cmdSaveTxt", "cmdSaveCSV", "cmdCSV"}));
  }

  void loadLogShowsDecodedTextAndKeepsBytes() {
    Fixture f;
    f.Answer({f.tree.Path("logs/zoe.html")});
    QTest::mouseClick(f.Find<QPushButton>("cmdLoad"), Qt::LeftButton);
    QCOMPARE(f.dialogs.asked, std::vector<std::string>{"Path to the log: [test.html]"});
    QCOMPARE(
        f.Pane(),
        QString::fromUtf8(
            "(10:00:01) Zo\u00eb:  caf\u00e9, \u041f\u0440\u0438\u0432\u0435\u0442 \U0001F600\n"));
    QCOMPARE(f.Find<QLabel>("lblName")->text(), QString::fromUtf8("Chat with Zo\u00eb"));
    QCOMPARE(
        f.window.PaneText(),
        std::string(
            "(10:00:01) Zo\xC3\xAB:  caf\xC3\xA9, \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
            "\xF0\x9F\x98\x80\r\n"));
    QVERIFY(f.Find<QPushButton>("cmdSaveCSV")->isEnabled());
    QVERIFY(f.Find<QPushButton>("cmdSaveTxt")->isEnabled());

    f.Answer({});  // cancel: nothing changes
    QTest::mouseClick(f.Find<QPushButton>("cmdLoad"), Qt::LeftButton);
    QCOMPARE(f.Find<QLabel>("lblName")->text(), QString::fromUtf8("Chat with Zo\u00eb"));
  }

  // The user sees why, and there is nothing valid to save.
  void aFailedLoadKeepsItsMessageAndTurnsTheSavesOff() {
    Fixture f;
    f.window.Load(f.tree.Path("logs/zoe.html"));
    QVERIFY(f.Find<QPushButton>("cmdSaveCSV")->isEnabled());
    f.Answer({f.tree.Path("logs/none.html")});
    QTest::mouseClick(f.Find<QPushButton>("cmdLoad"), Qt::LeftButton);
    QCOMPARE(f.Pane(), QString::fromStdString("File could not be loaded. (" +
                                              f.tree.Path("logs/none.html") + ")\n"));
    QCOMPARE(f.Find<QLabel>("lblName")->text(), QString("Log File: Title Unknown"));
    QVERIFY(!f.Find<QPushButton>("cmdSaveCSV")->isEnabled());
    QVERIFY(!f.Find<QPushButton>("cmdSaveTxt")->isEnabled());
  }

  // Nothing is catalogued and the earlier files stay.
  void aFolderThatCannotBeReadIsNamedInThePane() {
    Fixture f;
    f.tree.File("app/output/chat.csv", "earlier");
    f.Find<QLineEdit>("txtFolder")->setText(QString::fromStdString(f.tree.Path("nowhere/")));
    QTest::mouseClick(f.Find<QPushButton>("cmdCSV"), Qt::LeftButton);
    QCOMPARE(f.Pane(),
             QString::fromStdString("Folder could not be read. (" + f.tree.Path("nowhere/") +
                                    ": No such file or directory)\n"));
    QVERIFY(f.Told().empty());
    QCOMPARE(f.tree.Read("app/output/chat.csv"), std::string("earlier"));
  }

  void loadEventRunsAFolderRunBeforeShowing() {
    Fixture f;
    f.tree.File("logs/tree/p/a/c/1.html", kLog);
    f.window.Load("+p " + f.tree.Path("logs/tree/"));
    QVERIFY(!f.window.isVisible());
    QCOMPARE(f.Told().size(), size_t(1));
    QVERIFY(f.Pane().contains("Conversations found: 1\n"));
    QCOMPARE(f.Find<QLabel>("lblName")->text(), QString("Log Folder Parsing Results:"));
    QVERIFY(f.tree.Read("app/output/chat.csv").find("caf\xC3\xA9") != std::string::npos);
  }

  void folderRunClickReadsTheFolderBoxAndExpandsAppdata() {
    Fixture f;
    f.tree.File("home/.purple/logs/p/a/c/1.html", kLog);
    ::setenv("APPDATA", f.tree.Path("home").c_str(), 1);
    QTest::mouseClick(f.Find<QPushButton>("cmdCSV"), Qt::LeftButton);
    ::unsetenv("APPDATA");
    QVERIFY2(f.Pane().contains("Lines of chat found: 1\n"), qPrintable(f.Pane()));

    f.Find<QLineEdit>("txtFolder")->setText(QString::fromUtf8(f.tree.Path("logs/").c_str()));
    f.Find<QLineEdit>("txtMask")->setText("*.none");
    const std::string before = f.tree.Read("app/output/chat.csv");
    QTest::mouseClick(f.Find<QPushButton>("cmdCSV"), Qt::LeftButton);
    // No log at all: the earlier files stay, and the pane and the status line say so.
    QVERIFY2(f.Pane().contains(QString::fromStdString("No logs (*.none) were found under " +
                                                      f.tree.Path("logs/") + ".\n")),
             qPrintable(f.Pane()));
    QVERIFY(f.Find<QLabel>("lblStatus")->text().startsWith("No logs (*.none) were found"));
    QCOMPARE(f.tree.Read("app/output/chat.csv"), before);
  }

  void savesWriteIntoTheOutputFolder() {
    Fixture f;
    f.window.Load(f.tree.Path("logs/zoe.html"));
    f.Answer({"log.csv", "log.txt"});
    QTest::mouseClick(f.Find<QPushButton>("cmdSaveCSV"), Qt::LeftButton);
    QTest::mouseClick(f.Find<QPushButton>("cmdSaveTxt"), Qt::LeftButton);
    QCOMPARE(f.dialogs.asked,
             (std::vector<std::string>{
                 "What should this file be called? (Remember to include .csv) [log.csv]",
                 "What should this file be called? (Remember to include .txt) [log.txt]"}));
    const std::string csv = f.tree.Read("app/output/log.csv");
    QVERIFY(csv.rfind("\xEF\xBB\xBF\"\",\"\",\"<html><head><title>", 0) == 0);
    QVERIFY(csv.find("\"(10:00:01)\",\"Zo\xC3\xAB:\",\" caf\xC3\xA9,") != std::string::npos);
    QCOMPARE(f.tree.Read("app/output/log.txt"), f.window.PaneText() + "\r\n");

    f.Find<QCheckBox>("chkBOM")->setChecked(false);
    f.Answer({"plain.csv"});
    QTest::mouseClick(f.Find<QPushButton>("cmdSaveCSV"), Qt::LeftButton);
    QVERIFY(f.tree.Read("app/output/plain.csv").rfind("\"\",\"\",", 0) == 0);

    f.Answer({"missing/x.csv"});
    QTest::mouseClick(f.Find<QPushButton>("cmdSaveCSV"), Qt::LeftButton);
    QCOMPARE(f.Told(),
             std::vector<std::string>{"chatterwick: Could not write " + f.tree.root() +
                                      "app/output/missing/x.csv (No such file or directory)"});
  }

  // The path box keeps its prompt and text, and Browse fills it from the chooser.
  void browseFillsThePathBoxFromTheChooser() {
    Fixture f;
    f.dialogs.real_path_box = true;
    std::vector<std::pair<int, QString>> asked;
    const QString zoe = QString::fromStdString(f.tree.Path("logs/zoe.html"));
    f.dialogs.chooser = [&](gui::Dialogs::Choose what, const QString& start) {
      asked.push_back({static_cast<int>(what), start});
      return what == gui::Dialogs::Choose::kLogToOpen
                 ? zoe
                 : QString::fromStdString(f.tree.Path("logs/saved.txt"));
    };
    QString shown;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      auto* path = box->findChild<QLineEdit*>("txtPath");
      shown = path->text();
      QTest::mouseClick(box->findChild<QPushButton*>("cmdBrowse"), Qt::LeftButton);
      static_cast<QDialog*>(box)->accept();
    });
    QTest::mouseClick(f.Find<QPushButton>("cmdLoad"), Qt::LeftButton);
    QCOMPARE(shown, QString("test.html"));
    QCOMPARE(f.Find<QLabel>("lblName")->text(), QString::fromUtf8("Chat with Zo\u00eb"));

    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      QTest::mouseClick(box->findChild<QPushButton*>("cmdBrowse"), Qt::LeftButton);
      static_cast<QDialog*>(box)->accept();
    });
    QTest::mouseClick(f.Find<QPushButton>("cmdSaveTxt"), Qt::LeftButton);
    QCOMPARE(f.tree.Read("logs/saved.txt"), f.window.PaneText() + "\r\n");
    // The second chooser starts where the first one ended.
    QCOMPARE(asked.size(), size_t(2));
    QCOMPARE(asked[0].second, QString::fromStdString(f.tree.Path("app/output/")));
    QCOMPARE(asked[1].first, static_cast<int>(gui::Dialogs::Choose::kFileToSave));
    QCOMPARE(asked[1].second, QString::fromStdString(f.tree.Path("logs")));

    // The folder box's chooser: a double-click.
    f.dialogs.chooser = [&](gui::Dialogs::Choose, const QString&) {
      return QString::fromStdString(f.tree.Path("logs"));
    };
    QTest::mouseDClick(f.Find<QLineEdit>("txtFolder"), Qt::LeftButton);
    QCOMPARE(f.Find<QLineEdit>("txtFolder")->text(), QString::fromStdString(f.tree.Path("logs/")));
  }

  // A path typed into a save box is used as typed, and the status line says
  // where the file went.
  void anAbsoluteSavePathAndTheStatusLine() {
    Fixture f;
    QVERIFY(f.Find<QLabel>("lblStatus")
                ->text()
                .startsWith(QString::fromStdString("Files go to " + f.tree.Path("app/output/"))));
    f.window.Load(f.tree.Path("logs/zoe.html"));
    f.Answer({f.tree.Path("elsewhere.csv")});
    QTest::mouseClick(f.Find<QPushButton>("cmdSaveCSV"), Qt::LeftButton);
    QVERIFY(f.tree.Read("elsewhere.csv").find("caf\xC3\xA9") != std::string::npos);
    auto* status = f.Find<QLabel>("lblStatus");
    QCOMPARE(status->text(),
             QString::fromStdString("Saved 1 line to " + f.tree.Path("elsewhere.csv") +
                                    " <a href=\"folder\">Open folder</a>"));
    emit status->linkActivated("folder");
    QCOMPARE(f.dialogs.opened.back(), QUrl::fromLocalFile(QString::fromStdString(f.tree.root())));

    f.tree.File("logs/tree/p/a/c/1.html", kLog);
    f.window.Load("+p " + f.tree.Path("logs/tree/"));
    QCOMPARE(status->text(),
             QString::fromStdString("5 files written to " + f.tree.Path("app/output/") +
                                    " <a href=\"folder\">Open folder</a>"));
    // A failure says so with the warning icon.
    f.Answer({"no/such/folder.txt"});
    QTest::mouseClick(f.Find<QPushButton>("cmdSaveTxt"), Qt::LeftButton);
    QCOMPARE(f.Told(gui::Dialogs::Icon::kWarning), size_t(1));
    QCOMPARE(f.Told(gui::Dialogs::Icon::kInformation), size_t(1));  // only the run's "Press OK"
  }

  void dropALogOrAFolder() {
    Fixture f;
    auto drop = [&](const std::string& path) {
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
      QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&f.window, &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&f.window, &event);
    };
    drop(f.tree.Path("logs/zoe.html"));
    QCOMPARE(f.Find<QLabel>("lblName")->text(), QString::fromUtf8("Chat with Zo\u00eb"));
    QVERIFY(f.Find<QPushButton>("cmdSaveCSV")->isEnabled());
    drop(f.tree.Path("logs"));
    QCOMPARE(f.Find<QLineEdit>("txtFolder")->text(), QString::fromStdString(f.tree.Path("logs/")));
  }

  void findBarAndKeys() {
    Fixture f;
    std::string log = "<title>t</title>\n";
    for (int i = 0; i < 5; ++i)
      log += "<font size=\"2\">(10:00:0" + std::to_string(i) + ")</font> <b>A:</b> " +
             (i % 2 ? "Blue" : "red") + "\n";
    f.tree.File("logs/colours.html", log);
    f.window.Load(f.tree.Path("logs/colours.html"));
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    auto* pane = f.Find<QPlainTextEdit>("txtOutput");
    QTest::keyClick(&f.window, Qt::Key_F, Qt::ControlModifier);
    auto* find = f.Find<QLineEdit>("txtFind");
    QVERIFY(find->isVisible());
    QVERIFY(find->hasFocus());
    QTest::keyClicks(find, "blue");
    QCOMPARE(f.Find<QLabel>("lblFindCount")->text(), QString("2 matches"));
    QTest::keyClick(find, Qt::Key_Return);
    QCOMPARE(pane->textCursor().selectedText(), QString("Blue"));
    const int first = pane->textCursor().position();
    QTest::keyClick(&f.window, Qt::Key_F3);
    QVERIFY(pane->textCursor().position() > first);
    QTest::keyClick(&f.window, Qt::Key_F3, Qt::ShiftModifier);
    QCOMPARE(pane->textCursor().position(), first);
    QTest::keyClick(find, Qt::Key_Escape);
    QVERIFY(!find->isVisible());

    // Enter on a focused button presses it; Ctrl+O is Load Log.
    f.Find<QPushButton>("cmdSaveTxt")->setFocus();
    QTest::keyClick(f.Find<QPushButton>("cmdSaveTxt"), Qt::Key_Return);
    QCOMPARE(f.dialogs.asked.size(), size_t(1));
    QTest::keyClick(&f.window, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(f.dialogs.asked.back(), std::string("Path to the log: [test.html]"));
    QTest::keyClick(&f.window, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!f.window.isVisible());
  }

  // What comes after a log in the pane is scrolled into view; the status
  // line tells of every action; the find bar covers no text.
  void whatTheLastActionSaidIsAlwaysInSight() {
    Fixture f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    auto* pane = f.Find<QPlainTextEdit>("txtOutput");
    auto* status = f.Find<QLabel>("lblStatus");
    f.tree.File("logs/long.html", testing::SmallLog(400));
    f.Answer({f.tree.Path("logs/long.html")});
    QTest::mouseClick(f.Find<QPushButton>("cmdLoad"), Qt::LeftButton);
    QCOMPARE(status->text(),
             QString::fromStdString("Loaded 400 lines from " + f.tree.Path("logs/long.html")));
    QCOMPARE(pane->verticalScrollBar()->value(), 0);  // a log is read from its start

    f.tree.File("tree/p/a/c/1.html", kLog);
    f.Find<QLineEdit>("txtFolder")->setText(QString::fromStdString(f.tree.Path("tree")));
    QTest::mouseClick(f.Find<QPushButton>("cmdCSV"), Qt::LeftButton);
    const int at = f.Pane().indexOf("Log Folder Parsing Complete!");
    QVERIFY(at > 0);
    QTextCursor summary(pane->document());
    summary.setPosition(at);
    const QRect shown = pane->cursorRect(summary);
    QVERIFY2(
        shown.top() >= 0 && shown.bottom() <= pane->viewport()->height(),
        qPrintable(
            QString("summary at %1, view %2").arg(shown.top()).arg(pane->viewport()->height())));
    // The folder box without its final slash is the same folder.
    QVERIFY(f.Pane().contains("Conversations found: 1\n"));
    QVERIFY(status->text().startsWith("5 files written to "));

    f.Answer({f.tree.Path("logs/none.html")});
    QTest::mouseClick(f.Find<QPushButton>("cmdLoad"), Qt::LeftButton);
    QCOMPARE(status->text(),
             QString::fromStdString("File could not be loaded. (" + f.tree.Path("logs/none.html") +
                                    "): no such file"));

    QTest::keyClick(&f.window, Qt::Key_F, Qt::ControlModifier);
    QWidget* bar = f.Find<QWidget>("fraFind");
    QVERIFY(bar->isVisible());
    QVERIFY(!bar->geometry().intersects(pane->geometry()));
    QVERIFY(!bar->geometry().intersects(status->geometry()));
    QVERIFY(QRect(QPoint(0, 0), f.window.size()).contains(bar->geometry()));
  }

  void plusPTakesAFolderWithoutItsFinalSlash() {
    Fixture f;
    f.tree.File("logs/tree/p/a/c/1.html", kLog);
    f.window.Load("+p " + f.tree.Path("logs/tree"));
    QVERIFY2(f.Pane().contains("Conversations found: 1\n"), qPrintable(f.Pane()));
  }

  void helpAndVersionAreAnsweredNotOpened() {
    QVERIFY(gui::CommandLineInfo({"--help"})->starts_with("usage: chatterwick [LOG]\n"));
    QCOMPARE(*gui::CommandLineInfo({"-h"}), *gui::CommandLineInfo({"--help"}));
    QCOMPARE(*gui::CommandLineInfo({"--version"}), std::string("chatterwick 0.1.0\n"));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"log.html"}, {"+p", "/logs/"}, {"--help", "x"}})
      QVERIFY(!gui::CommandLineInfo(args));
  }

  // A copy installed where it may not write keeps its files in the user's data folder.
  void outputFolderFallsBackWhereTheProgramMayNotWrite() {
    testing::TempTree tree;
    tree.Folder("app/output");
    struct ReadOnlyApp : TestEnv {
      using TestEnv::TestEnv;
      bool IsWritable(const std::string&) override { return false; }
    } env(tree.root() + "app");
    ::setenv("XDG_DATA_HOME", tree.Path("data").c_str(), 1);
    LoadedLog log;
    Catalogue catalogue;
    gui::FrmMain window(log, catalogue, env);
    ::unsetenv("XDG_DATA_HOME");
    QVERIFY(window.findChild<QLabel*>("lblStatus")
                ->text()
                .startsWith(QString::fromStdString("Files go to " +
                                                   tree.Path("data/chatterwick/output/"))));
  }

  void displayDecodingKeepsEveryByte() {
    QCOMPARE(gui::DecodeForDisplay("caf\xC3\xA9"), QString::fromUtf8("caf\u00e9"));
    QCOMPARE(gui::DecodeForDisplay("caf\xE9!"),
             QString::fromUtf8("caf\u00e9!"));                      // a lone Latin-1 byte
    QCOMPARE(gui::DecodeForDisplay("\xC3"), QString(QChar(0xC3)));  // cut sequence
    QCOMPARE(gui::DecodeForDisplay("\xED\xA0\x80").size(), 3);      // surrogate bytes
    QCOMPARE(gui::DecodeForDisplay("\xF0\x9F\x98\x80"), QString::fromUtf8("\U0001F600"));
    QCOMPARE(gui::EncodeTyped(QString::fromUtf8("\u00e9")), std::string("\xC3\xA9"));
  }
};

QTEST_MAIN(FrmMainTest)
#include "frm_main_test.moc"
