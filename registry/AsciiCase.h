#pragma once

#include <string>

// Maps only "a" to "z" to upper case; every other byte, multi-byte ones included, stays as it is.
std::string AsciiUpper(std::string text);
