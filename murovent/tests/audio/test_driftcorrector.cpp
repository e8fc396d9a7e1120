// SPDX-License-Identifier: GPL-2.0-or-later
// The drift correction on simulated clocks: sources that run fast or slow against the wall
// clock, or stall, stay on it without audible steps.
#include <gtest/gtest.h>

#include "drift_simulation.h"

namespace {

// Against the sine's amplitude, -46 dB: far above what resampling leaves of a pure sine, far
// below a dropped or inserted stretch.
constexpr double MaxGlitch = 0.005;

}  // namespace

TEST(DriftCorrection, ClocksOffByAThirdOfAPercentStayOnTheWallClockForHalfAnHour)
{
    const std::vector<driftsim::Figures> figures =
        driftsim::run(8000, 30 * 60, {{+0.003}, {-0.003}});
    ASSERT_EQ(figures.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "0.3 % fast" : "0.3 % slow");
        EXPECT_LT(figures[i].worstOffset, 0.050);
        EXPECT_LT(figures[i].worstGlitch, MaxGlitch) << "a discontinuity in the sine";
        EXPECT_EQ(figures[i].inserted + figures[i].dropped, 0) << "repairs where correction sufficed";
        EXPECT_NEAR(figures[i].finalCorrection, i == 0 ? -0.003 : +0.003, 0.0005);
    }
}

TEST(DriftCorrection, ClocksBeyondTheCorrectionAreRepairedInTime)
{
    const std::vector<driftsim::Figures> figures = driftsim::run(8000, 120, {{+0.01}, {-0.01}});
    ASSERT_EQ(figures.size(), 2u);
    EXPECT_GT(figures[0].dropped, 0);
    EXPECT_EQ(figures[0].inserted, 0);
    EXPECT_GT(figures[0].worstGlitch, MaxGlitch) << "a repair that does not show";
    EXPECT_GT(figures[1].inserted, 0);
    EXPECT_EQ(figures[1].dropped, 0);
    for (const driftsim::Figures& f : figures)
        EXPECT_LT(f.worstOffset, 0.065);
}

TEST(DriftCorrection, ABurstAfterAStallIsDroppedAtOnce)
{
    driftsim::Source stalling;
    stalling.stallAt = 5;
    stalling.stallSeconds = 0.3;
    const std::vector<driftsim::Figures> figures = driftsim::run(8000, 20, {stalling}, 6.0);
    ASSERT_EQ(figures.size(), 1u);
    EXPECT_GT(figures[0].dropped, 0.15 * 8000);
    EXPECT_LT(figures[0].worstOffset, 0.010) << "back in place within a second";
}
