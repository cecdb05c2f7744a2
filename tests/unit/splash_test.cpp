#include <gtest/gtest.h>

#include <thread>

#include "splash/splash_gate.h"
#include "splash/splash_layout.h"

namespace tesmo {
namespace {

TEST(SplashLayout, CentresOnTheDesktopTruncatingTowardZero) {
    SplashOrigin origin = centredOrigin(0, 0, 1024, 768, 800, 87);
    EXPECT_EQ(origin.x, 112);
    EXPECT_EQ(origin.y, 340);  // 681 / 2
    // Larger than the desktop: negative, and -1 / 2 is 0, not -1.
    origin = centredOrigin(0, 0, 1024, 768, 1025, 771);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, -1);
    origin = centredOrigin(0, 0, 1024, 768, 3000, 2000);
    EXPECT_EQ(origin.x, -988);
    EXPECT_EQ(origin.y, -616);
    origin = centredOrigin(0, 0, 1024, 768, 2147483647, -2147483647 - 1);
    EXPECT_EQ(origin.x, -1073741311);
    EXPECT_EQ(origin.y, 1073742208);
}

TEST(SplashLayout, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(mulDiv(8, 96, 72), 11);  // 10.67
    EXPECT_EQ(mulDiv(3, 1, 2), 2);     // 1.5
    EXPECT_EQ(mulDiv(-3, 1, 2), -2);   // -1.5
    EXPECT_EQ(mulDiv(3, -1, 2), -2);   // -1.5
    EXPECT_EQ(mulDiv(3, 1, -2), -2);   // -1.5
    EXPECT_EQ(mulDiv(-3, 1, -2), 2);   // 1.5
    EXPECT_EQ(mulDiv(5, 1, 4), 1);     // 1.25
    EXPECT_EQ(mulDiv(0, -5, 3), 0);
    EXPECT_EQ(mulDiv(7, 3, 0), -1);
    EXPECT_EQ(mulDiv(2147483647, 2147483647, 2147483647), 2147483647);
    EXPECT_EQ(mulDiv(2147483647, 2, 1), -1);
    EXPECT_EQ(mulDiv(-2147483647 - 1, 1, 1), -1);
}

TEST(SplashLayout, FontHeightsAreNegativeCharacterHeights) {
    EXPECT_EQ(fontHeight(8, 96), -11);
    EXPECT_EQ(fontHeight(9, 96), -12);
    EXPECT_EQ(fontHeight(10, 96), -13);
    EXPECT_EQ(fontHeight(8, 120), -13);
    EXPECT_EQ(fontHeight(0, 96), 0);
}

TEST(SplashLayout, StatusTextIsCutToItsCapacity) {
    EXPECT_EQ(fitStatusText(u"Loading data"), u"Loading data");
    EXPECT_EQ(fitStatusText(u""), u"");
    WideString exact(kPathCapacity - 1, u'x');
    EXPECT_EQ(fitStatusText(exact), exact);
    EXPECT_EQ(fitStatusText(exact + u"yz"), exact);
    // A pair whose high half would be the last unit kept goes as a whole.
    WideString split = WideString(kPathCapacity - 2, u'x') + u"\U0001F600";
    EXPECT_EQ(fitStatusText(split), WideString(kPathCapacity - 2, u'x'));
    WideString fits = WideString(kPathCapacity - 3, u'x') + u"\U0001F600";
    EXPECT_EQ(fitStatusText(fits + u"tail"), fits);
}

TEST(SplashGate, AHideBeforeCreationPreventsTheWindow) {
    SplashGate gate;
    EXPECT_FALSE(gate.active());
    EXPECT_EQ(gate.requestHide(), SplashGate::HideOutcome::BeforeCreation);
    EXPECT_TRUE(gate.active());
    EXPECT_FALSE(gate.beginCreation());
    EXPECT_FALSE(gate.publish());
    EXPECT_FALSE(gate.shown());
}

TEST(SplashGate, AHideDuringCreationFallsToTheSplashThread) {
    SplashGate gate;
    ASSERT_TRUE(gate.beginCreation());
    EXPECT_TRUE(gate.active());
    EXPECT_FALSE(gate.shown());
    EXPECT_EQ(gate.requestHide(), SplashGate::HideOutcome::DuringCreation);
    EXPECT_FALSE(gate.publish());
    EXPECT_TRUE(gate.hidden());
}

TEST(SplashGate, AHideAfterPublishingFallsToTheCaller) {
    SplashGate gate;
    ASSERT_TRUE(gate.beginCreation());
    ASSERT_TRUE(gate.publish());
    EXPECT_TRUE(gate.shown());
    EXPECT_EQ(gate.requestHide(), SplashGate::HideOutcome::Shown);
    EXPECT_FALSE(gate.shown());
    EXPECT_EQ(gate.requestHide(), SplashGate::HideOutcome::AlreadyHidden);
    // Shown at most once per process.
    EXPECT_FALSE(gate.beginCreation());
    EXPECT_FALSE(gate.publish());
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
