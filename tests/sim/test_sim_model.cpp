// The simulated arm's physics: derivatives, following error, encoders,
// power balance, force sensor and the real-time statistics.
#include <gtest/gtest.h>

#include <cmath>

#include "SimModel.h"

using namespace zps;

namespace {

constexpr double kH = 0.001; // one sample

double wrap180(double a)
{
    a = std::fmod(a + 180.0, 360.0);
    if (a < 0)
        a += 360.0;
    return a - 180.0;
}

// Samples spread over several minutes of motion, not just the start.
const int64_t kSamples[] = {0, 1, 7, 999, 1234, 4567, 20000, 33333, 61001, 123457, 600000, 3600017};

struct DerivativePair
{
    const char* what;
    int position; // first index of the six position channels
    int velocity; // first index of the matching derivative channels
    bool angular; // positions are angles that may wrap
    double absTol;
};

const DerivativePair kPairs[] = {
    {"Target ACS -> Target JointVel", 43, 55, false, 0.05},
    {"Actual ACS -> Actual JointVel", 49, 61, false, 0.05},
    {"Actual FilACS -> Joint FilVel", 79, 85, false, 0.05},
    {"Joint FilVel -> Joint FilAcc", 85, 91, false, 0.5},
    {"Target PCS XYZ -> Target Vel XYZ", 19, 31, false, 0.5},
    {"Actual PCS XYZ -> Actual Vel XYZ", 25, 37, false, 0.5},
};

} // namespace

TEST(SimModel, VelocityChannelsAreTheDerivativesOfTheirPositions)
{
    for (const auto& pair : kPairs) {
        for (int64_t k : kSamples) {
            if (k == 0)
                continue;
            for (int i = 0; i < 6; ++i) {
                if (pair.position == 19 || pair.position == 25)
                    if (i >= 3)
                        continue; // orientation below, with wrapping
                const double before = channelValue(pair.position + i, k - 1);
                const double after = channelValue(pair.position + i, k + 1);
                const double slope = (after - before) / (2 * kH);
                const double v = channelValue(pair.velocity + i, k);
                EXPECT_NEAR(v, slope, pair.absTol + 1e-3 * std::fabs(v))
                    << pair.what << " axis " << i << " at sample " << k;
            }
        }
    }
}

TEST(SimModel, OrientationRatesAreTheDerivativesOfTheOrientationAcrossWrapping)
{
    for (int base : {19, 25}) {
        for (int64_t k : kSamples) {
            if (k == 0)
                continue;
            for (int i = 3; i < 6; ++i) {
                const double d = wrap180(channelValue(base + i, k + 1) - channelValue(base + i, k - 1));
                const double v = channelValue(base + 12 + i, k);
                EXPECT_NEAR(v, d / (2 * kH), 0.5 + 1e-3 * std::fabs(v)) << "channel " << base + i << " at " << k;
            }
        }
    }
}

TEST(SimModel, MotionIsSmoothAndInsideTheJointRange)
{
    // No jump between samples larger than a fast joint moves in 1 ms, and
    // no joint beyond +-200 degrees.
    double maxSpeed = 0;
    for (int64_t k = 0; k < 20000; k += 3) {
        for (int j = 0; j < kAxes; ++j) {
            const double q = channelValue(49 + j, k);
            ASSERT_LT(std::fabs(q), 200.0);
            maxSpeed = std::max(maxSpeed, std::fabs(channelValue(61 + j, k)));
            ASSERT_LT(std::fabs(channelValue(49 + j, k + 1) - q), 0.5) << "joint " << j << " at " << k;
        }
    }
    EXPECT_GT(maxSpeed, 10.0) << "the arm should be moving";
    EXPECT_LT(maxSpeed, 500.0);
}

TEST(SimModel, ActualPositionFollowsTheTargetAFewCyclesLate)
{
    for (int64_t k : kSamples) {
        for (int j = 0; j < kAxes; ++j) {
            const double actual = channelValue(49 + j, k + 4);
            const double target = channelValue(43 + j, k);
            EXPECT_NEAR(actual, target, 0.006) << "joint " << j << " at " << k;
            // ... and is not simply the same value.
        }
    }
    double lagError = 0;
    for (int j = 0; j < kAxes; ++j)
        lagError += std::fabs(channelValue(49 + j, 5000) - channelValue(43 + j, 5000));
    EXPECT_GT(lagError, 1e-3);
}

TEST(SimModel, EncoderChannelsCountTheJointAngle)
{
    for (int64_t k : kSamples) {
        for (int j = 0; j < kAxes; ++j) {
            const double expectTarget = kFactoryHome[j] + channelValue(43 + j, k) * kCountsPerDegree;
            const double expectActual = kFactoryHome[j] + channelValue(49 + j, k) * kCountsPerDegree;
            EXPECT_NEAR(channelValue(145 + j, k), expectTarget, 0.5);
            EXPECT_NEAR(channelValue(151 + j, k), expectActual, 0.5);
        }
    }
    const auto atZero = encoderCounts({0, 0, 0, 0, 0, 0});
    for (int j = 0; j < kAxes; ++j)
        EXPECT_EQ(atZero[j], kFactoryHome[j]);
    EXPECT_EQ(encoderCounts({90, 0, 0, 0, 0, 0})[0] - kFactoryHome[0], static_cast<int>(90 * kCountsPerDegree));
}

TEST(SimModel, CurrentsAndTorquesAgree)
{
    for (int64_t k : kSamples) {
        for (int j = 0; j < kAxes; ++j) {
            const double filCur = channelValue(97 + j, k);
            const double sensed = channelValue(103 + j, k);
            const double estimate = channelValue(109 + j, k);
            // The sensed torque is the filtered motor current's torque plus
            // sensor noise.
            EXPECT_NEAR(filCur, motorCurrent(j, sensed), std::fabs(motorCurrent(j, 0.4)) + 1e-9)
                << "axis " << j << " at " << k;
            EXPECT_NEAR(channelValue(115 + j, k), sensed - estimate, 1e-9);
            // The raw current scatters around the filtered one.
            EXPECT_NEAR(channelValue(73 + j, k), filCur, 0.5);
        }
    }
}

TEST(SimModel, GravityLoadsTheShoulderAtRest)
{
    JointState rest;
    rest.q = {0, 0, 0, 0, 0, 0}; // upper arm horizontal
    const auto tau = jointTorque(rest);
    EXPECT_GT(std::fabs(tau[1]), 50.0);
    EXPECT_NEAR(tau[0], 0.0, 1e-9); // the base axis is vertical
    rest.q[1] = 90;
    rest.q[2] = 0; // arm straight up: nothing to hold
    EXPECT_NEAR(jointTorque(rest)[1], 0.0, 1e-6);
}

TEST(SimModel, ElectricPowerCoversMechanicalPowerAndLosses)
{
    for (int64_t k : kSamples) {
        EXPECT_GE(channelValue(18, k), channelValue(17, k) + 45.0 - 1e-9) << "at " << k;
        EXPECT_GE(channelValue(16, k), 0.0);
    }
}

TEST(SimModel, TurningTheBaseAxisTurnsThePoseAboutZ)
{
    std::array<double, kAxes> q = {0, -80, 70, -60, -90, 10};
    const Pose p0 = forwardKinematics(q);
    for (double theta : {30.0, -75.0, 120.0}) {
        q[0] = theta;
        const Pose p = forwardKinematics(q);
        const double c = std::cos(theta * M_PI / 180), s = std::sin(theta * M_PI / 180);
        EXPECT_NEAR(p[0], c * p0[0] - s * p0[1], 1e-6);
        EXPECT_NEAR(p[1], s * p0[0] + c * p0[1], 1e-6);
        EXPECT_NEAR(p[2], p0[2], 1e-6);
        EXPECT_NEAR(wrap180(p[5] - p0[5] - theta), 0.0, 1e-6) << "RZ";
    }
    EXPECT_LT(std::hypot(p0[0], p0[1], p0[2]), 1300.0) << "beyond the arm's reach";
}

TEST(SimModel, ForceSensorWeighsTheToolWithOffsetAndNoise)
{
    for (int64_t k : kSamples) {
        double f2 = 0;
        for (int i = 0; i < 3; ++i)
            f2 += std::pow(channelValue(175 + i, k), 2);
        EXPECT_NEAR(std::sqrt(f2), 2.0 * 9.81, 0.3) << "at " << k;
    }
    // The raw data differ from the calibrated data by a constant offset.
    for (int i = 0; i < 6; ++i) {
        const double offset = channelValue(169 + i, 100) - channelValue(175 + i, 100);
        for (int64_t k : kSamples)
            EXPECT_NEAR(channelValue(169 + i, k) - channelValue(175 + i, k), offset, 1e-9);
    }
    // Noise: consecutive samples differ even when the arm barely moves.
    int changed = 0;
    for (int64_t k = 1000; k < 1100; ++k)
        changed += channelValue(175, k) != channelValue(175, k + 1);
    EXPECT_GT(changed, 95);
}

TEST(SimModel, RealTimeStatisticsAreConsistent)
{
    double lastLost = 0;
    for (int64_t k : kSamples) {
        const double cycle = channelValue(4, k), mx = channelValue(5, k), mn = channelValue(6, k);
        EXPECT_LE(mn, cycle);
        EXPECT_GE(mx, cycle);
        EXPECT_NEAR(cycle, 1.0, 0.021);
        EXPECT_LE(channelValue(9, k), channelValue(7, k));
        EXPECT_GE(channelValue(8, k), channelValue(7, k));
        EXPECT_EQ(channelValue(3, k), static_cast<double>(k));
        EXPECT_EQ(channelValue(14, k), static_cast<double>(k));
        EXPECT_EQ(channelValue(15, k), channelValue(14, k) - channelValue(13, k));
        EXPECT_GE(channelValue(13, k), lastLost);
        lastLost = channelValue(13, k);
    }
    // The window maximum is the largest cycle of the last 100.
    double mx = 0;
    for (int64_t k = 5000 - 99; k <= 5000; ++k)
        mx = std::max(mx, channelValue(4, k));
    EXPECT_EQ(channelValue(5, 5000), mx);
}

TEST(SimModel, RobotErrorShowsInStateMachineAndStatusWord)
{
    SampleContext error;
    error.robotError = true;
    for (int j = 0; j < kAxes; ++j) {
        EXPECT_FALSE(static_cast<int>(channelValue(127 + j, 100)) & 0x0008);
        EXPECT_TRUE(static_cast<int>(channelValue(127 + j, 100, error)) & 0x0008);
        EXPECT_EQ(channelValue(133 + j, 100), 8); // cyclic synchronous position
    }
    EXPECT_NE(channelValue(1, 100), channelValue(1, 100, error));
}

TEST(SimModel, UnknownIndexesReadZero)
{
    for (int index : {-5, 0, 157, 163, 168, 181, 182, 183, 1000})
        EXPECT_EQ(channelValue(index, 1234), 0.0) << index;
}

TEST(SimModel, ComputeSampleMatchesChannelValueAndIsDeterministic)
{
    double a[kChannelSlots], b[kChannelSlots];
    computeSample(98765, {}, a);
    computeSample(98765, {}, b);
    for (int i = 0; i < kChannelSlots; ++i) {
        EXPECT_EQ(a[i], b[i]);
        EXPECT_EQ(a[i], channelValue(i, 98765)) << i;
        EXPECT_TRUE(std::isfinite(a[i])) << i;
    }
    EXPECT_EQ(a[0], 0.0);
}

TEST(SimModel, NoiseIsBoundedCentredAndDiffersPerChannel)
{
    double sum = 0;
    int same = 0;
    for (int64_t k = 0; k < 20000; ++k) {
        const double n = noise(7, k);
        ASSERT_GE(n, -1.0);
        ASSERT_LE(n, 1.0);
        sum += n;
        same += n == noise(8, k);
    }
    EXPECT_NEAR(sum / 20000, 0.0, 0.03);
    EXPECT_EQ(same, 0);
}

TEST(SimModel, LoadFiguresArePlausible)
{
    for (double t : {0.0, 1.5, 7.0, 33.3, 3600.0}) {
        EXPECT_GT(cpuLoad(t), 0.0);
        EXPECT_LT(cpuLoad(t), 100.0);
        EXPECT_GT(memoryKiB(t), 200000u);
        EXPECT_LT(memoryKiB(t), 300000u);
    }
}
