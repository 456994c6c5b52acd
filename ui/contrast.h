// Colours of the list's comparison marks that stay readable on any palette:
// the contrast of two colours as accessibility guidelines measure it, and a
// tint per mark derived from the palette's own background and text colours.
#pragma once

#include <cstdint>
#include <string>

#include "ui/reference_compare.h"

namespace vark {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// Relative luminance of an sRGB colour, 0 (black) to 1 (white).
double RelativeLuminance(Rgb c);

// (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black on
// white; the same whichever colour comes first.
double ContrastRatio(Rgb a, Rgb b);

// The least readable contrast allowed for text on a tint.
inline constexpr double kMinTextContrast = 4.5;

// `background` itself when `text` on it reaches `minimum`, else the colour
// nearest to it, mixed towards black or white (whichever the text stands out
// from more), on which it does. Any text colour can reach 4.5 this way.
Rgb ReadableBackground(Rgb background, Rgb text, double minimum = kMinTextContrast);

// The background of rows marked `role` in a list whose palette draws `text`
// on `base`; with the classic white base and black text the pale tints the
// window always had. Equal to `base` for MarkRole::None.
Rgb MarkTint(MarkRole role, Rgb base, Rgb text);

// The sign that shows a row's mark beside its test number, so that the mark
// does not depend on telling colours apart; empty for MarkRole::None.
std::string MarkSign(MarkRole role);

// What the mark means, in words, for screen readers and tooltips.
std::string MarkName(MarkRole role);

}  // namespace vark
