#pragma once

#include <functional>

#include "archive/background_reader.h"
#include "core/env.h"

class QWidget;

// The archive window's questions about its sources, read on the
// background reader and told through the dialogs seam.
namespace chatterwick::gui {

// Lists the sources in a box, as the command line's sources does; whether
// each can be reached is asked of the disk, off the window's thread.
void TellSources(QWidget* window, Env& env, archive::BackgroundReader& reads);

// Says how many conversations are gone from every source and, when the user
// agrees, calls remove.
void AskToRemoveGone(QWidget* window, archive::BackgroundReader& reads,
                     std::function<void()> remove);

}  // namespace chatterwick::gui
