// The simulated arm: every scope channel as a pure function of the sample
// number (one sample per millisecond since the simulator started). Nothing
// here keeps state between calls, so tests can check the physics directly.
#pragma once

#include <array>
#include <cstdint>

namespace zps {

constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 182;
constexpr int kChannelSlots = kLastChannel + 1; // index 0 is "no channel"
constexpr int kAxes = 6;

// Encoder resolution at the joint: 17-bit motor encoder behind a 100:1 gear.
constexpr double kCountsPerDegree = 131072.0 * 100.0 / 360.0;

// Raw encoder counts of each axis at zero degrees, as shipped.
constexpr std::array<int, kAxes> kFactoryHome = {1048576, -524288, 262144, 786432, -131072, 393216};

// Joint position (deg), velocity (deg/s) and acceleration (deg/s^2).
struct JointState
{
    std::array<double, kAxes> q{}, qd{}, qdd{};
};

// Cartesian pose: X, Y, Z in mm, RX, RY, RZ in degrees (fixed-axis X-Y-Z).
using Pose = std::array<double, 6>;

// Conditions that the controller reports besides the motion itself.
struct SampleContext
{
    bool robotError = false;
};

JointState targetJoints(double tSeconds);
JointState actualJoints(double tSeconds);
// The drives' low-pass filtered view of the actual motion.
JointState filteredJoints(double tSeconds);

Pose forwardKinematics(const std::array<double, kAxes>& qDeg);
Pose targetPose(double tSeconds);
Pose actualPose(double tSeconds);
Pose targetCartesianVelocity(double tSeconds);
Pose actualCartesianVelocity(double tSeconds);

// Link-side torque (N*m) that moves the joints along the given state.
std::array<double, kAxes> jointTorque(const JointState& s);
// Motor current (A) that produces a link-side torque.
double motorCurrent(int axis, double torque);

// Raw encoder counts of each axis for a joint position.
std::array<int, kAxes> encoderCounts(const std::array<double, kAxes>& qDeg);

// Deterministic noise in [-1, 1] for a channel and a sample.
double noise(int channel, int64_t sample);

// Value of one scope channel (1..182) at sample k (time k ms). Unknown
// indexes read 0.
double channelValue(int index, int64_t sample, const SampleContext& ctx = {});

// All channels of sample k at once (slot 0 stays 0); much cheaper than 182
// calls of channelValue because the kinematics are shared.
void computeSample(int64_t sample, const SampleContext& ctx, double out[kChannelSlots]);

// The controller's own load figures at time t: CPU load in percent and the
// memory in use in KiB.
double cpuLoad(double tSeconds);
uint32_t memoryKiB(double tSeconds);

} // namespace zps
