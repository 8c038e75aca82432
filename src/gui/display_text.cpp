#include "gui/display_text.h"

namespace chatterwick::gui {

namespace {

// Length of the valid UTF-8 sequence at p, or 0.
size_t ValidSequence(const unsigned char* p, size_t left, char32_t* cp) {
  const unsigned char b = p[0];
  size_t len;
  char32_t min;
  if (b < 0x80) {
    *cp = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    len = 2, min = 0x80, *cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, min = 0x800, *cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, *cp = b & 0x07;
  } else {
    return 0;
  }
  if (left < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (p[i] & 0x3F);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

QString DecodeForDisplay(std::string_view bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    size_t len = ValidSequence(p + i, bytes.size() - i, &cp);
    if (len == 0) {
      cp = p[i];
      len = 1;
    }
    if (cp >= 0x10000) {
      out.append(QChar(QChar::highSurrogate(cp)));
      out.append(QChar(QChar::lowSurrogate(cp)));
    } else {
      out.append(QChar(static_cast<char16_t>(cp)));
    }
    i += len;
  }
  return out;
}

std::string EncodeTyped(const QString& text) { return text.toStdString(); }

}  // namespace chatterwick::gui
