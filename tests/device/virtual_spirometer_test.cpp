// The virtual spirometer as a peer: its flow profiles, its turbine and both
// device sides of the wire, driven through the byte-pipe interface only.
#include "support/temp_home.h"

#include "core/device/ascii_command_protocol.h"
#include "core/device/ascii_device_side.h"
#include "core/device/checksum_device_side.h"
#include "core/device/simulated_port.h"
#include "core/device/turbine_model.h"
#include "core/device/virtual_spirometer.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes send(VirtualSpirometer& device, const Bytes& command)
{
    device.HostBytes(command.data(), int(command.size()));
    unsigned char out[64] = {};
    const int n = device.DeviceBytes(out, 64);
    return Bytes(out, out + n);
}

Bytes checksumCommand(unsigned char code, Bytes params = {})
{
    params.insert(params.begin(), code);
    params.push_back(
        static_cast<unsigned char>(std::accumulate(params.begin(), params.end(), 0u) % 128));
    return params;
}

bool validChecksum(const Bytes& frame)
{
    return !frame.empty() &&
           std::accumulate(frame.begin(), frame.end() - 1, 0u) % 128 == frame.back();
}

// Lengths of the frames the checksum device streams.
int streamFrameLength(unsigned char code)
{
    switch (code) {
    case 0xE1:
    case 0xE2:
        return 9;
    case 0xF5:
        return 3;
    case 0xE3:
    case 0xAA:
        return 2;
    default:
        return 0;
    }
}

} // namespace

TEST(PatientModelTest, ProfilesHaveTheCharacterTheirNamesPromise)
{
    const ProfileTruth normal = PatientModel(1, SimTest::Fvc).Truth();
    const ProfileTruth obstructive = PatientModel(2, SimTest::Fvc).Truth();
    const ProfileTruth restrictive = PatientModel(3, SimTest::Fvc).Truth();
    const ProfileTruth poorStart = PatientModel(4, SimTest::Fvc).Truth();
    const ProfileTruth earlyStop = PatientModel(5, SimTest::Fvc).Truth();
    EXPECT_GT(normal.fev1 / normal.fvc, 0.70);
    EXPECT_LT(obstructive.fev1 / obstructive.fvc, 0.60);
    EXPECT_LT(restrictive.fvc, 0.6 * normal.fvc);
    EXPECT_GT(restrictive.fev1 / restrictive.fvc, 0.85);
    // Over 150 mL and 5 % of FVC before time zero: fails the start rule.
    EXPECT_GT(poorStart.evol, std::max(0.15, 0.05 * poorStart.fvc));
    EXPECT_LT(normal.evol, 0.05);
    EXPECT_LT(earlyStop.fvc, 0.95 * normal.fvc);
    EXPECT_NEAR(earlyStop.pef, normal.pef, 0.01); // the same lungs: only the plateau differs
    // Peak flows from 0.7 to 14 L/s, a trickle end, a 20 s blow.
    EXPECT_GT(PatientModel(6, SimTest::Fvc).Truth().pef, 13.5);
    EXPECT_LT(PatientModel(7, SimTest::Fvc).Truth().pef, 1.0);
    const FlowPhase trickle = PatientModel(8, SimTest::Fvc).Breaths()[0].expiration;
    EXPECT_LT(trickle.FlowAt(trickle.duration), 0.005);
    EXPECT_GE(PatientModel(9, SimTest::Fvc).Breaths()[0].expiration.duration, 20.0);
    // Profiles 11..20 are the same patients.
    EXPECT_DOUBLE_EQ(PatientModel(12, SimTest::Fvc).Truth().fvc, obstructive.fvc);

    // A forced expiration's volume curve is the integral of its flow.
    const PatientModel model(1, SimTest::Fvc);
    const FlowPhase& blow = model.Breaths()[0].expiration;
    double integral = 0.0;
    for (double t = 0.0; t < 2.0; t += 1e-5)
        integral += blow.FlowAt(t + 0.5e-5) * 1e-5;
    EXPECT_NEAR(blow.VolumeAt(2.0), integral, 1e-4);

    const ProfileTruth vc = PatientModel(1, SimTest::Vc).Truth();
    EXPECT_DOUBLE_EQ(vc.vc, vc.irv + vc.tv + vc.erv);
    EXPECT_EQ(PatientModel(1, SimTest::Mvv, 3).Breaths().size(), 3u);
}

TEST(PatientModelTest, EachProfileIsOneSetOfLungs)
{
    auto truth = [](int profile, SimTest test) { return PatientModel(profile, test).Truth(); };
    // A poor start or an early stop is effort, not lungs: the slow VC is the normal one.
    EXPECT_NEAR(truth(4, SimTest::Fvc).fvc, truth(1, SimTest::Fvc).fvc, 0.01);
    EXPECT_DOUBLE_EQ(truth(5, SimTest::Vc).vc, truth(1, SimTest::Vc).vc);
    EXPECT_GT(truth(5, SimTest::Vc).vc, truth(5, SimTest::Fvc).fvc);
    // Slow and forced vital capacity agree, except where forcing traps air.
    for (int profile : {1, 3}) {
        const double fvc = truth(profile, SimTest::Fvc).fvc;
        EXPECT_NEAR(truth(profile, SimTest::Vc).vc, fvc, 0.03 * fvc) << profile;
    }
    EXPECT_GT(truth(2, SimTest::Vc).vc, 1.05 * truth(2, SimTest::Fvc).fvc);
    // The breath in after a forced blow is forced: near PEF for healthy lungs,
    // above it for obstructed ones.
    for (int profile : {1, 4, 5}) {
        const ProfileTruth t = truth(profile, SimTest::Fvc);
        EXPECT_GT(t.pif, 0.8 * truth(1, SimTest::Fvc).pef) << profile;
    }
    EXPECT_GT(truth(2, SimTest::Fvc).pif, truth(2, SimTest::Fvc).pef);
    for (int profile = 1; profile <= 10; ++profile) {
        // A VC test ends at the level it started from, and never goes below
        // the residual volume it reaches once.
        const PatientModel model(profile, SimTest::Vc);
        const ProfileTruth t = model.Truth();
        double level = 0.0, lowest = 0.0, highest = 0.0;
        for (const SimBreath& b : model.Breaths()) {
            level -= b.expiration.VolumeAt(b.expiration.duration);
            lowest = std::min(lowest, level);
            level += b.inspiration.VolumeAt(b.inspiration.duration);
            highest = std::max(highest, level);
        }
        EXPECT_NEAR(level, 0.0, 1e-9) << profile;
        EXPECT_NEAR(highest - lowest, t.vc, 1e-9) << profile;
    }
}

TEST(TurbineModelTest, OnePulsePerPulseVolumeOfGasAtTheSensor)
{
    const PatientModel model(1, SimTest::Fvc);
    const FlowPhase& blow = model.Breaths()[0].expiration;
    const double pulseVolume = 0.0147;
    const double factor = PhysicalBtpsFactor(33);
    const auto ideal = TurbineModel(pulseVolume, RotorPhysics::Ideal()).PhasePulses(blow, 1.0, factor);
    const double sensorVolume = blow.VolumeAt(blow.duration) / factor;
    EXPECT_EQ(int(ideal.size()), int(sensorVolume / pulseVolume));
    EXPECT_TRUE(std::is_sorted(ideal.begin(), ideal.end()));
    EXPECT_GE(ideal.front(), 100000u); // the phase starts at 1 s
    // Pulse n comes when the volume reaches n pulse volumes.
    EXPECT_NEAR(blow.VolumeAt(ideal[99] * 1e-5 - 1.0) / factor, 100 * pulseVolume, 1e-4);

    EXPECT_NEAR(PhysicalBtpsFactor(33), 1.0258, 0.0005);
    EXPECT_NEAR(PhysicalBtpsFactor(37), 0.9999, 0.0005);
    EXPECT_DOUBLE_EQ(PhysicalBtpsFactor(5), PhysicalBtpsFactor(15));
}

TEST(TurbineModelTest, RotorSlipsLagsByAVolumeStallsAndRunsDown)
{
    const double k = 0.0147;
    auto pulses = [&](double flow, double seconds, RotorPhysics rotor = {}) {
        FlowPhase steady; // a step to `flow`, held
        steady.forced = true;
        steady.amplitude = flow;
        steady.rise = 1e-5;
        steady.decays[0] = 1e9;
        steady.duration = seconds;
        return TurbineModel(k, rotor).PhasePulses(steady, 0.0, 1.0);
    };
    // Speed over the second half of the flow, as a share of the gas.
    auto share = [&](double flow) {
        const double seconds = std::max(2.0, 40 * k / flow);
        const auto p = pulses(flow, seconds);
        const auto from = std::lower_bound(p.begin(), p.end(), seconds / 2 * 1e5);
        const auto to = std::lower_bound(p.begin(), p.end(), seconds * 1e5) - 1;
        return (to - from) * k / ((*to - *from) * 1e-5) / flow;
    };
    const double low = share(0.02), mid = share(2.0), high = share(14.0);
    EXPECT_GT(mid, 0.99);
    EXPECT_LT(low, mid - 0.01); // bearing friction
    EXPECT_GT(high, mid);       // over-reads at high flow
    EXPECT_LT(high, 1.03);
    EXPECT_TRUE(pulses(0.002, 10.0).empty());
    // When the gas stops the rotor runs down within a few coast time constants.
    const auto coasting = pulses(2.0, 1.0);
    EXPECT_GT(coasting.back(), 100000u);
    EXPECT_LT(coasting.back(), 100000 * (1.0 + 5 * RotorPhysics{}.coastSeconds));
    // The lag is a volume of gas: ten times the flow, a tenth of the delay.
    auto delay = [&](double flow) {
        return double(pulses(flow, 1.0)[0]) - pulses(flow, 1.0, RotorPhysics::Ideal())[0];
    };
    EXPECT_NEAR(delay(1.0) / delay(10.0), 10.0, 1.5);
}

TEST(AsciiDeviceTest, AnswersCommandsAndSumsEachPhase)
{
    SimConfig config;
    config.protocol = SimProtocol::Ascii;
    config.firmware = 10;
    auto device = VirtualSpirometer::Make(config);
    EXPECT_EQ(device->ReportSize(), 0);
    EXPECT_EQ(send(*device, {'E'}), Bytes{'T'});
    // Version 1.0: one coefficient byte (145 = 0x91 travels as 0x91 with bit 0 of the high-bit
    // byte).
    EXPECT_EQ(send(*device, {'@'}), (Bytes{'p', 0x01, 0x81, 0x91}));
    EXPECT_EQ(send(*device, {'J'}), (Bytes{'z', 0x0C, 0x80, 0x90, 0xC1})); // "1.0 A"
    config.firmware = 11;
    device = VirtualSpirometer::Make(config);
    EXPECT_EQ(send(*device, {'@'}), (Bytes{'p', 0x01, 0x83, 0x91, 0x91}));
    EXPECT_EQ(send(*device, {'Z'}), Bytes{}); // unknown: no answer

    // 100 pulses 5 ms apart (200 pulses/s) after a phase start at 0.
    std::vector<std::uint32_t> stamps;
    for (int i = 1; i <= 100; ++i)
        stamps.push_back(500u * i);
    int sums[3];
    AsciiDeviceSide::PhaseSums(stamps, 0.0, true, sums);
    EXPECT_EQ(sums[2], 102);                                // 100 x 1.016
    EXPECT_EQ(sums[0], 102);                                // all within the first second
    EXPECT_EQ(sums[1], int(10.0 / (200 * 1.016e-4) + 0.5)); // coefficient x 10 / PEF
}

TEST(AsciiDeviceTest, FirmwareDecidesTheCoefficientFrameTheProgramReads)
{
    TempHome home;
    for (int firmware : {10, 11}) {
        SimConfig config;
        config.protocol = SimProtocol::Ascii;
        config.firmware = firmware;
        config.expCoefficient = 150;
        config.inspCoefficient = 160;
        SimulatedPort port(VirtualSpirometer::Make(config));
        ASSERT_EQ(port.Open(), 1);
        AsciiCommandProtocol protocol;
        protocol.SetPort(&port);
        int length = 0;
        QString text;
        ASSERT_EQ(protocol.GetVersion(length, text), 1);
        EXPECT_EQ(length, firmware == 10 ? 3 : 4);
        EXPECT_EQ(text, firmware == 10 ? "1.0 A" : "1.1 A");
        ASSERT_EQ(protocol.ReadCoefficients(), 1);
        EXPECT_EQ(protocol.ExpCoefficient(), 154); // 150 x 1.0258
        EXPECT_EQ(protocol.InspCoefficient(), firmware == 10 ? 154 : 164);
    }
}

TEST(ChecksumDeviceTest, RepliesAndTheStreamFollowTheWireRules)
{
    SimConfig config;
    config.battery = 42;
    config.temperature = 24;
    auto device = VirtualSpirometer::Make(config);
    EXPECT_EQ(device->ReportSize(), 64);
    EXPECT_EQ(send(*device, checksumCommand(0x87)), (Bytes{0xF7, 0x77}));
    EXPECT_EQ(send(*device, checksumCommand(0x86)), (Bytes{0xF6, 42, (0xF6 + 42) % 128}));
    EXPECT_EQ(send(*device, checksumCommand(0x85)), (Bytes{0xF5, 24, (0xF5 + 24) % 128}));
    Bytes bad = checksumCommand(0x87);
    bad.back() ^= 1;
    EXPECT_EQ(send(*device, bad), Bytes{}); // a command with a wrong checksum is ignored
    const Bytes coefficients = send(*device, checksumCommand(0x84));
    ASSERT_EQ(coefficients.size(), 7u);
    EXPECT_TRUE(validChecksum(coefficients));

    EXPECT_EQ(send(*device, checksumCommand(0x8C)), (Bytes{0xFC, 0x7C}));
    // Every report holds whole frames with valid checksums; the last ends the test.
    int pulses = 0, lastSeq = 0;
    Bytes last;
    unsigned char report[64];
    while (int n = device->DeviceBytes(report, 64)) {
        for (int i = 0; i < n;) {
            const int length = streamFrameLength(report[i]);
            ASSERT_GT(length, 0);
            ASSERT_LE(i + length, n);
            last.assign(report + i, report + i + length);
            EXPECT_TRUE(validChecksum(last));
            if (report[i] == 0xE1) {
                const int seq = report[i + 2] | (report[i + 1] & 1) << 7 | report[i + 3] << 8;
                EXPECT_EQ(seq, lastSeq + 1);
                lastSeq = seq;
                ++pulses;
            }
            i += length;
        }
    }
    EXPECT_EQ(last, (Bytes{0xE3, 0x63}));
    EXPECT_EQ(pulses, device->TotalPulses());
}

TEST(ChecksumDeviceTest, ResendRewindsTheStreamToTheAskedPulse)
{
    SimConfig config;
    config.faults.dropPulse = 10;
    auto device = VirtualSpirometer::Make(config);
    send(*device, checksumCommand(0x8C));
    unsigned char report[64];
    std::vector<int> seen;
    auto collect = [&] {
        const int n = device->DeviceBytes(report, 64);
        for (int i = 0; i + 9 <= n; i += 9)
            if (report[i] == 0xE1)
                seen.push_back(report[i + 2] | (report[i + 1] & 1) << 7 | report[i + 3] << 8);
    };
    while (seen.size() < 15)
        collect();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 10), 0);
    device->HostBytes(checksumCommand(0x91, {0, 10, 0}).data(), 5);
    seen.clear();
    collect();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0], 10);
    EXPECT_EQ(device->ResendRequests(), std::vector<int>{10});
}

TEST(ChecksumDeviceTest, FaultsSilenceAndDisconnect)
{
    SimConfig config;
    config.faults.disconnectAfterPulse = 5;
    auto device = VirtualSpirometer::Make(config);
    send(*device, checksumCommand(0x8C));
    unsigned char report[64];
    while (device->DeviceBytes(report, 64) > 0) {
    }
    EXPECT_FALSE(device->Connected());
    EXPECT_EQ(send(*device, checksumCommand(0x87)), Bytes{});

    config.faults = {};
    config.faults.silenceAfterPulse = 5;
    device = VirtualSpirometer::Make(config);
    send(*device, checksumCommand(0x8C));
    while (device->DeviceBytes(report, 64) > 0) {
    }
    EXPECT_TRUE(device->Connected());
    EXPECT_EQ(send(*device, checksumCommand(0x87)), Bytes{});
}
