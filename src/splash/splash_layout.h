// The arithmetic of the splash window, kept apart from Windows so it can be tested natively:
// where the window goes on the desktop, how tall its fonts are and how much status text it
// holds.
#pragma once

#include "platform/text.h"

namespace tesmo {

struct SplashOrigin {
    int x;
    int y;
};

// The top left corner that centres a window of `width` by `height` on the desktop
// rectangle. Division truncates toward zero, so a window larger than the desktop gets
// negative coordinates that keep it centred.
SplashOrigin centredOrigin(int left, int top, int right, int bottom, int width, int height);

// number * numerator / denominator rounded to the nearest integer, halves away from zero,
// with a 64-bit intermediate; -1 when the denominator is 0 or the result lies beyond INT_MAX
// in either direction.
// The same answers as Windows' MulDiv, so font heights match what the system computes.
int mulDiv(int number, int numerator, int denominator);

// The font height for a point size at the device's vertical pixels per inch: negative, so
// that it selects by character height rather than cell height.
int fontHeight(int points, int pixelsPerInch);

// The status line holds 6000 characters including its terminator; a longer text is cut,
// never between the two halves of a surrogate pair.
WideString fitStatusText(WideView text);

}  // namespace tesmo
