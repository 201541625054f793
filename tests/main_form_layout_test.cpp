// Fitting the window's design to the screen it opens on.
#include <gtest/gtest.h>

#include "unitMain/MainFormLayout.h"

namespace {

TEST(MainFormLayoutTest, FontHeightFollowsTheScreenDensity) {
  EXPECT_EQ(ScaledFontHeight(96), -12);
  EXPECT_EQ(ScaledFontHeight(120), -15);
  EXPECT_EQ(ScaledFontHeight(144), -18);
  EXPECT_EQ(ScaledFontHeight(72), -9);
  EXPECT_EQ(ScaledFontHeight(100), -13);  // -12.5 rounds away from zero
}

TEST(MainFormLayoutTest, RectanglesScaleByTheMeasuredTextHeight) {
  EXPECT_EQ(ScaleRect({8, 56, 449, 81}, 12), (LayoutRect{8, 56, 449, 81}));
  EXPECT_EQ(ScaleRect({8, 56, 449, 81}, 15), (LayoutRect{10, 70, 561, 101}));
  EXPECT_EQ(ScaleRect({0, 165, 469, 19}, 13), (LayoutRect{0, 179, 508, 21}));
  EXPECT_EQ(ScaleRect({8, 8, 75, 25}, 24), (LayoutRect{16, 16, 150, 50}));
}

TEST(MainFormLayoutTest, TheStatusBarSpansTheBottomEdge) {
  const LayoutRect status = kControls.back().rect;
  EXPECT_EQ(status.left, 0);
  EXPECT_EQ(status.width, kClientWidth);
  EXPECT_EQ(status.top + status.height, kClientHeight);
}

TEST(MainFormLayoutTest, CentredOverTheDesktopButNeverOffItsCorner) {
  EXPECT_EQ(CentredOffset(1280, 475), 402);
  EXPECT_EQ(CentredOffset(1280, 476), 402);
  EXPECT_EQ(CentredOffset(2560, 475), 1042);
  EXPECT_EQ(CentredOffset(400, 475), 0);
  EXPECT_EQ(CentredOffset(474, 475), 0);  // -0.5 truncates to 0
}

}  // namespace
