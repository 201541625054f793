#pragma once

#include <windows.h>

#include <string>

// A modal box of its own with the text, unchanged, and one "OK" button, captioned with the
// application title; no icon. Enter, Esc, "OK" and the close button all close it. Every other
// window of the program is disabled meanwhile, and the focus goes back where it was.
void ShowNoticeBox(HINSTANCE instance, HWND fallbackOwner, const std::string& title,
                   const std::string& text);
