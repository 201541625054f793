#pragma once

#include <array>

// The main window's design, at 96 pixels per inch with a text height of 12 pixels, and the rules
// that fit it to the screen it opens on.

struct LayoutRect {
  int left;
  int top;
  int width;
  int height;

  bool operator==(const LayoutRect& other) const {
    return left == other.left && top == other.top && width == other.width && height == other.height;
  }
};

enum class ControlKind { Label, Button, Memo, StatusBar };

struct ControlSpec {
  ControlKind kind;
  const char* name;
  LayoutRect rect;
  const char* caption;
  bool tabStop;
};

constexpr const char* kMainCaption = "Registry Cleaner for TessalineWeb.ocx";
constexpr int kDesignPixelsPerInch = 96;
constexpr int kDesignTextHeight = 12;
constexpr int kDesignFontHeight = -12;
constexpr int kClientWidth = 469;
constexpr int kClientHeight = 184;

// In creation order; the tab stops follow it.
constexpr std::array<ControlSpec, 4> kControls = {{
    {ControlKind::Label, "Label1", {8, 40, 62, 12}, "Deleted Key", false},
    {ControlKind::Button, "Button1", {8, 8, 75, 25}, "Clean", true},
    {ControlKind::Memo, "Memo1", {8, 56, 449, 81}, "", true},
    {ControlKind::StatusBar, "StatusBar1", {0, 165, 469, 19}, "", false},
}};

// value * numerator / denominator, rounded half away from zero.
int MulDivRound(int value, int numerator, int denominator);

// The window font's height on a screen of the given density.
int ScaledFontHeight(int pixelsPerInch);

// A rectangle of the design scaled by the text height measured in the window font.
LayoutRect ScaleRect(const LayoutRect& rect, int measuredTextHeight);

// Where the window's top-left corner goes: centred over the rectangle that bounds all monitors,
// never left of or above the primary screen's corner.
int CentredOffset(int desktopExtent, int windowExtent);
