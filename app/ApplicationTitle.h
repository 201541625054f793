#pragma once

#include <functional>
#include <string>

// True for the first byte of a two-byte character of the ANSI code page.
using LeadBytePredicate = std::function<bool(unsigned char)>;

// The application title from the executable's full path: the file name without anything from
// its first ".", every letter after the first in lower case. MyTool.exe gives "Mytool", a.b.exe
// gives "a". Two-byte characters are stepped over whole, so their second byte is never taken for a
// backslash, a dot or a letter.
std::string ApplicationTitle(const std::string& modulePath, const LeadBytePredicate& isLeadByte);
