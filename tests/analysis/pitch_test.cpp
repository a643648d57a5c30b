// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch tracker state machine.
#include <gtest/gtest.h>

#include <limits>

#include "analysis/analysis.h"

namespace {

class PitchTracking : public ::testing::Test {
  protected:
    void SetUp() override { PitchTracker = {}; }

    // Tracking `pitch` with reference weight 1, reported pitch `pitch`.
    void TrackSteady(float pitch) {
        ASSERT_TRUE(TrackPitch(pitch, 1.0f));
        ASSERT_TRUE(TrackPitch(pitch, 1.0f));
        ASSERT_FLOAT_EQ(TrackedPitch(), pitch);
    }
};

TEST_F(PitchTracking, FirstEstimateIsAcceptedButReportedOnlyFromTheSecond) {
    EXPECT_TRUE(TrackPitch(440.0f, 1.0f));
    EXPECT_EQ(TrackedPitch(), 0.0f);
    EXPECT_EQ(PitchTracker.state, PitchState::Tracking);
    EXPECT_TRUE(TrackPitch(440.0f, 1.0f));
    EXPECT_FLOAT_EQ(TrackedPitch(), 440.0f);
}

TEST_F(PitchTracking, AgreeingEstimateIsSmoothedAndJudgedByItsWeight) {
    struct Case {
        float weight;
        bool accepted;
        float reported;  // Hz
        float referenceWeight;
    };
    const Case cases[] = {
        {0.5f, true, 443.5f, 1.0f},   // 0.3 * 440 + 0.7 * 445
        {0.1f, false, 443.5f, 1.0f},  // smoothed in, but under 1/8 of the reference
        {0.05f, false, 0.0f, 1.0f},   // under 1/15: ignored
        {3.0f, true, 443.5f, 3.0f},   // stronger: becomes the reference
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.weight);
        PitchTracker = {};
        ASSERT_TRUE(TrackPitch(440.0f, 1.0f));
        EXPECT_EQ(TrackPitch(445.0f, c.weight), c.accepted);
        EXPECT_FLOAT_EQ(TrackedPitch(), c.reported);
        EXPECT_FLOAT_EQ(PitchTracker.pitch, c.reported == 0.0f ? 440.0f : c.reported);
        EXPECT_EQ(PitchTracker.referenceWeight, c.referenceWeight);
        EXPECT_EQ(PitchTracker.state, PitchState::Tracking);
    }
}

TEST_F(PitchTracking, OctaveUpIsFoldedBackButOctaveDownIsAJump) {
    TrackSteady(220.0f);
    EXPECT_TRUE(TrackPitch(440.0f, 0.01f));  // weight plays no part here
    EXPECT_FLOAT_EQ(PitchTracker.pitch, 220.0f);
    EXPECT_FLOAT_EQ(TrackedPitch(), 220.0f);
    EXPECT_EQ(PitchTracker.state, PitchState::Tracking);

    EXPECT_FALSE(TrackPitch(110.0f, 1.0f));
    EXPECT_EQ(PitchTracker.state, PitchState::Pending);
    EXPECT_EQ(PitchTracker.jumpCandidate, 110.0f);
}

TEST_F(PitchTracking, BandEdgesFollowSinglePrecisionRatios) {
    // 104 / 100 rounds to exactly the single-precision 1.04: outside the +-4 % band.
    TrackSteady(100.0f);
    EXPECT_FALSE(TrackPitch(104.0f, 1.0f));
    EXPECT_EQ(PitchTracker.state, PitchState::Pending);

    // 203 / 100 rounds to the float just below the double 2.03: still an octave.
    PitchTracker = {};
    TrackSteady(100.0f);
    EXPECT_TRUE(TrackPitch(203.0f, 1.0f));
    EXPECT_EQ(PitchTracker.state, PitchState::Tracking);
}

TEST_F(PitchTracking, SmoothingIsComputedInDoubleAndRoundedOnce) {
    // Each expected value is the double sum rounded to float; the sum of float products
    // lands one float away in every case.
    TrackSteady(101.0f);
    EXPECT_TRUE(TrackPitch(102.0f, 1.0f));
    EXPECT_EQ(PitchTracker.pitch, 101.69999694824219f);  // float sum: 101.70000457763672

    PitchTracker = {};
    TrackSteady(100.0f);
    EXPECT_TRUE(TrackPitch(198.0f, 1.0f));              // an octave up: half of it smoothed in
    EXPECT_EQ(PitchTracker.pitch, 99.30000305175781f);  // float sum: 99.29999542236328

    PitchTracker = {};
    TrackSteady(150.0f);
    EXPECT_FALSE(TrackPitch(202.0f, 1.0f));
    EXPECT_TRUE(TrackPitch(203.0f, 1.0f));              // jump confirmed: 0.7 x 202 + 0.3 x 203
    EXPECT_EQ(PitchTracker.pitch, 202.3000030517578f);  // float sum: 202.29998779296875
}

TEST_F(PitchTracking, PendingJumpIsDroppedConfirmedOrAbandoned) {
    TrackSteady(440.0f);
    EXPECT_FALSE(TrackPitch(600.0f, 1.0f));
    EXPECT_FALSE(TrackPitch(440.0f, 1.0f));  // the stray estimate is not repeated
    EXPECT_EQ(PitchTracker.state, PitchState::Tracking);
    EXPECT_FLOAT_EQ(PitchTracker.pitch, 440.0f);

    EXPECT_FALSE(TrackPitch(600.0f, 1.0f));
    EXPECT_TRUE(TrackPitch(610.0f, 1.0f));  // confirmed: the candidate weighs 0.7
    EXPECT_EQ(PitchTracker.state, PitchState::Tracking);
    EXPECT_FLOAT_EQ(PitchTracker.pitch, 603.0f);
    EXPECT_FLOAT_EQ(TrackedPitch(), 440.0f);  // the report follows the next agreement
    EXPECT_TRUE(TrackPitch(603.0f, 1.0f));
    EXPECT_FLOAT_EQ(TrackedPitch(), 603.0f);

    EXPECT_FALSE(TrackPitch(300.0f, 1.0f));
    EXPECT_FALSE(TrackPitch(800.0f, 1.0f));  // agrees with neither: start afresh
    EXPECT_EQ(PitchTracker.state, PitchState::Idle);
    EXPECT_TRUE(TrackPitch(250.0f, 0.2f));
    EXPECT_EQ(PitchTracker.pitch, 250.0f);
    EXPECT_EQ(PitchTracker.referenceWeight, 0.2f);
    EXPECT_FLOAT_EQ(TrackedPitch(), 603.0f);
}

TEST_F(PitchTracking, EachEstimateFedTwiceMovesToANewPitchOnTheSecond) {
    TrackSteady(440.0f);
    EXPECT_FALSE(TrackPitch(600.0f, 0.5f));
    EXPECT_TRUE(TrackPitch(600.0f, 0.5f));
    EXPECT_FLOAT_EQ(PitchTracker.pitch, 600.0f);
    EXPECT_FLOAT_EQ(TrackedPitch(), 440.0f);
    EXPECT_TRUE(TrackPitch(600.0f, 0.5f));
    EXPECT_FLOAT_EQ(TrackedPitch(), 600.0f);
}

TEST_F(PitchTracking, MissingEstimateChangesNothingInAnyState) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto expectIgnored = [nan]() {
        const PitchTrackerState before = PitchTracker;
        for (const auto& [f, w] :
             {std::pair{0.0f, 1.0f}, std::pair{440.0f, 0.0f}, std::pair{-440.0f, 1.0f},
              std::pair{nan, 1.0f}, std::pair{440.0f, nan}}) {
            EXPECT_FALSE(TrackPitch(f, w));
        }
        EXPECT_EQ(PitchTracker.state, before.state);
        EXPECT_EQ(PitchTracker.pitch, before.pitch);
        EXPECT_EQ(PitchTracker.referenceWeight, before.referenceWeight);
        EXPECT_EQ(PitchTracker.jumpCandidate, before.jumpCandidate);
        EXPECT_EQ(PitchTracker.reportedPitch, before.reportedPitch);
    };
    expectIgnored();  // Idle
    TrackSteady(440.0f);
    expectIgnored();  // Tracking
    ASSERT_FALSE(TrackPitch(700.0f, 1.0f));
    expectIgnored();                        // Pending
    EXPECT_TRUE(TrackPitch(700.0f, 1.0f));  // the pending jump still confirms
}

}  // namespace
