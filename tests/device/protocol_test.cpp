// Both wire protocols byte for byte where no recorded stream reaches: command
// encodings, replies, the coefficient corrections and frames the device
// sends outside a test, and the protocol demo mode picks. Pulses, gaps and
// cuts: the golden streams.
#include "scripted_port.h"
#include "support/data_table.h"
#include "support/temp_home.h"
#include "support/test_parts.h"

#include "core/device/ascii_command_protocol.h"
#include "core/device/checksum_frame_protocol.h"
#include "core/device/device_manager.h"
#include "core/device/virtual_spirometer.h"
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

// A protocol of either wire behind a scripted port, decoding into a store.
class ProtocolTest : public ::testing::Test {
  public:
    explicit ProtocolTest(bool checksum = true) : checksum(checksum) { reset(); }
    void reset()
    {
        protocol = make();
        port = std::make_unique<ScriptedPort>();
        sink.Assembler().Begin(kTestFvc, 149, 149);
        sink.Attach(*protocol);
        protocol->SetPort(port.get());
    }
    std::unique_ptr<DeviceProtocol> make() const
    {
        if (checksum)
            return std::make_unique<ChecksumFrameProtocol>();
        return std::make_unique<AsciiCommandProtocol>();
    }
    int parse(const Bytes& block) { return protocol->ParseStream(block.data(), int(block.size())); }
    AssemblerSink::Over over() const { return sink.StreamOver(); }
    // The test goes on: the sink listens again.
    void goOn() { sink.Attach(*protocol); }
    // A whole stream through a fresh parser; true when it ended the test.
    bool feedFresh(const Bytes& bytes)
    {
        const std::unique_ptr<DeviceProtocol> fresh = make();
        sink.Assembler().Begin(kTestFvc, 149, 149);
        sink.Attach(*fresh);
        fresh->SetCoefficients(149, 149, 33);
        fresh->ParseStream(bytes.data(), int(bytes.size()));
        return sink.StreamOver() == AssemblerSink::Over::kTestEnded;
    }

    bool checksum;
    TempHome home; // settings at their defaults (BTPS on)
    MeasurementStore store;
    std::unique_ptr<FlowEngine> engine = std::make_unique<FlowEngine>();
    CurvePointList points;
    AssemblerSink sink{store, *engine, &points};
    std::unique_ptr<ScriptedPort> port;
    std::unique_ptr<DeviceProtocol> protocol;
};

using ChecksumFrameTest = ProtocolTest;
class AsciiCommandTest : public ProtocolTest {
  protected:
    AsciiCommandTest() : ProtocolTest(false) {}
};

Bytes hex(const QString& text)
{
    Bytes bytes;
    for (const QString& b : text.split(' ', Qt::SkipEmptyParts))
        bytes.push_back(static_cast<unsigned char>(b.toUInt(nullptr, 16)));
    return bytes;
}

// Carries out one row's call; the value it returns (0 for calls without one).
int call(ProtocolTest& t, const QStringList& what, const QString& replies, int& length,
         QString& version)
{
    DeviceProtocol& p = *t.protocol;
    const QString name = what.value(0);
    const int a = what.value(1).toInt(nullptr, 0), b = what.value(2).toInt(nullptr, 0);
    Bytes frame = hex(replies);
    if (name == "frame")
        return p.ParseFrame(frame.data(), int(frame.size()));
    if (name == "stream")
        return t.parse(frame);
    if (!replies.isEmpty()) {
        for (const QString& reply : replies.split('|'))
            t.port->replies.push_back(hex(reply));
    }
    if (name == "version") {
        QString text;
        const int result = p.GetVersion(length, text);
        version = text;
        return result;
    }
    if (name == "battery")
        return p.GetBatteryLevel();
    if (name == "connection")
        return p.CheckConnection();
    if (name == "coefficients")
        return p.ReadCoefficients();
    if (name == "temperature")
        return p.ReadTemperature();
    if (name == "calibration")
        return p.GetCalibrationStatus(a);
    if (name == "startcal")
        return p.StartCalibration(a);
    if (name == "resend")
        return p.RequestResend(a);
    if (name == "wait")
        return p.SetWaitParameters(a, b);
    if (name == "start")
        return p.StartTest();
    if (name == "btps")
        Settings().btps = a;
    else if (name == "noport")
        p.SetPort(nullptr);
    else if (name == "bytestream")
        t.port->byteStream = true;
    else if (name != "id")
        ADD_FAILURE() << "no call " << name.toStdString();
    return 0;
}

} // namespace

// Each row of protocol_replies.csv.
TEST_F(ProtocolTest, EachExchangeOfTheReplyTableGivesItsResult)
{
    QString current;
    for (const DataRow& row : ReadDataTable(PROTOCOL_REPLIES_FILE)) {
        SCOPED_TRACE(row.line());
        if (row["protocol"] + row["case"] != current) {
            current = row["protocol"] + row["case"];
            checksum = row["protocol"] == "checksum";
            Settings().Reset();
            reset();
        }
        const QStringList what = row["call"].split(' ');
        int length = -5;
        QString version;
        const int result = call(*this, what, row["replies"], length, version);
        if (!row["result"].isEmpty()) {
            EXPECT_EQ(result, row["result"].toInt());
        }
        if (!row["written"].isEmpty()) {
            EXPECT_EQ(port->writes.back(), hex(row["written"]));
        }
        const std::pair<const char*, int> values[] = {{"exp", protocol->ExpCoefficient()},
                                                      {"insp", protocol->InspCoefficient()},
                                                      {"temp", protocol->Temperature()},
                                                      {"reads", port->reads}};
        for (const auto& [column, value] : values) {
            if (!row[column].isEmpty()) {
                EXPECT_EQ(value, row[column].toInt()) << column;
            }
        }
        const QString text = row["text"], error = protocol->CommandError();
        if (what[0] == "version") {
            EXPECT_EQ(version, QString(text).replace("\\n", "\n"));
            EXPECT_EQ(length, -5) << "the frame's length is the protocol's own";
        } else if (what[0] == "id") {
            EXPECT_EQ(protocol->DeviceId(), text.toLatin1());
        } else if (text == "none") {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        } else if (!text.isEmpty()) {
            EXPECT_TRUE(error.contains(text)) << error.toStdString();
        }
    }
}

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

TEST(DemoMode, TheSettingPicksTheVirtualSpirometerAndItsProtocol)
{
    TempHome home;
    DeviceManager& manager = TestParts().devices;
    Settings().simulator = 3;
    ASSERT_EQ(manager.ConnectDevice(), 1);
    EXPECT_EQ(manager.CurrentKind(), LinkKind::Simulated);
    EXPECT_TRUE(dynamic_cast<ChecksumFrameProtocol*>(manager.CurrentProtocol()));
    EXPECT_EQ(manager.SimulatedDevice()->Config().profile, 3);

    Settings().simulator = 13; // the same patient on an ascii-command device
    ASSERT_EQ(manager.ConnectDevice(), 1);
    EXPECT_TRUE(dynamic_cast<AsciiCommandProtocol*>(manager.CurrentProtocol()));
    manager.Disconnect();
}
