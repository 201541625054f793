#pragma once

#include <string>

#include "registry/KeyTree.h"

// The text of a file that "reg import" and regedit read: "Windows Registry Editor Version 5.00",
// one section a key with each value's exact bytes. Text is UTF-16; the file holds it as UTF-16LE
// behind a byte order mark, lines ending in CR LF.

// The byte order mark and the format line, then a blank line.
std::u16string RegFileHeader();
// A comment block: each line of the UTF-8 text as a comment line, then a blank line.
std::u16string RegFileComment(const std::string& text);
// The section of one key, fullName being "ROOT\path" in UTF-8; a link goes in as a comment, for
// a .reg file cannot hold one. False, with nothing added, when a name cannot be written so that
// it reads back the same (a line break or a zero in it).
bool AppendRegFileKey(const std::string& fullName, const TreeKey& key, std::u16string& text);
// The bytes of the text as the file holds them.
std::string Utf16LeBytes(const std::u16string& text);
