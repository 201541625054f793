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

// The characters that show nothing, or reorder or hide the text around them: the soft hyphen, the
// bidirectional marks, embeddings, overrides and isolates, the zero-width and invisible format
// characters, the fillers, the Khmer inherent vowels, the Mongolian selectors, the variation
// selectors, the prefixed format characters of Arabic and Syriac, the unassigned specials and the
// interlinear annotation marks.
bool Invisible(char16_t c) {
  return c == 0x00AD || c == 0x034F || (c >= 0x0600 && c <= 0x0605) || c == 0x061C || c == 0x06DD ||
         c == 0x070F || c == 0x08E2 || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 ||
         (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0x3164 ||
         (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFFB);
}

// Whether the character at i, a unit or a surrogate pair, is a non-character or beyond the first
// plane one that shows nothing: the Kaithi number signs, the Egyptian format controls, the
// shorthand and musical format controls, the tags and the variation selectors of U+E0000 to
// U+E0FFF. Both halves of such a pair are escaped.
bool OddPlane(const std::u16string& text, std::size_t i) {
  const char16_t c = text[i];
  if ((c >= 0xFDD0 && c <= 0xFDEF) || c >= 0xFFFE) {
    return true;
  }
  const bool high = HighSurrogate(c) && i + 1 < text.size() && LowSurrogate(text[i + 1]);
  const bool low = LowSurrogate(c) && i > 0 && HighSurrogate(text[i - 1]);
  if (!high && !low) {
    return false;
  }
  const char16_t first = high ? c : text[i - 1];
  const char16_t second = high ? text[i + 1] : c;
  const std::uint32_t point = 0x10000 + ((first - 0xD800u) << 10) + (second - 0xDC00u);
  return (point & 0xFFFE) == 0xFFFE || point == 0x110BD || point == 0x110CD ||
         (point >= 0x13430 && point <= 0x1345F) || (point >= 0x1BCA0 && point <= 0x1BCA3) ||
         (point >= 0x1D173 && point <= 0x1D17A) || (point >= 0xE0000 && point <= 0xE0FFF);
}

// Controls of every kind, lone surrogates, and the characters that hide or reorder text.
bool NeedsEscape(const std::u16string& text, std::size_t i) {
  const char16_t c = text[i];
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0xFEFF ||
         Invisible(c) || OddPlane(text, i) ||
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
