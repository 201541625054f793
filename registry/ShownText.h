#pragma once

#include <string>

// Text from outside (a key's or value's name, a file's), shown so that nothing in it can end a
// line, move the cursor, reorder or hide what is around it, or pass for something else where it
// appears: control characters, the C1 set, the zero-width characters, the bidirectional
// embeddings, overrides and isolates, the line and paragraph separators, the byte order mark,
// non-characters and lone surrogates become \uXXXX. Unquoted, a backslash that with what follows
// spells such an escape becomes \u005c, so text that spells one is never shown as one. Quoted,
// the backslash and the quote are escaped too and the text is put in quotes, so that it reads
// back exactly.
std::u16string EscapedText(const std::u16string& text, bool quoted);
// A UTF-8 name as the console shows it, escaped so, unquoted.
std::string Shown(const std::string& text);
