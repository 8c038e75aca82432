#include <QApplication>
#include <string>

#include "core/tables.h"
#include "gui/frm_main.h"
#include "platform/posix_env.h"
#include "platform/stop_signals.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);  // takes its own options out of argv
  // The command line as one text, arguments joined by single blanks, bytes as given.
  std::string argument_text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) argument_text += ' ';
    argument_text += argv[i];
  }
  chatterwick::LoadedLog log;
  chatterwick::Catalogue catalogue;
  chatterwick::gui::FrmMain window(log, catalogue, *chatterwick::PosixEnv());
  window.SetStopFlag(chatterwick::stop_signals::Install());
  window.Load(argument_text);
  window.show();
  return app.exec();
}
