#include "SimModel.h"

#include <algorithm>
#include <cmath>

namespace zps {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegToRad = kPi / 180.0;
constexpr double kRadToDeg = 180.0 / kPi;

// Each joint sweeps around a working pose with two harmonics, so the
// curves look like a program of overlapping moves rather than one sine.
constexpr double kCentre[kAxes] = {0.0, -75.0, 80.0, -95.0, -90.0, 0.0};
constexpr double kAmp1[kAxes] = {60.0, 25.0, 30.0, 45.0, 30.0, 120.0};
constexpr double kPeriod1[kAxes] = {8.0, 6.0, 5.0, 7.0, 4.0, 9.0};
constexpr double kAmp2[kAxes] = {10.0, 5.0, 8.0, 15.0, 6.0, 20.0};
constexpr double kPeriod2[kAxes] = {1.9, 2.3, 1.7, 2.9, 1.3, 3.1};
constexpr double kPhase[kAxes] = {0.0, 0.7, 1.9, 2.4, 0.3, 1.1};

// The servo follows its set point a few cycles late and with a faint
// ripple from the speed loop.
constexpr double kServoLag = 0.004;
constexpr double kRippleAmp = 0.005;
constexpr double kRippleHz = 12.0;
// Group delay of the drives' position filter.
constexpr double kFilterLag = 0.008;

// Link-side dynamics per axis.
constexpr double kInertia[kAxes] = {2.5, 4.0, 1.5, 0.08, 0.06, 0.02};  // kg*m^2
constexpr double kViscous[kAxes] = {8.0, 10.0, 5.0, 0.8, 0.6, 0.3};   // N*m*s/rad
constexpr double kCoulomb[kAxes] = {6.0, 8.0, 4.0, 1.0, 0.8, 0.4};    // N*m
constexpr double kTorqueConstant[kAxes] = {0.45, 0.45, 0.30, 0.15, 0.15, 0.10}; // N*m/A
constexpr double kGear = 100.0;
constexpr double kWindingOhm = 1.2;
constexpr double kStandbyWatt = 45.0;

// DH parameters of the arm (mm, rad): T = Rz(theta) Tz(d) Tx(a) Rx(alpha).
constexpr double kD[kAxes] = {89.2, 0.0, 0.0, 109.3, 94.75, 82.5};
constexpr double kA[kAxes] = {0.0, -425.0, -392.25, 0.0, 0.0, 0.0};
constexpr double kAlpha[kAxes] = {kPi / 2, 0.0, 0.0, kPi / 2, -kPi / 2, 0.0};

// Force sensor: a 2 kg tool, its centre of mass 60 mm out along the flange
// axis, and the sensor's uncalibrated zero offsets.
constexpr double kToolMass = 2.0;
constexpr double kGravity = 9.81;
constexpr double kToolCom = 0.060;
constexpr double kSensorOffset[6] = {3.2, -1.7, 5.4, 0.12, -0.08, 0.05};

constexpr int kStatsWindow = 100; // cycles over which max/min are kept

using Mat3 = std::array<double, 9>;

JointState sweep(double t, double lag, bool ripple)
{
    JointState s;
    const double tt = t - lag;
    for (int j = 0; j < kAxes; ++j) {
        const double w1 = 2 * kPi / kPeriod1[j];
        const double w2 = 2 * kPi / kPeriod2[j];
        const double a1 = w1 * tt + kPhase[j];
        const double a2 = w2 * tt + 2 * kPhase[j];
        s.q[j] = kCentre[j] + kAmp1[j] * std::sin(a1) + kAmp2[j] * std::sin(a2);
        s.qd[j] = kAmp1[j] * w1 * std::cos(a1) + kAmp2[j] * w2 * std::cos(a2);
        s.qdd[j] = -kAmp1[j] * w1 * w1 * std::sin(a1) - kAmp2[j] * w2 * w2 * std::sin(a2);
        if (ripple) {
            const double wr = 2 * kPi * kRippleHz;
            const double ar = wr * t + j;
            s.q[j] += kRippleAmp * std::sin(ar);
            s.qd[j] += kRippleAmp * wr * std::cos(ar);
            s.qdd[j] -= kRippleAmp * wr * wr * std::sin(ar);
        }
    }
    return s;
}

Mat3 mul(const Mat3& a, const Mat3& b)
{
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    return r;
}

// Flange orientation and position (mm) for joint angles in degrees.
void flange(const std::array<double, kAxes>& qDeg, Mat3& R, double p[3])
{
    R = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    p[0] = p[1] = p[2] = 0.0;
    for (int i = 0; i < kAxes; ++i) {
        const double th = qDeg[i] * kDegToRad;
        const double ct = std::cos(th), st = std::sin(th);
        const double ca = std::cos(kAlpha[i]), sa = std::sin(kAlpha[i]);
        const Mat3 Ri = {ct, -st * ca, st * sa, st, ct * ca, -ct * sa, 0, sa, ca};
        const double ti[3] = {kA[i] * ct, kA[i] * st, kD[i]};
        for (int r = 0; r < 3; ++r)
            p[r] += R[3 * r] * ti[0] + R[3 * r + 1] * ti[1] + R[3 * r + 2] * ti[2];
        R = mul(R, Ri);
    }
}

double wrapDeg(double a)
{
    a = std::fmod(a + 180.0, 360.0);
    if (a < 0)
        a += 360.0;
    return a - 180.0;
}

Pose cartesianVelocity(const std::array<double, kAxes>& qMinus, const std::array<double, kAxes>& qPlus,
                       double h)
{
    const Pose a = forwardKinematics(qMinus);
    const Pose b = forwardKinematics(qPlus);
    Pose v;
    for (int i = 0; i < 6; ++i) {
        // Angles may cross +-180 between the two evaluations.
        const double d = i < 3 ? b[i] - a[i] : wrapDeg(b[i] - a[i]);
        v[i] = d / (2 * h);
    }
    return v;
}

uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double rtCycle(int64_t k) { return 1.0 + 0.02 * noise(4, k); }
double rtTask(int64_t k)
{
    const double t = k / 1000.0;
    return 0.32 + 0.05 * std::fabs(std::sin(2 * kPi * t / 3.0)) + 0.03 * noise(7, k);
}

template <typename F> void windowMinMax(int64_t k, F f, double& mn, double& mx)
{
    mn = mx = f(k);
    for (int64_t i = std::max<int64_t>(0, k - kStatsWindow + 1); i < k; ++i) {
        const double v = f(i);
        mn = std::min(mn, v);
        mx = std::max(mx, v);
    }
}

std::array<double, kAxes> estimatedTorque(const JointState& s)
{
    // The controller's model is a little off, which is what the
    // disturbance channel shows.
    JointState scaled = s;
    for (int j = 0; j < kAxes; ++j) {
        scaled.qdd[j] *= 0.97;
        scaled.qd[j] *= 1.03;
    }
    return jointTorque(scaled);
}

} // namespace

JointState targetJoints(double t) { return sweep(t, 0.0, false); }
JointState actualJoints(double t) { return sweep(t, kServoLag, true); }
JointState filteredJoints(double t) { return sweep(t, kServoLag + kFilterLag, false); }

Pose forwardKinematics(const std::array<double, kAxes>& qDeg)
{
    Mat3 R;
    double p[3];
    flange(qDeg, R, p);
    Pose pose;
    pose[0] = p[0];
    pose[1] = p[1];
    pose[2] = p[2];
    // R = Rz(rz) * Ry(ry) * Rx(rx)
    pose[4] = std::asin(std::clamp(-R[6], -1.0, 1.0)) * kRadToDeg;
    pose[3] = std::atan2(R[7], R[8]) * kRadToDeg;
    pose[5] = std::atan2(R[3], R[0]) * kRadToDeg;
    return pose;
}

Pose targetPose(double t) { return forwardKinematics(targetJoints(t).q); }
Pose actualPose(double t) { return forwardKinematics(actualJoints(t).q); }

Pose targetCartesianVelocity(double t)
{
    const double h = 1e-4;
    return cartesianVelocity(targetJoints(t - h).q, targetJoints(t + h).q, h);
}

Pose actualCartesianVelocity(double t)
{
    const double h = 1e-4;
    return cartesianVelocity(actualJoints(t - h).q, actualJoints(t + h).q, h);
}

std::array<double, kAxes> jointTorque(const JointState& s)
{
    std::array<double, kAxes> tau{};
    const double q2 = s.q[1] * kDegToRad, q23 = (s.q[1] + s.q[2]) * kDegToRad;
    const double q235 = (s.q[1] + s.q[2] + s.q[4]) * kDegToRad;
    const double gravity[kAxes] = {0.0, 60.0 * std::cos(q2) + 25.0 * std::cos(q23), 25.0 * std::cos(q23),
                                   0.0, 3.0 * std::cos(q235), 0.0};
    for (int j = 0; j < kAxes; ++j) {
        const double w = s.qd[j] * kDegToRad;
        const double a = s.qdd[j] * kDegToRad;
        tau[j] = kInertia[j] * a + kViscous[j] * w + kCoulomb[j] * std::tanh(w / 0.05) + gravity[j];
    }
    return tau;
}

double motorCurrent(int axis, double torque) { return torque / (kTorqueConstant[axis] * kGear); }

std::array<int, kAxes> encoderCounts(const std::array<double, kAxes>& qDeg)
{
    std::array<int, kAxes> c{};
    for (int j = 0; j < kAxes; ++j)
        c[j] = static_cast<int>(std::lround(kFactoryHome[j] + qDeg[j] * kCountsPerDegree));
    return c;
}

double noise(int channel, int64_t sample)
{
    const uint64_t h = mix(static_cast<uint64_t>(sample) * 0x100000001B3ull ^ mix(static_cast<uint64_t>(channel)));
    return static_cast<double>(h >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

double cpuLoad(double t)
{
    return 18.0 + 4.0 * std::sin(2 * kPi * t / 20.0) + 1.5 * noise(1000, static_cast<int64_t>(t * 1000));
}

uint32_t memoryKiB(double t)
{
    return static_cast<uint32_t>(262144.0 + 2048.0 * std::sin(2 * kPi * t / 60.0));
}

void computeSample(int64_t k, const SampleContext& ctx, double out[kChannelSlots])
{
    std::fill(out, out + kChannelSlots, 0.0);
    const double t = k / 1000.0;

    // System values.
    out[1] = ctx.robotError ? 9 : 3;
    out[2] = ctx.robotError ? 3 : 2;
    out[3] = static_cast<double>(k);
    out[4] = rtCycle(k);
    windowMinMax(k, rtCycle, out[6], out[5]);
    out[7] = rtTask(k);
    windowMinMax(k, rtTask, out[9], out[8]);
    const double lost = std::floor(k / 180000.0);
    out[10] = static_cast<double>(k);
    out[11] = 1000.0;
    out[12] = 0.045 + 0.01 * noise(12, k);
    out[13] = lost;
    out[14] = static_cast<double>(k);
    out[15] = static_cast<double>(k) - lost;

    const JointState tgt = targetJoints(t);
    const JointState act = actualJoints(t);
    const JointState fil = filteredJoints(t);
    const auto tauTgt = jointTorque(tgt);
    const auto tauAct = jointTorque(act);
    const auto tauFil = jointTorque(fil);
    const auto tauEst = estimatedTorque(fil);

    double momentum = 0, mechPower = 0, elecPower = kStandbyWatt;
    for (int j = 0; j < kAxes; ++j) {
        const double w = act.qd[j] * kDegToRad;
        const double cur = motorCurrent(j, tauAct[j]);
        momentum += kInertia[j] * std::fabs(w);
        mechPower += tauAct[j] * w;
        elecPower += tauAct[j] * w + kWindingOhm * cur * cur;
    }
    out[16] = momentum;
    out[17] = mechPower;
    out[18] = elecPower;

    // Cartesian pose and velocity.
    const Pose pt = forwardKinematics(tgt.q), pa = forwardKinematics(act.q);
    const Pose vt = targetCartesianVelocity(t), va = actualCartesianVelocity(t);
    for (int i = 0; i < 6; ++i) {
        out[19 + i] = pt[i];
        out[25 + i] = pa[i];
        out[31 + i] = vt[i];
        out[37 + i] = va[i];
    }

    const auto encTgt = encoderCounts(tgt.q);
    const auto encAct = encoderCounts(act.q);
    for (int j = 0; j < kAxes; ++j) {
        out[43 + j] = tgt.q[j];
        out[49 + j] = act.q[j];
        out[55 + j] = tgt.qd[j];
        out[61 + j] = act.qd[j];
        out[67 + j] = motorCurrent(j, tauTgt[j]);
        out[73 + j] = motorCurrent(j, tauAct[j]) + 0.03 * noise(73 + j, k);
        out[79 + j] = fil.q[j];
        out[85 + j] = fil.qd[j];
        out[91 + j] = fil.qdd[j];
        out[97 + j] = motorCurrent(j, tauFil[j]);
        const double sensed = tauFil[j] + 0.4 * noise(103 + j, k);
        out[103 + j] = sensed;
        out[109 + j] = tauEst[j];
        out[115 + j] = sensed - tauEst[j];
        // CiA 402: control word "enable operation", status word "operation
        // enabled" or "fault", cyclic synchronous position mode.
        out[121 + j] = 0x000F;
        out[127 + j] = ctx.robotError ? 0x0208 : 0x1237;
        out[133 + j] = 8;
        out[139 + j] = 8;
        out[145 + j] = encTgt[j];
        out[151 + j] = encAct[j];
    }

    // Force sensor: the tool's weight seen in the flange frame.
    Mat3 R;
    double p[3];
    flange(act.q, R, p);
    const double fz = -kToolMass * kGravity;
    const double f[3] = {R[6] * fz, R[7] * fz, R[8] * fz}; // R^T * (0, 0, fz)
    const double m[3] = {-kToolCom * f[1], kToolCom * f[0], 0.0}; // (0,0,c) x f
    const double wrench[6] = {f[0], f[1], f[2], m[0], m[1], m[2]};
    for (int i = 0; i < 6; ++i) {
        const double amp = i < 3 ? 0.15 : 0.01;
        const double measured = wrench[i] + amp * noise(169 + i, k);
        out[169 + i] = measured + kSensorOffset[i];
        out[175 + i] = measured;
    }
}

double channelValue(int index, int64_t sample, const SampleContext& ctx)
{
    if (index < kFirstChannel || index > kLastChannel)
        return 0.0;
    double all[kChannelSlots];
    computeSample(sample, ctx, all);
    return all[index];
}

} // namespace zps
