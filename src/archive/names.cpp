#include "archive/names.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <set>
#include <vector>

#include "archive/reader.h"
#include "core/text.h"

namespace chatterwick::archive {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Folds one run of valid UTF-8: full case folding, then the canonical
// decomposition, without its combining marks when drop_marks.
void FoldRun(std::string_view run, bool drop_marks, std::string* out) {
  UErrorCode status = U_ZERO_ERROR;
  std::vector<UChar> utf16(run.size() + 1);
  int32_t len = 0;
  u_strFromUTF8(utf16.data(), static_cast<int32_t>(utf16.size()), &len, run.data(),
                static_cast<int32_t>(run.size()), &status);
  // Folding can lengthen a text ("ß" becomes "ss"); three times is the bound.
  std::vector<UChar> folded(static_cast<size_t>(len) * 3 + 1);
  const int32_t folded_len = u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()),
                                           utf16.data(), len, U_FOLD_CASE_DEFAULT, &status);
  const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
  std::vector<UChar> decomposed(static_cast<size_t>(folded_len) * 4 + 1);
  const int32_t decomposed_len = unorm2_normalize(nfd, folded.data(), folded_len, decomposed.data(),
                                                  static_cast<int32_t>(decomposed.size()), &status);
  if (U_FAILURE(status)) {
    out->append(run);
    return;
  }
  for (int32_t i = 0; i < decomposed_len;) {
    UChar32 c;
    U16_NEXT(decomposed.data(), i, decomposed_len, c);
    if (drop_marks && u_charType(c) == U_NON_SPACING_MARK) continue;
    char bytes[U8_MAX_LENGTH];
    int32_t n = 0;
    U8_APPEND_UNSAFE(bytes, n, c);
    out->append(bytes, static_cast<size_t>(n));
  }
}

}  // namespace

bool IsUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

std::string DisplayName(std::string_view on_disk) {
  if (on_disk.find('%') == std::string_view::npos) return std::string(on_disk);
  std::string decoded;
  decoded.reserve(on_disk.size());
  for (size_t i = 0; i < on_disk.size(); ++i) {
    const int hi = i + 2 < on_disk.size() && on_disk[i] == '%' ? HexValue(on_disk[i + 1]) : -1;
    const int lo = hi >= 0 ? HexValue(on_disk[i + 2]) : -1;
    if (lo < 0) {
      decoded.push_back(on_disk[i]);
      continue;
    }
    decoded.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  // A NUL or a byte that is no UTF-8 would make a worse name than the escape.
  if (decoded.find('\0') != std::string::npos || !IsUtf8(decoded)) return std::string(on_disk);
  return decoded;
}

namespace {

// Every run of valid UTF-8 folded; a byte that is no UTF-8 ends the run
// before it and stays as it is.
std::string Fold(std::string_view text, bool drop_marks) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  int32_t run_start = 0;
  for (int32_t i = 0; i < length;) {
    const int32_t at = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c >= 0) continue;
    FoldRun(text.substr(static_cast<size_t>(run_start), static_cast<size_t>(at - run_start)),
            drop_marks, &out);
    out.append(text.substr(static_cast<size_t>(at), static_cast<size_t>(i - at)));
    run_start = i;
  }
  FoldRun(text.substr(static_cast<size_t>(run_start)), drop_marks, &out);
  return out;
}

}  // namespace

std::string FoldForSearch(std::string_view text) { return Fold(text, true); }

std::string FoldForFileSystem(std::string_view name) { return Fold(name, false); }

std::string SafeFileName(const std::string& name, size_t max_bytes) {
  std::string out;
  for (unsigned char ch : name)
    out += ch < 0x20 || ch == 0x7f ||
                   std::string_view("/\\<>:\"|?*").find(static_cast<char>(ch)) !=
                       std::string_view::npos
               ? '_'
               : static_cast<char>(ch);
  if (!out.empty() && out[0] == '.') out[0] = '_';
  // Whole characters only: never cut inside a UTF-8 sequence.
  out.resize(text::Utf8CutPoint(out, max_bytes));
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.back() = '_';
  std::string stem = out.substr(0, out.find('.'));
  for (char& ch : stem) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  static const std::set<std::string> kReserved = {
      "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
      "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
  if (kReserved.count(stem)) out = "_" + out;
  return out.empty() ? "_" : out;
}

std::string ExportRelativePath(const ConversationInfo& c, const std::string& extension, char sep) {
  std::string start = c.started_at.size() >= 19
                          ? c.started_at.substr(0, 10) + " " + c.started_at.substr(11, 2) + "." +
                                c.started_at.substr(14, 2) + "." + c.started_at.substr(17, 2)
                          : c.file_name;
  const std::string ext = "." + extension;
  return SafeFileName(c.protocol) + sep + SafeFileName(c.account) + sep + SafeFileName(c.contact) +
         sep + SafeFileName(start, 255 - ext.size() - 8) + ext;
}

bool IsExportPlace(const std::string& relative, char sep) {
  size_t parts = 0;
  for (size_t start = 0; start <= relative.size(); ++parts) {
    size_t end = relative.find(sep, start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    if (part.empty() || SafeFileName(part) != part) return false;
    start = end + 1;
  }
  return parts == 4;
}

}  // namespace chatterwick::archive
