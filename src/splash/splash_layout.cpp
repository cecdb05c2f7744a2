#include "splash/splash_layout.h"

#include <climits>
#include <cstdint>

namespace tesmo {

SplashOrigin centredOrigin(int left, int top, int right, int bottom, int width, int height) {
    // 64-bit so that huge configured sizes cannot overflow before the division.
    auto centre = [](std::int64_t low, std::int64_t high, std::int64_t size) {
        return static_cast<int>((high - size - low) / 2);
    };
    return {centre(left, right, width), centre(top, bottom, height)};
}

int mulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    std::int64_t divisor = denominator;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    std::int64_t half = divisor / 2;
    std::int64_t result = product < 0 ? (product - half) / divisor : (product + half) / divisor;
    if (result > INT_MAX || result < -INT_MAX) return -1;
    return static_cast<int>(result);
}

int fontHeight(int points, int pixelsPerInch) {
    return -mulDiv(points, pixelsPerInch, 72);
}

WideString fitStatusText(WideView text) {
    std::size_t length = text.size();
    if (length > kPathCapacity - 1) {
        length = kPathCapacity - 1;
        char16_t last = text[length - 1];
        if (last >= 0xD800 && last <= 0xDBFF) --length;
    }
    return WideString(text.substr(0, length));
}

}  // namespace tesmo
