#pragma once

#include <string>

// The platform's UTF-16 text in the program's UTF-8.
std::string Utf8FromWide(const wchar_t* text, int length);
