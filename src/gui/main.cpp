#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QSet>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <string>

#include "archive/archive.h"
#include "core/output_folder.h"
#include "core/tables.h"
#include "gui/archive_window.h"
#include "gui/frm_main.h"
#include "gui/usage.h"
#include "platform/large_pages.h"
#include "platform/posix_env.h"
#include "platform/stop_signals.h"

namespace {

// With CHATTERWICK_SCREENSHOT set, the window saves a picture of itself there
// once it has shown, prints "WIDTH HEIGHT COLOURS" and closes: the README's
// picture and a check that the real program draws, without an X dump.
void TakeScreenshotWhenShown(QWidget& window, const QString& path, int after_ms = 500) {
  QTimer::singleShot(after_ms, &window, [&window, path] {
    const QImage image = window.grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    const bool saved = image.save(path, "PNG");
    std::printf("%d %d %lld\n", image.width(), image.height(),
                static_cast<long long>(saved ? colours.size() : 0));
    std::fflush(stdout);
    QApplication::exit(saved ? 0 : 1);
  });
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the window is made, so that it needs no display.
  if (const auto info = chatterwick::gui::CommandLineInfo({argv + 1, argv + argc})) {
    std::fputs(info->c_str(), stdout);
    return 0;
  }
  QApplication app(argc, argv);  // takes its own options out of argv
  QApplication::setOrganizationName(QStringLiteral("chatterwick"));
  QApplication::setApplicationName(QStringLiteral("chatterwick"));
  chatterwick::Env& env = *chatterwick::PosixEnv();
  // chatterwick --archive [FILE]: the archive window alone.
  if (argc >= 2 && std::string(argv[1]) == "--archive") {
    const std::string db =
        argc >= 3 ? std::string(argv[2])
                  : chatterwick::OutputFolder(env) + chatterwick::archive::kArchiveFile;
    chatterwick::gui::ArchiveWindow archive(db, env, QString());
    archive.show();
    const QString screenshot = qEnvironmentVariable("CHATTERWICK_SCREENSHOT");
    // The picture of a search: typed as a user would, once the window is up.
    const QString query = qEnvironmentVariable("CHATTERWICK_SCREENSHOT_QUERY");
    if (!screenshot.isEmpty() && !query.isEmpty()) {
      if (auto* tabs = archive.findChild<QTabWidget*>(QStringLiteral("tabArchive")))
        tabs->setCurrentIndex(1);
      if (auto* edit = archive.findChild<QLineEdit*>(QStringLiteral("txtQuery")))
        edit->setText(query);
    }
    if (!screenshot.isEmpty())
      TakeScreenshotWhenShown(archive, screenshot, query.isEmpty() ? 500 : 2000);
    return app.exec();
  }
  // The command line as one text, arguments joined by single blanks, bytes as given.
  std::string argument_text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) argument_text += ' ';
    argument_text += argv[i];
  }
  chatterwick::LoadedLog log;
  chatterwick::Catalogue catalogue{chatterwick::LargePageBlocks()};
  chatterwick::gui::FrmMain window(log, catalogue, env);
  window.SetStopFlag(chatterwick::stop_signals::Install());
  window.Load(argument_text);
  window.show();
  const QString screenshot = qEnvironmentVariable("CHATTERWICK_SCREENSHOT");
  if (!screenshot.isEmpty()) TakeScreenshotWhenShown(window, screenshot);
  return app.exec();
}
