#pragma once

#include <string>

// Text from outside (a key's or value's name, a file's), shown so that nothing in it can end a
// line, move the cursor or pass for something else where it appears: control characters, the C1
// set, the line and paragraph separators, the byte order mark, non-characters and lone
// surrogates become \uXXXX. Quoted, the backslash and the quote are escaped too and the text is
// put in quotes, so that it reads back exactly.
std::u16string EscapedText(const std::u16string& text, bool quoted);
// A UTF-8 name as the console shows it, escaped so, unquoted.
std::string Shown(const std::string& text);
