#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "archive/reader.h"

// The forms a conversation is exported in: pieces of text that the export
// writes one after the other, so that no file is ever held whole in memory.
namespace chatterwick::archive {

enum class ExportFormat { kHtml, kText, kJson, kJsonl, kCsv };

// "html", "txt", "json", "jsonl" or "csv"; nothing for any other name.
std::optional<ExportFormat> ExportFormatNamed(std::string_view name);
// The file name ending, without the dot.
const char* ExportExtension(ExportFormat format);

class ExportWriter {
 public:
  virtual ~ExportWriter() = default;
  // What a file begins and ends with, around one or more conversations;
  // only is the conversation of a file that holds one, or null.
  virtual std::string BeginFile(const ConversationInfo* only) {
    (void)only;
    return {};
  }
  virtual std::string EndFile() { return {}; }
  virtual std::string BeginConversation(const ConversationInfo& c) = 0;
  virtual std::string Message(const ConversationInfo& c, const MessageRow& m) = 0;
  virtual std::string EndConversation(const ConversationInfo& c) {
    (void)c;
    return {};
  }
};

// spreadsheet_safe: CSV begun with the byte-order mark and guarded against
// formulas, as the program's other CSV files are.
std::unique_ptr<ExportWriter> MakeExportWriter(ExportFormat format, bool spreadsheet_safe);

// The text with & < > " ' as HTML's references, to stand in a page's text
// or a quoted attribute.
std::string HtmlEscaped(std::string_view text);

// "2022-09-30 17:39:26" from a full stamp ("2022-09-30T17:39:26+02:00").
std::string ReadableStamp(const std::string& stamp);
// ReadableStamp of the message's stamp, or the time text as written
// (without its parentheses) when there is none.
std::string ReadableTime(const MessageRow& m);

}  // namespace chatterwick::archive
