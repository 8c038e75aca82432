#pragma once

#include <QString>

class QMenuBar;

namespace chatterwick::gui {

// Every menu command of a window that has a shortcut, with its keys: a
// table (rich text) of a row each.
QString ShortcutList(const QMenuBar& menus);

}  // namespace chatterwick::gui
