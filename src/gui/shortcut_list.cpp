#include "gui/shortcut_list.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace chatterwick::gui {

QString ShortcutList(const QMenuBar& menus) {
  // A table: a box shows a tab as nothing, and ran each command into its keys.
  QString rows;
  for (QAction* menu : menus.actions())
    for (QAction* a : menu->menu()->actions())
      if (!a->isSeparator() && !a->shortcut().isEmpty())
        rows += "<tr><td>" + a->text().remove('&').toHtmlEscaped() +
                "</td><td style=\"padding-left: 24px\">" +
                a->shortcut().toString(QKeySequence::NativeText).toHtmlEscaped() + "</td></tr>";
  return "<table>" + rows + "</table>";
}

}  // namespace chatterwick::gui
