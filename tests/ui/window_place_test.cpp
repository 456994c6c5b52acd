// Windows kept on the screen: first places and remembered ones.
#include "ui/window_place.h"

#include <gtest/gtest.h>

namespace vark {
namespace {

constexpr Extent kMinimum{480, 360};

TEST(WindowPlace, FitInsideShrinksAndMovesOnlyWhatMust) {
    struct Case {
        const char* what;
        Box frame;
        Box available;
        Box expected;
    };
    const Box laptop{0, 0, 1280, 800};
    const Case cases[] = {
        {"fits: unchanged", {100, 50, 816, 640}, laptop, {100, 50, 816, 640}},
        // 800 x 600 at scale 1.5 on a 1280 x 800 screen: 853 x 533 to fit in.
        {"too tall at 1.5", {0, -20, 816, 640}, {0, 0, 853, 533}, {0, 0, 816, 533}},
        {"too large at 2.0", {50, 50, 816, 640}, {0, 0, 640, 400}, {0, 0, 640, 400}},
        {"off the right edge", {1000, 100, 500, 400}, laptop, {780, 100, 500, 400}},
        {"above and left of the screen", {-300, -50, 500, 400}, laptop, {0, 0, 500, 400}},
        {"panel at the top", {0, 0, 500, 400}, {0, 32, 1280, 768}, {0, 32, 500, 400}},
        {"second screen", {1200, 10, 900, 700}, {1280, 0, 1920, 1080}, {1280, 10, 900, 700}},
        // A screen smaller than the minimum: the minimum wins, from the corner.
        {"screen below the minimum", {40, 40, 800, 600}, {0, 0, 400, 300}, {0, 0, 480, 360}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitInside(c.frame, c.available, kMinimum), c.expected) << c.what;
    }
}

TEST(WindowPlace, RestoresOnlyPlacesStillOnAScreen) {
    const std::vector<Box> two = {{0, 0, 1280, 800}, {1280, 0, 1920, 1080}};
    const std::vector<Box> one = {{0, 0, 1280, 800}};
    const Box onSecond{2000, 100, 900, 700};
    // On the second screen while it is there.
    EXPECT_EQ(RestorablePlace(onSecond, two, kMinimum), onSecond);
    // That screen is gone: not restored at all.
    EXPECT_EQ(RestorablePlace(onSecond, one, kMinimum), std::nullopt);
    // Title bar above the screen: gone too; just inside: kept, pulled in.
    EXPECT_EQ(RestorablePlace({100, -20, 800, 600}, one, kMinimum), std::nullopt);
    EXPECT_EQ(RestorablePlace({100, -5, 800, 600}, one, kMinimum), (Box{100, 0, 800, 600}));
    // Half off the right edge, its title bar's middle still on it.
    EXPECT_EQ(RestorablePlace({1000, 100, 500, 400}, one, kMinimum), (Box{780, 100, 500, 400}));
    // Larger than the screen it is on now: fitted.
    EXPECT_EQ(RestorablePlace({10, 10, 1900, 1000}, one, kMinimum), (Box{0, 0, 1280, 800}));
    // Nonsense from a damaged settings file.
    EXPECT_EQ(RestorablePlace({0, 0, 0, 600}, one, kMinimum), std::nullopt);
    EXPECT_EQ(RestorablePlace({2147483000, 2147483000, 2000, 2000}, one, kMinimum), std::nullopt);
    EXPECT_EQ(RestorablePlace({100, 100, 800, 600}, {}, kMinimum), std::nullopt);
}

}  // namespace
}  // namespace vark
