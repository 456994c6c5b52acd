#include "ui/contrast.h"

#include <algorithm>
#include <cmath>

namespace vark {

namespace {

double Linear(std::uint8_t channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

std::uint8_t MixChannel(std::uint8_t from, std::uint8_t to, double share) {
    const double v = from + (to - from) * share;
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

Rgb Mix(Rgb from, Rgb to, double share) {
    return {MixChannel(from.r, to.r, share), MixChannel(from.g, to.g, share),
            MixChannel(from.b, to.b, share)};
}

// Saturated hues mixed into the base at kTintShare: on white they give the
// pale blue, red and amber the list has always shown.
constexpr double kTintShare = 0.3;
constexpr Rgb kReferenceHue{72, 138, 255};
constexpr Rgb kDiffersHue{255, 105, 105};
constexpr Rgb kAttentionHue{255, 192, 5};

}  // namespace

double RelativeLuminance(Rgb c) {
    return 0.2126 * Linear(c.r) + 0.7152 * Linear(c.g) + 0.0722 * Linear(c.b);
}

double ContrastRatio(Rgb a, Rgb b) {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb ReadableBackground(Rgb background, Rgb text, double minimum) {
    if (ContrastRatio(background, text) >= minimum) {
        return background;
    }
    const Rgb black{0, 0, 0};
    const Rgb white{255, 255, 255};
    const Rgb away = ContrastRatio(black, text) >= ContrastRatio(white, text) ? black : white;
    // The smallest share of `away` that is enough; contrast grows with it.
    double low = 0.0;
    double high = 1.0;
    for (int i = 0; i < 24; ++i) {
        const double mid = (low + high) / 2;
        if (ContrastRatio(Mix(background, away, mid), text) >= minimum) {
            high = mid;
        } else {
            low = mid;
        }
    }
    Rgb result = Mix(background, away, high);
    // Rounding to whole channel steps may land a hair short.
    for (double share = high; ContrastRatio(result, text) < minimum && share < 1.0;) {
        share = std::min(1.0, share + 1.0 / 255);
        result = Mix(background, away, share);
    }
    return result;
}

Rgb MarkTint(MarkRole role, Rgb base, Rgb text) {
    Rgb hue;
    switch (role) {
        case MarkRole::Reference:
            hue = kReferenceHue;
            break;
        case MarkRole::Differs:
            hue = kDiffersHue;
            break;
        case MarkRole::Attention:
            hue = kAttentionHue;
            break;
        case MarkRole::None:
            return base;
    }
    return ReadableBackground(Mix(base, hue, kTintShare), text);
}

std::string MarkSign(MarkRole role) {
    switch (role) {
        case MarkRole::Reference:
            return "\u25CF";  // a filled circle: the one every row is held against
        case MarkRole::Differs:
            return "\u2260";  // not equal
        case MarkRole::Attention:
            return "!";
        case MarkRole::None:
            break;
    }
    return {};
}

std::string MarkName(MarkRole role) {
    switch (role) {
        case MarkRole::Reference:
            return "reference";
        case MarkRole::Differs:
            return "differs from the reference";
        case MarkRole::Attention:
            return "no pin map to compare";
        case MarkRole::None:
            break;
    }
    return {};
}

}  // namespace vark
