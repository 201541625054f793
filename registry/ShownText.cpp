#include "registry/ShownText.h"

#include <cstdio>

#include "registry/Utf16.h"

namespace {

bool HexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Whether a backslash at i starts text that reads as an escape, "\u" and four hex digits.
bool SpellsEscape(const std::u16string& text, std::size_t i) {
  if (text[i] != u'\\' || text.size() - i < 6 || text[i + 1] != u'u') {
    return false;
  }
  for (std::size_t digit = i + 2; digit < i + 6; ++digit) {
    if (!HexDigit(text[digit])) {
      return false;
    }
  }
  return true;
}

// Controls of every kind, and the characters that reorder or hide the text around them: the
// bidirectional embeddings, overrides and isolates, and the zero-width ones.
bool NeedsEscape(const std::u16string& text, std::size_t i) {
  const char16_t c = text[i];
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) || c == 0x2028 ||
         c == 0x2029 || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
         c == 0xFEFF || c >= 0xFFFE ||
         ((HighSurrogate(c) || LowSurrogate(c)) && !Paired(text, text.size(), i));
}

}  // namespace

std::u16string EscapedText(const std::u16string& text, bool quoted) {
  std::u16string escaped = quoted ? u"\"" : u"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Unquoted, a backslash is shown as itself, except where the text after it would read as an
    // escape: a name that spells one is then shown apart from a name that holds the character.
    if (NeedsEscape(text, i) || (!quoted && SpellsEscape(text, i))) {
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
