#include "registry/ShownText.h"

#include <cstdio>

#include "registry/Utf16.h"

namespace {

bool NeedsEscape(const std::u16string& text, std::size_t i) {
  const char16_t c = text[i];
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0xFEFF ||
         c >= 0xFFFE || ((HighSurrogate(c) || LowSurrogate(c)) && !Paired(text, text.size(), i));
}

}  // namespace

std::u16string EscapedText(const std::u16string& text, bool quoted) {
  std::u16string escaped = quoted ? u"\"" : u"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (NeedsEscape(text, i)) {
      char code[8];
      std::snprintf(code, sizeof(code), "\\u%04x", static_cast<unsigned>(text[i]));
      escaped += std::u16string(code, code + 6);
    } else {
      if (quoted && (text[i] == u'\\' || text[i] == u'"')) {
        escaped += u'\\';
      }
      escaped += text[i];
    }
  }
  return quoted ? escaped + u"\"" : escaped;
}

std::string Shown(const std::string& text) {
  return Utf16ToUtf8(EscapedText(Utf8ToUtf16(text), false));
}
