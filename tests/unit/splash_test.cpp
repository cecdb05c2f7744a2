#include <gtest/gtest.h>

#include <thread>

#include "splash/splash_gate.h"
#include "splash/splash_layout.h"

namespace tesmo {
namespace {

TEST(SplashLayout, CentringTruncatesFontsRoundLikeMulDivStatusTextIsCutWhole) {
    // Larger than the desktop: negative, and -1 / 2 is 0, not -1.
    SplashOrigin origin = centredOrigin(0, 0, 1024, 768, 1025, 771);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, -1);
    EXPECT_EQ(centredOrigin(0, 0, 1024, 768, 800, 87).y, 340);
    // number, numerator, denominator, result: halves away from zero, -1 for no answer.
    const int cases[][4] = {
        {8, 96, 72, 11}, {3, 1, 2, 2},           {-3, 1, 2, -2},
        {3, 1, -2, -2},  {-3, 1, -2, 2},         {5, 1, 4, 1},
        {7, 3, 0, -1},   {2147483647, 2, 1, -1}, {2147483647, 2147483647, 2147483647, 2147483647}};
    for (const auto& c : cases) {
        EXPECT_EQ(mulDiv(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1] << " " << c[2];
    }
    EXPECT_EQ(fontHeight(9, 96), -12);
    // Status text is cut to its capacity, never between the halves of a surrogate pair.
    const WideString kept(kPathCapacity - 2, u'x');
    EXPECT_EQ(fitStatusText(kept + u"\U0001F600tail"), kept);
}

TEST(SplashGate, AHideFallsToWhoeverHoldsTheWindowThen) {
    SplashGate before;
    EXPECT_FALSE(before.active());
    EXPECT_EQ(before.requestHide(), SplashGate::HideOutcome::BeforeCreation);
    EXPECT_TRUE(before.active());
    EXPECT_FALSE(before.beginCreation());

    SplashGate during;
    ASSERT_TRUE(during.beginCreation());
    EXPECT_EQ(during.requestHide(), SplashGate::HideOutcome::DuringCreation);
    EXPECT_FALSE(during.publish());
    EXPECT_TRUE(during.hidden());

    SplashGate after;
    ASSERT_TRUE(after.beginCreation());
    ASSERT_TRUE(after.publish());
    EXPECT_TRUE(after.shown());
    EXPECT_EQ(after.requestHide(), SplashGate::HideOutcome::Shown);
    EXPECT_EQ(after.requestHide(), SplashGate::HideOutcome::AlreadyHidden);
    // Shown at most once per process.
    EXPECT_FALSE(after.beginCreation());
}

// Racing threads: whatever the interleaving, exactly one side is left to hide a window
// that was made, and none when no window was made.
TEST(SplashGate, EveryRaceLeavesTheHideToExactlyOneSide) {
    for (int round = 0; round < 500; ++round) {
        SplashGate gate;
        bool created = false;
        bool published = false;
        SplashGate::HideOutcome outcome{};
        std::thread splash([&] {
            created = gate.beginCreation();
            if (created) published = gate.publish();
        });
        std::thread hider([&] { outcome = gate.requestHide(); });
        splash.join();
        hider.join();
        if (!created) {
            EXPECT_EQ(outcome, SplashGate::HideOutcome::BeforeCreation);
        } else if (published) {
            EXPECT_EQ(outcome, SplashGate::HideOutcome::Shown);
        } else {
            EXPECT_EQ(outcome, SplashGate::HideOutcome::DuringCreation);
        }
        EXPECT_FALSE(gate.shown());
    }
}

}  // namespace
}  // namespace tesmo
