#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/search.h"
#include "core/env.h"
#include "gui/job_thread.h"

class QWidget;

namespace chatterwick::gui {

// Exports chosen conversations of the archive window into a folder, on
// the window's job thread, asking the format and the folder through the
// dialogs seam; the status line tells how it went.
class ConversationExport {
 public:
  // Every argument outlives the export; say sets the status line (rich text).
  ConversationExport(QWidget* window, Env& env, const std::string& db_path, JobThread& jobs,
                     std::function<void(const QString&)> say);

  // Asks for a format and a folder, then exports conversations; what to
  // choose first, when there are none. With the search that found them, it
  // also asks whether whole conversations or only the matching messages.
  void Ask(const std::vector<int64_t>& conversations, const QString& none_chosen,
           const archive::SearchOptions* search = nullptr);
  // matching: only the messages it selects, of those conversations.
  void Run(const std::vector<int64_t>& conversations, const QString& format, const QString& folder,
           const archive::SearchOptions* matching = nullptr);

 private:
  QWidget* window_;
  Env& env_;
  const std::string& db_path_;
  JobThread& jobs_;
  std::function<void(const QString&)> say_;
};

}  // namespace chatterwick::gui
