// Readable comparison tints on light, dark and high-contrast palettes.
#include "ui/contrast.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

namespace {

using vark::ContrastRatio;
using vark::MarkRole;
using vark::MarkTint;
using vark::ReadableBackground;
using vark::Rgb;

TEST(Contrast, RatiosOfKnownPairs) {
    struct Case {
        Rgb a;
        Rgb b;
        double ratio;
    };
    const Case cases[] = {
        {{0, 0, 0}, {255, 255, 255}, 21.0},
        {{255, 255, 255}, {0, 0, 0}, 21.0},
        {{128, 128, 128}, {128, 128, 128}, 1.0},
        // The grey that just misses 4.5 on white, and the one that just makes it.
        {{0x77, 0x77, 0x77}, {255, 255, 255}, 4.48},
        {{0x76, 0x76, 0x76}, {255, 255, 255}, 4.54},
        // Pure green is far lighter than pure blue.
        {{0, 255, 0}, {0, 0, 0}, 15.3},
        {{0, 0, 255}, {0, 0, 0}, 2.44},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(ContrastRatio(c.a, c.b), c.ratio, 0.01)
            << int(c.a.r) << "," << int(c.a.g) << "," << int(c.a.b);
    }
}

TEST(Contrast, ReadableBackgroundKeepsWhatIsReadableAndMendsTheRest) {
    struct Case {
        Rgb background;
        Rgb text;
    };
    const Case cases[] = {
        {{0xC8, 0xDC, 0xFF}, {0xF0, 0xF0, 0xF0}},  // a pale tint under light text
        {{0x30, 0x30, 0x30}, {0x20, 0x20, 0x20}},  // dark on dark
        {{0x77, 0x77, 0x77}, {0x77, 0x77, 0x77}},  // mid grey on itself: the hardest text
        {{0x74, 0x74, 0x74}, {0x76, 0x76, 0x76}}, {{0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF}},
        {{0x00, 0x00, 0x80}, {0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        const Rgb mended = ReadableBackground(c.background, c.text);
        EXPECT_GE(ContrastRatio(mended, c.text), vark::kMinTextContrast)
            << int(c.background.r) << " under " << int(c.text.r);
        EXPECT_NE(mended, c.background);
    }
    const Rgb fine{0xC8, 0xDC, 0xFF};
    EXPECT_EQ(ReadableBackground(fine, {0, 0, 0}), fine);
}

TEST(Contrast, TintsOnTheClassicLightPaletteAreTheWindowsOwn) {
    const Rgb white{255, 255, 255};
    const Rgb black{0, 0, 0};
    EXPECT_EQ(MarkTint(MarkRole::Reference, white, black), (Rgb{0xC8, 0xDC, 0xFF}));
    EXPECT_EQ(MarkTint(MarkRole::Differs, white, black), (Rgb{0xFF, 0xD2, 0xD2}));
    EXPECT_EQ(MarkTint(MarkRole::Attention, white, black), (Rgb{0xFF, 0xEC, 0xB4}));
    EXPECT_EQ(MarkTint(MarkRole::None, white, black), white);
}

TEST(Contrast, EveryTintIsReadableAndDistinctOnEveryPalette) {
    struct Palette {
        const char* name;
        Rgb base;
        Rgb text;
    };
    const Palette palettes[] = {
        {"Fusion light", {255, 255, 255}, {0, 0, 0}},
        {"Adwaita", {255, 255, 255}, {0x2E, 0x34, 0x36}},
        {"Adwaita dark", {0x2D, 0x2D, 0x2D}, {0xEE, 0xEE, 0xEC}},
        {"Breeze dark", {0x1B, 0x1E, 0x20}, {0xFC, 0xFC, 0xFC}},
        {"Fusion dark", {0x2A, 0x2A, 0x2A}, {0xFF, 0xFF, 0xFF}},
        {"high contrast black", {0, 0, 0}, {255, 255, 255}},
        {"high contrast white", {255, 255, 255}, {0, 0, 0}},
        {"high contrast yellow on black", {0, 0, 0}, {255, 255, 0}},
        {"high contrast green", {0, 0, 0}, {0, 255, 0}},
        {"navy", {0, 0, 0x80}, {255, 255, 255}},
        {"grey text on grey", {0x99, 0x99, 0x99}, {0x55, 0x55, 0x55}},
    };
    const MarkRole roles[] = {MarkRole::Reference, MarkRole::Differs, MarkRole::Attention};
    for (const Palette& p : palettes) {
        std::set<std::tuple<int, int, int>> seen;
        for (MarkRole role : roles) {
            const Rgb tint = MarkTint(role, p.base, p.text);
            EXPECT_GE(ContrastRatio(tint, p.text), vark::kMinTextContrast)
                << p.name << " role " << static_cast<int>(role);
            seen.insert({tint.r, tint.g, tint.b});
        }
        // Apart from one another; the row's sign tells them apart as well.
        EXPECT_EQ(seen.size(), 3u) << p.name;
    }
}

TEST(Contrast, EveryMarkHasItsOwnSignAndName) {
    std::set<std::string> signs;
    std::set<std::string> names;
    for (MarkRole role : {MarkRole::Reference, MarkRole::Differs, MarkRole::Attention}) {
        signs.insert(vark::MarkSign(role));
        names.insert(vark::MarkName(role));
    }
    EXPECT_EQ(signs.size(), 3u);
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(signs.count(""), 0u);
    EXPECT_TRUE(vark::MarkSign(MarkRole::None).empty());
}

}  // namespace
