#pragma once

#include <cstddef>
#include <string>

#include "backup/RegFile.h"
#include "registry/Utf16.h"

class UnitCursor;
enum class Read;

// How a value's data is spelled after its name and "=", one type a row of a table that the
// writer and the reader both go through: a string as "TEXT", escaped; a DWORD as dword: and
// eight hex digits; binary data as hex: and its bytes; any other type, and any value that the
// rows before cannot give back byte for byte, as hex(N): and its bytes, N the type in hex.

// Whether the first `length` units read back the same from a line: whole characters, no line
// break and no zero.
template <typename Units>
bool LineText(const Units& units, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t c = units[i];
    if (c == u'\r' || c == u'\n' || c == 0 ||
        ((HighSurrogate(c) || LowSurrogate(c)) && !Paired(units, length, i))) {
      return false;
    }
  }
  return true;
}

// Adds a unit to a quoted text, a backslash before a backslash or a quote.
void AddQuoted(char16_t unit, std::u16string* text);

// Adds the value's data to the text, spelled by the first row that gives back its very bytes,
// and passes the text on to the sink each time it holds a whole piece; what is left is the end
// of the line but for its CR LF. False as soon as the sink returned false.
bool WriteValueData(const RegValue& value, std::u16string* text, const RegTextSink& sink);
// Reads the data after a value's "=" into its type and bytes, by the row whose spelling the text
// begins with, and leaves the cursor at the line's end.
Read ReadValueData(UnitCursor& in, RegValue* value);
