#include "backup/ValueTypes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

#include "backup/UnitCursor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Hex data is wrapped as regedit wraps it, so no line grows past 80 characters.
constexpr std::size_t kWrapColumn = 77;
// What ends a line of hex data that goes on in the next one, and begins the next.
constexpr char16_t kWrap[] = u"\\\r\n  ";
// The text is passed on once it holds this many characters, so a value's text is never whole.
constexpr std::size_t kPieceSize = 1 << 15;
// A value's data that grows this large has the room for the rest of it made at once, from the
// length of its text, rather than doubled as it grows: a large value is held once, not thrice.
constexpr std::size_t kSizedFrom = 1 << 20;
// Lower case, as regedit writes them.
constexpr char16_t kDigits[] = u"0123456789abcdef";

// The UTF-16 units of a string value's bytes, read in place: a large value is never copied.
class LeUnits {
 public:
  explicit LeUnits(const Bytes& bytes) : bytes_(bytes) {}
  std::size_t size() const { return bytes_.size() / 2; }
  char16_t operator[](std::size_t i) const {
    return static_cast<char16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8));
  }

 private:
  const Bytes& bytes_;
};

// Passes the text on once it holds a whole piece; false when the sink refused it.
bool PassWhole(std::u16string* text, const RegTextSink& sink) {
  if (text->size() < kPieceSize) {
    return true;
  }
  if (!sink(*text)) {
    return false;
  }
  text->clear();
  return true;
}

// The number as printf writes it in the format, in the text's units.
std::u16string Printed(const char* format, std::uint32_t number) {
  char text[16];
  std::snprintf(text, sizeof(text), format, static_cast<unsigned>(number));
  return std::u16string(text, text + std::strlen(text));
}

// Hex digits into the number: exactly `most` of them where no end is given, else one to `most`
// and then the end, taken.
Read ReadHexNumber(UnitCursor& in, int most, std::optional<char16_t> end, std::uint32_t* number) {
  *number = 0;
  for (int digits = 0; end || digits < most; ++digits) {
    char16_t unit;
    if (!in.Next(&unit)) {
      return Read::kEnded;
    }
    if (end && unit == *end && digits > 0) {
      return Read::kDone;
    }
    if (HexDigit(unit) < 0 || digits == most) {
      return Read::kBad;
    }
    *number = *number * 16 + static_cast<std::uint32_t>(HexDigit(unit));
  }
  return Read::kDone;
}

// A string goes in quoted only when quoting gives back its very bytes: one terminating zero
// and no other, whole characters, and nothing that would end the line.
bool Quotable(const Bytes& data) {
  if (data.size() < 2 || data.size() % 2 != 0) {
    return false;
  }
  const LeUnits units(data);
  const std::size_t length = units.size() - 1;
  return units[length] == 0 && LineText(units, length);
}

// The units before the terminating zero, and the closing quote.
bool WriteString(const RegValue& value, std::u16string* text, const RegTextSink& sink) {
  const LeUnits units(value.data);
  for (std::size_t i = 0; i + 1 < units.size(); ++i) {
    AddQuoted(units[i], text);
    if (!PassWhole(text, sink)) {
      return false;
    }
  }
  *text += u'"';
  return true;
}

// The text up to its closing quote, and the terminating zero the writer left out.
Read ReadString(UnitCursor& in, RegValue* value) {
  const Read text = ReadQuoted(in, [&](char16_t c) {
    if (value->data.size() == kSizedFrom) {
      // Two bytes a unit at most, and the terminating zero.
      value->data.reserve(kSizedFrom + 2 * in.UnitsToLineEnd() + 4);
    }
    value->data.push_back(static_cast<std::uint8_t>(c & 0xFF));
    value->data.push_back(static_cast<std::uint8_t>(c >> 8));
    return true;
  });
  if (text == Read::kDone) {
    value->data.insert(value->data.end(), {0, 0});
  }
  return text;
}

bool FourBytes(const Bytes& data) {
  return data.size() == 4;
}

// The bytes as one little-endian number.
bool WriteDword(const RegValue& value, std::u16string* text, const RegTextSink&) {
  const Bytes& data = value.data;
  *text += Printed("%08x", data[0] | (data[1] << 8) | (data[2] << 16) |
                               (static_cast<std::uint32_t>(data[3]) << 24));
  return true;
}

Read ReadDword(UnitCursor& in, RegValue* value) {
  std::uint32_t number = 0;
  const Read read = ReadHexNumber(in, 8, std::nullopt, &number);
  value->data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                 static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
  return read;
}

bool AnyBytes(const Bytes&) {
  return true;
}

// Two hex digits a byte, a comma between them, wrapped as regedit wraps them. The text holds the
// line so far, none of it passed on yet.
bool WriteHexList(const RegValue& value, std::u16string* text, const RegTextSink& sink) {
  std::size_t column = text->size();
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    if (i > 0) {
      *text += u',';
      ++column;
      if (column + 2 > kWrapColumn) {
        *text += kWrap;
        column = 2;
      }
    }
    *text += kDigits[value.data[i] >> 4];
    *text += kDigits[value.data[i] & 0xF];
    column += 2;
    if (!PassWhole(text, sink)) {
      return false;
    }
  }
  return true;
}

// Pairs of hex digits, a comma between them, and after a comma the line may go on in the next.
Read ReadHexList(UnitCursor& in, RegValue* value) {
  for (bool first = true;; first = false) {
    char16_t unit;
    if (!in.Peek(&unit)) {
      return Read::kEnded;
    }
    if (unit == u'\r') {
      return Read::kDone;
    }
    if (!first) {
      Read read = ReadText(in, u",");
      if (read == Read::kDone && in.Peek(&unit) && unit == u'\\') {
        read = ReadText(in, kWrap);
      }
      if (read != Read::kDone) {
        return read;
      }
    }
    char16_t high;
    char16_t low;
    if (!in.Next(&high) || !in.Next(&low)) {
      return Read::kEnded;
    }
    if (HexDigit(high) < 0 || HexDigit(low) < 0) {
      return Read::kBad;
    }
    if (value->data.size() == kSizedFrom) {
      // Three units a byte, two digits and a comma, and the wrapping besides.
      value->data.reserve(kSizedFrom + in.UnitsToLineEnd() / 3 + 2);
    }
    value->data.push_back(static_cast<std::uint8_t>(HexDigit(high) * 16 + HexDigit(low)));
  }
}

// The type and its "):", then the bytes.
bool WriteTypedHexList(const RegValue& value, std::u16string* text, const RegTextSink& sink) {
  *text += Printed("%x):", value.type);
  return WriteHexList(value, text, sink);
}

Read ReadTypedHexList(UnitCursor& in, RegValue* value) {
  Read read = ReadHexNumber(in, 8, u')', &value->type);
  if (read == Read::kDone) {
    read = ReadText(in, u":");
  }
  return read == Read::kDone ? ReadHexList(in, value) : read;
}

// One way a value's data is spelled.
struct ValueType {
  const char16_t* prefix;             // what the data begins with; no prefix begins another
  std::optional<std::uint32_t> type;  // the type it holds; none where the text names it
  // Whether it gives back the very bytes of data of its type.
  bool (*fits)(const Bytes& data);
  // Adds the data after the prefix to the text, as WriteValueData.
  bool (*write)(const RegValue& value, std::u16string* text, const RegTextSink& sink);
  // Reads the data after the prefix, leaving the cursor at the line's end.
  Read (*read)(UnitCursor& in, RegValue* value);
};

// In the writer's order: a value goes in by the first row that fits it.
const ValueType kValueTypes[] = {
    {u"\"", kRegSz, Quotable, WriteString, ReadString},
    {u"dword:", kRegDword, FourBytes, WriteDword, ReadDword},
    {u"hex:", kRegBinary, AnyBytes, WriteHexList, ReadHexList},
    {u"hex(", std::nullopt, AnyBytes, WriteTypedHexList, ReadTypedHexList},
};

// The first row that fits the value; the last fits every value.
const ValueType& RowOf(const RegValue& value) {
  return *std::find_if(std::begin(kValueTypes), std::end(kValueTypes), [&](const ValueType& row) {
    return (!row.type || *row.type == value.type) && row.fits(value.data);
  });
}

// The row whose prefix the text begins with, read a unit at a time; kBad, with the unit taken, as
// soon as no prefix begins with what was read.
Read ReadPrefix(UnitCursor& in, const ValueType** row) {
  std::u16string begun;
  for (char16_t unit; in.Next(&unit);) {
    begun += unit;
    bool begins = false;
    for (const ValueType& type : kValueTypes) {
      if (begun == type.prefix) {
        *row = &type;
        return Read::kDone;
      }
      begins = begins || std::u16string_view(type.prefix).compare(0, begun.size(), begun) == 0;
    }
    if (!begins) {
      return Read::kBad;
    }
  }
  return Read::kEnded;
}

}  // namespace

void AddQuoted(char16_t unit, std::u16string* text) {
  if (unit == u'\\' || unit == u'"') {
    *text += u'\\';
  }
  *text += unit;
}

bool WriteValueData(const RegValue& value, std::u16string* text, const RegTextSink& sink) {
  const ValueType& row = RowOf(value);
  *text += row.prefix;
  return row.write(value, text, sink);
}

Read ReadValueData(UnitCursor& in, RegValue* value) {
  const ValueType* row = nullptr;
  const Read prefix = ReadPrefix(in, &row);
  if (prefix != Read::kDone) {
    return prefix;
  }
  if (row->type) {
    value->type = *row->type;
  }
  return row->read(in, value);
}
