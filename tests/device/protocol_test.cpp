// Both wire protocols byte for byte where no recorded stream reaches: command
// encodings, replies, the coefficient corrections and frames the device
// sends outside a test. Pulses, gaps and cuts: the golden streams.
#include "scripted_port.h"
#include "support/temp_home.h"

#include "core/device/ascii_command_protocol.h"
#include "core/device/checksum_frame_protocol.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/flow_engine.h"
#include "core/measure/maneuver_check.h"
#include "core/measure/maneuver_quality.h"
#include "core/measure/measurement_store.h"
#include "core/session/assembler_sink.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Bytes = std::vector<unsigned char>;

unsigned char sum7(const Bytes& b)
{
    unsigned s = 0;
    for (unsigned char c : b)
        s += c;
    return static_cast<unsigned char>(s % 128);
}

// A checksum-frame pulse as the device sends it.
Bytes pulse(int seq, std::uint32_t time, bool expiration = true)
{
    const std::uint32_t raw = time + 80000;
    const unsigned char data[6] = {
        static_cast<unsigned char>(seq),       static_cast<unsigned char>(seq >> 8),
        static_cast<unsigned char>(raw),       static_cast<unsigned char>(raw >> 8),
        static_cast<unsigned char>(raw >> 16), static_cast<unsigned char>(raw >> 24)};
    Bytes f{0xE1, static_cast<unsigned char>(expiration ? 0 : 0x40)};
    for (int k = 0; k < 6; ++k) {
        f[1] |= (data[k] >> 7) << k;
        f.push_back(data[k] & 0x7F);
    }
    f.push_back(sum7(f));
    return f;
}

Bytes phaseEnd(bool expiration)
{
    Bytes f{0xE2, static_cast<unsigned char>(expiration ? 0 : 0x40), 0, 0, 0, 0, 0, 0};
    f.push_back(sum7(f));
    return f;
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// An ascii-command frame: code, high-bit byte, data with the sync bit.
Bytes asciiFrame(unsigned char code, const Bytes& data)
{
    Bytes f{code, 0x80};
    for (size_t i = 0; i < data.size(); ++i) {
        f[1] |= (data[i] >> 7) << i;
        f.push_back(data[i] | 0x80);
    }
    return f;
}

// An ascii blow of `pulses` pulses and the device's sums for it.
Bytes asciiBlow(int pulses, int volumeSum)
{
    Bytes s;
    for (int i = 1; i <= pulses; ++i) {
        const unsigned raw = 80000 + 10000 + i * 1500;
        const Bytes f = asciiFrame(2, {static_cast<unsigned char>(raw), static_cast<unsigned char>(raw >> 8),
                                       static_cast<unsigned char>(raw >> 16), static_cast<unsigned char>(raw >> 24)});
        s.insert(s.end(), f.begin(), f.end());
    }
    const unsigned first = volumeSum * 8 / 10;
    const Bytes end = asciiFrame(3, {static_cast<unsigned char>(first), static_cast<unsigned char>(first >> 8), 20, 0,
                                     static_cast<unsigned char>(volumeSum), static_cast<unsigned char>(volumeSum >> 8)});
    s.insert(s.end(), end.begin(), end.end());
    s.push_back(4);
    return s;
}

template <class Protocol> class ProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        sink.Assembler().Begin(kTestFvc, 149, 149);
        sink.Attach(protocol);
        protocol.SetPort(&port);
    }
    int parse(const Bytes& block) { return protocol.ParseStream(block.data(), int(block.size())); }
    AssemblerSink::Over over() const { return sink.StreamOver(); }
    // The test goes on: the sink listens again.
    void goOn() { sink.Attach(protocol); }
    // A whole stream through a fresh parser; true when it ended the test.
    bool feedFresh(const Bytes& bytes)
    {
        Protocol fresh;
        sink.Assembler().Begin(kTestFvc, 149, 149);
        sink.Attach(fresh);
        fresh.SetCoefficients(149, 149, 33);
        fresh.ParseStream(bytes.data(), int(bytes.size()));
        return sink.StreamOver() == AssemblerSink::Over::kTestEnded;
    }

    TempHome home; // settings at their defaults (BTPS on)
    MeasurementStore store;
    std::unique_ptr<FlowEngine> engine = std::make_unique<FlowEngine>();
    CurvePointList points;
    AssemblerSink sink{store, *engine, &points};
    ScriptedPort port;
    Protocol protocol;
};

using ChecksumFrameTest = ProtocolTest<ChecksumFrameProtocol>;
using AsciiCommandTest = ProtocolTest<AsciiCommandProtocol>;

} // namespace

// A stop frame cut by the read's end counts only with its checksum (the end
// frame cut at any byte: GoldenStreams.AFrameCutAtAnyByteGivesTheSameTest).
TEST_F(ChecksumFrameTest, StopFrameEndsTheStreamOnlyWhenWholeAcrossReads)
{
    using Over = AssemblerSink::Over;
    parse(join({pulse(1, 100), Bytes{0xFD}}));
    EXPECT_EQ(over(), Over::kNo);
    parse({0x7D});
    EXPECT_EQ(over(), Over::kDeviceStopped);
    goOn();
    parse(Bytes{0xFD});
    parse({0x7C});
    EXPECT_EQ(over(), Over::kNo);
}

TEST_F(ChecksumFrameTest, PhasesCloseManoeuvresAndAnUnfinishedOneIsKeptAtTheEnd)
{
    // An expiration of 40 pulses 10 ms apart, its inspiration, then an expiration alone.
    Bytes stream;
    int seq = 0;
    std::uint32_t t = 5000;
    auto blow = [&](bool expiration) {
        for (int i = 0; i < 40; ++i, t += 1000) {
            const Bytes p = pulse(++seq, t, expiration);
            stream.insert(stream.end(), p.begin(), p.end());
        }
        const Bytes e = phaseEnd(expiration);
        stream.insert(stream.end(), e.begin(), e.end());
        t += 80000;
    };
    blow(true);
    blow(false);
    blow(true);
    for (size_t i = 0; i < stream.size(); i += 64)
        ASSERT_EQ(
            parse(Bytes(stream.begin() + i, stream.begin() + std::min(stream.size(), i + 64))), 0);
    EXPECT_EQ(store.ManeuverCount(), 1);
    parse({0xE3, 0x63});
    EXPECT_EQ(over(), AssemblerSink::Over::kTestEnded);
    const ManeuverList list = store.Maneuvers();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].ExpCount, 40);
    EXPECT_EQ(list[0].InspCount, 40);
    EXPECT_GT(list[0].FIVC, 0.0f);
    EXPECT_GT(list[1].FVC, 0.0f);
    EXPECT_EQ(list[1].ExpCount, 40);
    EXPECT_EQ(list[1].InspCount, 0);
}

// The stop, calibration and wait commands reach the virtual device in the
// live and calibration tests; a sequence number past 7 bits does not.
TEST_F(ChecksumFrameTest, ResendCarriesBit7OfBothSequenceBytesInTheHighBitByte)
{
    EXPECT_EQ(protocol.RequestResend(0x80FF), 1);
    EXPECT_EQ(port.writes.back(), (Bytes{0x91, 0x03, 0x7F, 0x00, 0x13}));
    port.replies.push_back({0xFE, 0x7F}); // a wait reply with a bad checksum
    EXPECT_EQ(protocol.SetWaitParameters(10, 15), 0);
}

TEST_F(ChecksumFrameTest, RepliesAreCheckedBeforeTheyAreBelieved)
{
    EXPECT_EQ(protocol.GetBatteryLevel(), 100); // no answer
    port.replies.push_back({0xF6, 5, 0x7B});
    EXPECT_EQ(protocol.GetBatteryLevel(), 5);
    port.replies.push_back({0xF6, 5, 0x7C});
    EXPECT_EQ(protocol.GetBatteryLevel(), 100);
    port.replies.push_back({0xF7, 0x77});
    EXPECT_EQ(protocol.CheckConnection(), 1);
    EXPECT_EQ(port.writes.back(), (Bytes{0x87, 0x07}));
    port.replies.push_back({0xF2, 0, 1, 1, 1, 1, 3, 0x79});
    int length = -5;
    QString text;
    EXPECT_EQ(protocol.GetVersion(length, text), 1);
    EXPECT_EQ(text, "\nDevice Version:1.1.0 \n Soft Version:3.1.1");
    EXPECT_EQ(length, -5);
}

TEST_F(ChecksumFrameTest, CoefficientsAreCorrectedOnceForBodyConditions)
{
    // A coefficient outside the sensor's range stops the start, naming it:
    // expiratory 60, inspiratory 145 (0x0091: bit 7 via the high-bit byte).
    port.replies.push_back({0xF4, 0x04, 60, 0x00, 0x11, 0x00, 69});
    EXPECT_EQ(protocol.ReadCoefficients(), 0);
    EXPECT_TRUE(protocol.CommandError().contains("60")) << protocol.CommandError().toStdString();
    // Expiratory 180 (0x00B4), inspiratory 145.
    port.replies.push_back({0xF4, 0x05, 0x34, 0x00, 0x11, 0x00, 0x3E});
    ASSERT_EQ(protocol.ReadCoefficients(), 1);
    EXPECT_EQ(protocol.ExpCoefficient(), 185); // 180 x 1.0258 at 33 C
    EXPECT_EQ(protocol.InspCoefficient(), 149);
    // 25 C: the inspiratory coefficient is the received 145 x 1.0743, not 149 x 1.0743.
    port.replies.push_back({0xF5, 25, 0x0E});
    ASSERT_EQ(protocol.ReadTemperature(), 1);
    EXPECT_EQ(protocol.Temperature(), 25);
    EXPECT_EQ(protocol.InspCoefficient(), 156);
    EXPECT_EQ(protocol.ExpCoefficient(), 185);

    Settings().btps = 0;
    port.replies.push_back({0xF4, 0x05, 0x34, 0x00, 0x11, 0x00, 0x3E});
    ASSERT_EQ(protocol.ReadCoefficients(), 1);
    EXPECT_EQ(protocol.ExpCoefficient(), 180);
    EXPECT_EQ(protocol.InspCoefficient(), 145);
    port.replies.push_back({0xF4, 0x05, 0x34, 0x00, 0x11, 0x00, 0x3D});
    EXPECT_EQ(protocol.ReadCoefficients(), 0);
}

TEST_F(ChecksumFrameTest, CalibrationStatusFrames)
{
    EXPECT_EQ(protocol.GetCalibrationStatus(0), -1);
    EXPECT_EQ(port.reads, 0);
    const std::pair<unsigned char, int> table[] = {{0, 9}, {1, 4}, {2, 2}, {3, 3}, {4, 1}, {11, 8}};
    for (const auto& [code, status] : table) {
        port.replies.push_back({0xFA, code, static_cast<unsigned char>((0xFA + code) % 128)});
        EXPECT_EQ(protocol.GetCalibrationStatus(150), status) << int(code);
    }
    // Noise uses up attempts; the end-calibration reply ends the wait at once.
    port.replies.push_back({0x12, 0x34});
    port.replies.push_back({0xFB, 0x7B});
    port.replies.push_back({0xFA, 4, 0x7E});
    EXPECT_EQ(protocol.GetCalibrationStatus(150), -1);
    EXPECT_EQ(protocol.GetCalibrationStatus(1), 1);
}

TEST_F(ChecksumFrameTest, NoPortMeansFailureValues)
{
    protocol.SetPort(nullptr);
    EXPECT_EQ(protocol.CheckConnection(), 0);
    EXPECT_EQ(protocol.GetBatteryLevel(), 100);
    EXPECT_EQ(protocol.GetCalibrationStatus(3), -1);
    EXPECT_EQ(protocol.StartTest(), 0);
}

TEST_F(AsciiCommandTest, CoefficientFramesAndTemperatureReports)
{
    // Firmware 1.0: one byte for both; a zero byte falls back to 145.
    Bytes zero{1, 0x80, 0x80};
    protocol.ParseFrame(zero.data(), 3);
    EXPECT_EQ(protocol.ExpCoefficient(), 149);
    EXPECT_EQ(protocol.InspCoefficient(), 149);
    EXPECT_EQ(protocol.Temperature(), 33);
    Settings().btps = 0;
    Bytes two{1, 0x81, 0x80 | 0x2C, 0x80 | 0x7F}; // 0xAC and 0x7F
    protocol.ParseFrame(two.data(), 4);
    EXPECT_EQ(protocol.ExpCoefficient(), 0xAC);
    EXPECT_EQ(protocol.InspCoefficient(), 0x7F);
    Settings().btps = 1;
    Bytes same{11, 0x80, 0x80 | 33};
    protocol.ParseFrame(same.data(), 3);
    EXPECT_EQ(protocol.InspCoefficient(), 0x7F); // repeated temperature: nothing changes
    Bytes warm{11, 0x80, 0x80 | 15};
    protocol.ParseFrame(warm.data(), 3);
    EXPECT_EQ(protocol.Temperature(), 15);
    EXPECT_EQ(protocol.InspCoefficient(), 143); // 127 x 1.1284
    EXPECT_EQ(protocol.ExpCoefficient(), 0xAC);
}

TEST_F(AsciiCommandTest, CoefficientReplyIsWholeAndInRangeOrTheStartStops)
{
    port.byteStream = true;
    const Bytes version = asciiFrame(12, {0x11, 'A'}); // firmware 1.1: two coefficients
    port.replies = {{'z'}, version, {'p'}, asciiFrame(1, {150})};
    EXPECT_EQ(protocol.ReadCoefficients(), 0) << "a frame one byte short";
    EXPECT_TRUE(protocol.CommandError().contains("coefficient frame"));
    port.replies = {{'x'}};
    EXPECT_EQ(protocol.ReadCoefficients(), 0) << "no version: the frame's length is unknown";
    EXPECT_TRUE(protocol.CommandError().contains("version"));
    port.replies = {{'z'}, version, {'p'}, asciiFrame(1, {60, 150})};
    EXPECT_EQ(protocol.ReadCoefficients(), 0);
    EXPECT_TRUE(protocol.CommandError().contains("60"));
    port.replies = {{'z'}, version, {'p'}, asciiFrame(1, {150, 140})};
    EXPECT_EQ(protocol.ReadCoefficients(), 1);
    EXPECT_EQ(protocol.ExpCoefficient(), 154); // 150 x 1.0258
    EXPECT_TRUE(protocol.CommandError().isEmpty());
}

TEST_F(AsciiCommandTest, DeviceIdentifierPiecesAndCommands)
{
    const char* pieces[] = {"ABCDEF", "GHIJKL"};
    for (int k = 0; k < 2; ++k) {
        Bytes data{static_cast<unsigned char>(k + 1)};
        data.insert(data.end(), pieces[k], pieces[k] + 6);
        parse(asciiFrame(72, data));
    }
    Bytes stray{static_cast<unsigned char>(9), 'X', 'X', 'X', 'X', 'X', 'X'};
    parse(asciiFrame(72, stray)); // piece 9 does not exist
    EXPECT_EQ(protocol.DeviceId(), QByteArray("ABCDEFGHIJKL"));

    EXPECT_EQ(protocol.GetBatteryLevel(), 100);
    EXPECT_EQ(protocol.GetCalibrationStatus(0), -1);
    EXPECT_EQ(port.reads, 0);
    port.replies.push_back({'x'});
    port.replies.push_back({'T'});
    EXPECT_EQ(protocol.CheckConnection(), 1); // the second attempt answers
    EXPECT_EQ(port.writes.back(), Bytes{'E'});
    port.replies.push_back({'s'});
    EXPECT_EQ(protocol.StartCalibration(2), 1);
    EXPECT_EQ(port.writes.back(), Bytes{'C'});
    const std::pair<unsigned char, int> table[] = {{5, 4},  {6, 2},    {7, 3}, {8, 1},
                                                   {17, 9}, {'v', 10}, {11, 8}};
    for (const auto& [byte, status] : table) {
        port.replies.push_back({byte});
        EXPECT_EQ(protocol.GetCalibrationStatus(150), status) << int(byte);
    }
}

// Hostile streams: device sums that disagree with the pulses, garbage, and
// bytes whose high bit was stripped never give a usable manoeuvre.
TEST_F(AsciiCommandTest, DeviceSumsThatDisagreeWithThePulsesFlagTheManoeuvre)
{
    // 300 pulses of 1.016 sum units each: a volume sum near 305 agrees.
    EXPECT_TRUE(feedFresh(asciiBlow(300, 305)));
    ASSERT_EQ(store.Statuses().size(), 1u);
    EXPECT_EQ(store.Statuses()[0].failedChecks & kCheckVolumeSum, 0u);
    // One flipped bit in the volume sum (bit 4: +16, about 5 %).
    store.Clear();
    EXPECT_TRUE(feedFresh(asciiBlow(300, 305 ^ 16)));
    ASSERT_EQ(store.Statuses().size(), 1u);
    EXPECT_EQ(store.Statuses()[0].failedChecks & kCheckVolumeSum, unsigned(kCheckVolumeSum));
    EXPECT_EQ(BestUsableFvcIndex(store.Maneuvers(), store.Statuses()), -1);
}

TEST_F(AsciiCommandTest, GarbageAndBytesWithoutTheHighBitGiveNothingUsable)
{
    Bytes garbage;
    unsigned state = 7;
    for (int i = 0; i < 4000; ++i) {
        state = state * 1103515245u + 12345u;
        garbage.push_back(static_cast<unsigned char>(state >> 16));
    }
    garbage.push_back(4);
    feedFresh(garbage);
    ManeuverList list = store.Maneuvers();
    for (ManeuverResult& r : list)
        DeriveManeuver(r, 175, kGenderMale);
    EXPECT_EQ(BestUsableFvcIndex(list, store.Statuses()), -1);

    store.Clear();
    Bytes stripped = asciiBlow(300, 305);
    for (auto& b : stripped)
        b &= 0x7F;
    feedFresh(stripped);
    EXPECT_EQ(BestUsableFvcIndex(store.Maneuvers(), store.Statuses()), -1);
}
