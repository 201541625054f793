#include "unitMain/MainFormLayout.h"

#include <algorithm>
#include <cstdint>

int MulDivRound(int value, int numerator, int denominator) {
  const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
  const std::int64_t half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

int ScaledFontHeight(int pixelsPerInch) {
  return MulDivRound(kDesignFontHeight, pixelsPerInch, kDesignPixelsPerInch);
}

LayoutRect ScaleRect(const LayoutRect& rect, int measuredTextHeight) {
  auto scale = [&](int value) { return MulDivRound(value, measuredTextHeight, kDesignTextHeight); };
  return {scale(rect.left), scale(rect.top), scale(rect.width), scale(rect.height)};
}

int CentredOffset(int desktopExtent, int windowExtent) {
  // Integer division truncates toward zero, as the rule asks, before a negative becomes 0.
  return std::max(0, (desktopExtent - windowExtent) / 2);
}
