#pragma once

#include <windows.h>

#include "common/UniqueHandle_win.h"

// Owners for the drawing resources the windows use, each released on every path.

inline void DeleteFont(HFONT font) {
  DeleteObject(font);
}

// A font the program made, deleted when its owner goes.
using OwnedFont = UniqueHandle<HFONT, &DeleteFont>;

// One of the system's fonts, such as &NONCLIENTMETRICSA::lfMessageFont or lfStatusFont.
inline OwnedFont SystemFont(LOGFONTA NONCLIENTMETRICSA::*which) {
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  return OwnedFont(CreateFontIndirectA(&(metrics.*which)));
}

// A window's device context with a font selected, for measuring text; both are given back when
// it goes.
class MeasuringDc {
 public:
  MeasuringDc(HWND window, HFONT font)
      : window_(window), dc_(GetDC(window)), previous_(SelectObject(dc_, font)) {}
  MeasuringDc(const MeasuringDc&) = delete;
  MeasuringDc& operator=(const MeasuringDc&) = delete;
  ~MeasuringDc() {
    SelectObject(dc_, previous_);
    ReleaseDC(window_, dc_);
  }

  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
  HGDIOBJ previous_;
};

// The screen's density in pixels per inch.
inline int ScreenPixelsPerInch() {
  HDC dc = GetDC(nullptr);
  const int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return pixelsPerInch;
}
