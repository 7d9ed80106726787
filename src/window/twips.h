// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window measures. The window's places and sizes are kept in twips (1/1440 inch) in the
// settings store and in the layout rules; on the screen one pixel is 15 twips (96 dots per inch).
// Displays of other densities are left to Qt's device-independent pixels, so a twip stays
// 1/15 of a logical pixel everywhere.

#include <cmath>

namespace ondo::window {

inline constexpr int kTwipsPerPixel = 15;

inline constexpr int toTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

// Rounds to the nearest pixel; measures read from the store need not be multiples of 15.
inline int toPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

}  // namespace ondo::window
