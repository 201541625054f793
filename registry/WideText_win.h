#pragma once

#include <string>

// Conversions between the platform's UTF-16 and the program's UTF-8. False for text that is
// not valid in its encoding.
bool WideFromUtf8(const std::string& text, std::wstring* wide);
std::string Utf8FromWide(const wchar_t* text, int length);
