#include "core/device/btps.h"
#include "core/measure/record_codec.h"

#include "core/app/system_settings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::uint32_t le32(const QByteArray& bytes, int offset) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData() + offset);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

float leFloat(const QByteArray& bytes, int offset) {
    const std::uint32_t bits = le32(bytes, offset);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

} // namespace

TEST(RecordCodec, ManeuverFieldsSitAtTheirFileOffsets) {
    ManeuverResult r;
    r.IC = 1.5f;
    r.TV_tI = 0.75f;
    r.VC = 4.25f;
    r.FEF50 = 3.5f;
    r.FIV1_FIVC = 97.0f;
    r.FVC = 4.5f;
    r.ELA = -7;
    r.EVOL = 123;
    r.MVV = 140.0f;
    r.ExpCount = 305;
    r.Duration = 6;
    r.InspCount = 270;
    QByteArray bytes;
    RecordCodec::AppendManeuver(bytes, r);
    ASSERT_EQ(bytes.size(), 156);
    EXPECT_EQ(leFloat(bytes, 0), 1.5f);
    EXPECT_EQ(leFloat(bytes, 36), 0.75f);
    EXPECT_EQ(leFloat(bytes, 52), 4.25f);
    EXPECT_EQ(leFloat(bytes, 80), 3.5f);
    EXPECT_EQ(leFloat(bytes, 108), 97.0f);
    EXPECT_EQ(leFloat(bytes, 112), 4.5f);
    EXPECT_EQ(le32(bytes, 124), 0xFFFFFFF9u);
    EXPECT_EQ(le32(bytes, 132), 123u);
    EXPECT_EQ(leFloat(bytes, 136), 140.0f);
    EXPECT_EQ(le32(bytes, 140), 0u);
    EXPECT_EQ(le32(bytes, 144), 305u);
    EXPECT_EQ(le32(bytes, 148), 6u);
    EXPECT_EQ(le32(bytes, 152), 270u);

    const ManeuverResult back = RecordCodec::DecodeManeuver(bytes.constData());
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
}

TEST(RecordCodec, HeaderSamplesAndTrailersAreLittleEndian) {
    TestFileHeader h;
    RecordCodec::SetText(h.magic, sizeof h.magic, "TAVW");
    RecordCodec::SetText(h.version, sizeof h.version, "3.1.1");
    h.trailerFlag = 1;
    h.sampleOffset = 412;
    h.testType = 2;
    h.expCoefficient = 149;
    h.temperature = 33;
    RecordCodec::SetText(h.deviceId, sizeof h.deviceId,
                         QByteArray(40, 'x')); // longer than the field
    RecordCodec::SetText(h.dataName, sizeof h.dataName, "12.dt");
    QByteArray bytes;
    RecordCodec::AppendHeader(bytes, h);
    ASSERT_EQ(bytes.size(), 248);
    EXPECT_EQ(bytes.left(5), QByteArray("TAVW\0", 5));
    EXPECT_EQ(bytes.mid(8, 6), QByteArray("3.1.1\0", 6));
    EXPECT_EQ(le32(bytes, 16), 1u); // the in-memory default of the first reserved word
    EXPECT_EQ(le32(bytes, 20), 1u);
    EXPECT_EQ(le32(bytes, 24), 412u);
    EXPECT_EQ(le32(bytes, 28), 2u);
    EXPECT_EQ(le32(bytes, 36), 149u);
    EXPECT_EQ(le32(bytes, 40), 145u);
    EXPECT_EQ(le32(bytes, 44), 33u);
    EXPECT_EQ(le32(bytes, 48), 1u);
    EXPECT_EQ(bytes.mid(56, 32), QByteArray(31, 'x') + QByteArray(1, '\0'));
    EXPECT_EQ(bytes.mid(120, 6), QByteArray("12.dt\0", 6));
    const TestFileHeader back = RecordCodec::DecodeHeader(bytes.constData());
    EXPECT_EQ(std::memcmp(&back, &h, sizeof h), 0);

    QByteArray tail;
    RecordCodec::AppendSample(tail, PulseSample{0x01020304u, 1});
    EXPECT_EQ(tail, QByteArray("\x04\x03\x02\x01\x01\x00\x00\x00", 8));
    AcceptanceFlags flags;
    flags.flag[1] = 0;
    RecordCodec::AppendAcceptance(tail, flags);
    TidalSummary summary;
    summary.tidalTime = 1000000;
    RecordCodec::AppendTidalSummary(tail, summary);
    ASSERT_EQ(tail.size(), 8 + 32 + 40);
    EXPECT_EQ(RecordCodec::DecodeAcceptance(tail.constData() + 8).flag, flags.flag);
    EXPECT_EQ(RecordCodec::DecodeTidalSummary(tail.constData() + 40).tidalTime, 1000000);
    EXPECT_EQ(le32(tail, 40), 0xFFFFFFFFu); // a summary field not found holds -1
}

// The factors inside the range: the coefficient corrections of the protocol tests.
TEST(Btps, ClampedOutsideTheRangeAndOneWhenOff) {
    Settings().btps = 1;
    EXPECT_NEAR(BtpsFactor(0), 1.1284, 5e-5);
    EXPECT_NEAR(BtpsFactor(55), 0.9799, 5e-5);
    EXPECT_EQ(BtpsCorrect(100, BtpsFactor(37)), 100);
    Settings().btps = 0;
    EXPECT_EQ(BtpsFactor(15), 1.0);
    Settings().Reset();
}
