#include "archive/source_report.h"

#include "core/log_tree.h"

namespace chatterwick::archive {

namespace {

// "2026-12-08T02:40:11Z" as "2026-12-08 02:40:11 UTC".
std::string ReadAt(const std::string& stamp) {
  if (stamp.empty()) return "never";
  std::string shown = stamp;
  if (shown.size() == 20 && shown[10] == 'T' && shown.back() == 'Z') {
    shown[10] = ' ';
    shown.back() = ' ';
    shown += "UTC";
  }
  return shown;
}

}  // namespace

std::string SourcesReport(Env& env, const std::vector<SourceInfo>& sources) {
  if (sources.empty()) return "No log folder has been read into this archive yet.\n";
  std::string text;
  for (const SourceInfo& source : sources) {
    const SourceRow& row = source.row;
    if (!text.empty()) text += '\n';
    text += "Source: " + row.name + "\n";
    text += "  Path: " +
            (row.path.empty() ? std::string("not known yet (the folder this archive "
                                            "was first made from)")
                              : row.path) +
            "\n";
    text += "  Logs: " + std::to_string(row.logs) +
            " at the last read; copies kept: " + std::to_string(source.copies) +
            ", of which still there: " + std::to_string(source.present_copies) + "\n";
    text += "  Last read: " + ReadAt(row.read_at) + "\n";
    const Status reached = row.path.empty() ? Status::NotFound("its path is not known yet")
                                            : CheckLogRoot(env, row.path);
    text += "  Reachable now: " + (reached.ok() ? std::string("yes") : "no, " + reached.message()) +
            "\n";
  }
  return text;
}

}  // namespace chatterwick::archive
