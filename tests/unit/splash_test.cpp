#include <gtest/gtest.h>

#include <thread>

#include "splash/splash_gate.h"
#include "splash/splash_layout.h"

namespace tesmo {
namespace {

TEST(SplashLayout, CentringTruncatesFontsRoundLikeMulDivStatusTextIsCutWhole) {
    // Larger than the desktop: negative, and -1 / 2 is 0, not -1.
    EXPECT_EQ(centredOrigin(0, 0, 1024, 768, 1025, 771).x, 0);
    EXPECT_EQ(centredOrigin(0, 0, 1024, 768, 1025, 771).y, -1);
    // number, numerator, denominator, result: halves away from zero, -1 for no answer.
    const int max = 2147483647;
    const int cases[][4] = {{8, 96, 72, 11}, {-3, 1, 2, -2},  {-3, 1, -2, 2},      {5, 1, 4, 1},
                            {7, 3, 0, -1},   {max, 2, 1, -1}, {max, max, max, max}};
    for (const auto& c : cases)
        EXPECT_EQ(mulDiv(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1] << " " << c[2];
    EXPECT_EQ(fontHeight(9, 96), -12);
    // Status text is cut to its capacity, never between the halves of a surrogate pair.
    const WideString kept(kPathCapacity - 2, u'x');
    EXPECT_EQ(fitStatusText(kept + u"\U0001F600tail"), kept);
}

TEST(SplashGate, AHideFallsToWhoeverHoldsTheWindowThen) {
    SplashGate before;
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
    EXPECT_FALSE(after.beginCreation());
}

TEST(SplashGate, EveryRaceLeavesTheHideToExactlyOneSide) {
    for (int round = 0; round < 500; ++round) {
        SplashGate gate;
        bool created = false, published = false;
        SplashGate::HideOutcome outcome{};
        std::thread splash([&] {
            created = gate.beginCreation();
            if (created) published = gate.publish();
        });
        std::thread hider([&] { outcome = gate.requestHide(); });
        splash.join();
        hider.join();
        using Outcome = SplashGate::HideOutcome;
        EXPECT_EQ(outcome, !created    ? Outcome::BeforeCreation
                           : published ? Outcome::Shown
                                       : Outcome::DuringCreation);
        EXPECT_FALSE(gate.shown());
    }
}

}  // namespace
}  // namespace tesmo
