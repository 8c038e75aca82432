#include "gui/shortcut_list.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace chatterwick::gui {

QString ShortcutList(const QMenuBar& menus) {
  QString text;
  for (QAction* menu : menus.actions())
    for (QAction* a : menu->menu()->actions())
      if (!a->isSeparator() && !a->shortcut().isEmpty())
        text +=
            a->text().remove('&') + "\t" + a->shortcut().toString(QKeySequence::NativeText) + "\n";
  return text;
}

}  // namespace chatterwick::gui
