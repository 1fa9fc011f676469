#pragma once
// The record types of one test run and of a test file. Every type here has a
// fixed binary layout: files hold them little-endian whatever the host
// (record_codec.h reads and writes them).
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

enum TestType : std::int32_t { kTestFvc = 0, kTestVc = 1, kTestMvv = 2 };

// One turbine pulse.
struct PulseSample {
    std::uint32_t time = 0;     // 10 us units from the start of the test (100000 = 1 s)
    std::int32_t direction = 0; // 1 expiration, 0 inspiration
};
static_assert(sizeof(PulseSample) == 8);

inline constexpr std::int32_t kDirectionExpiration = 1;
inline constexpr std::int32_t kDirectionInspiration = 0;

using PulseStream = std::vector<PulseSample>;

// The result of one manoeuvre (or breath cycle): 39 four-byte fields.
// Volumes in L, flows in L/s, times in s, ratios in percent. A field nothing
// sets stays 0, so the type is always value-initialised.
struct ManeuverResult {
    float IC = 0;               // 0   VC test: IRV + TV
    float ERV = 0;              // 4
    float EVC = 0;              // 8
    float IVC = 0;              // 12
    float TV = 0;               // 16
    float MV = 0;               // 20  L/min
    float RR = 0;               // 24  breaths per minute
    float tI = 0;               // 28
    float tE = 0;               // 32
    float TV_tI = 0;            // 36  "TV/tI"
    float ttot = 0;             // 40
    float tI_ttot = 0;          // 44  "tI/ttot"
    float IRV = 0;              // 48
    float VC = 0;               // 52
    float FEV1 = 0;             // 56
    float PEF = 0;              // 60
    float FEV1_VC = 0;          // 64  "FEV1/VC"
    float FEF25 = 0;            // 68
    float FEF75 = 0;            // 72
    float FEF2575 = 0;          // 76
    float FEF50 = 0;            // 80
    float FEV6 = 0;             // 84
    float FEV1_FEV6 = 0;        // 88  "FEV1/FEV6"
    float FEV3 = 0;             // 92
    float FIVC = 0;             // 96
    float FIV1 = 0;             // 100
    float PIF = 0;              // 104
    float FIV1_FIVC = 0;        // 108 "FIV1/FIVC"
    float FVC = 0;              // 112
    float FEV1_FVC = 0;         // 116 "FEV1/FVC"
    float FEV3_FVC = 0;         // 120 "FEV3/FVC"
    std::int32_t ELA = 0;       // 124 years
    float FET = 0;              // 128
    std::int32_t EVOL = 0;      // 132 mL
    float MVV = 0;              // 136 L/min
    std::uint32_t Reserved = 0; // 140 never set
    std::int32_t ExpCount = 0;  // 144 PulseSamples of the expiration
    std::int32_t Duration = 0;  // 148 whole seconds of the expiration
    std::int32_t InspCount = 0; // 152 PulseSamples of the inspiration
};
static_assert(sizeof(ManeuverResult) == 156);
static_assert(offsetof(ManeuverResult, TV) == 16);
static_assert(offsetof(ManeuverResult, IRV) == 48);
static_assert(offsetof(ManeuverResult, VC) == 52);
static_assert(offsetof(ManeuverResult, FEF25) == 68);
static_assert(offsetof(ManeuverResult, FEF50) == 80);
static_assert(offsetof(ManeuverResult, FIVC) == 96);
static_assert(offsetof(ManeuverResult, FVC) == 112);
static_assert(offsetof(ManeuverResult, ELA) == 124);
static_assert(offsetof(ManeuverResult, EVOL) == 132);
static_assert(offsetof(ManeuverResult, MVV) == 136);
static_assert(offsetof(ManeuverResult, ExpCount) == 144);
static_assert(offsetof(ManeuverResult, InspCount) == 152);

inline constexpr int kManeuverFieldCount = 39;

using ManeuverList = std::vector<ManeuverResult>;

// Head of a test file.
struct TestFileHeader {
    char magic[8] = {};                 // 0   "TAVW"
    char version[8] = {};               // 8   "3.1.1"
    std::int32_t reserved16 = 1;        // 16
    std::int32_t trailerFlag = 1;       // 20  1: a trailer follows the samples
    std::int32_t sampleOffset = 0;      // 24  byte offset of the first PulseSample
    std::int32_t testType = 0;          // 28  TestType
    std::int32_t reserved32 = 0;        // 32
    std::int32_t expCoefficient = 156;  // 36 after BTPS correction
    std::int32_t inspCoefficient = 145; // 40 after BTPS correction
    std::int32_t temperature = 22;      // 44  degrees C the coefficients were corrected for
    std::int32_t reserved48 = 1;        // 48
    std::int32_t reserved52 = 0;        // 52
    char deviceId[32] = {};             // 56
    char testTime[32] = {};             // 88  "%Y-%m-%d %H:%M:%S"
    char dataName[128] = {};            // 120 "%d.dt"
};
static_assert(sizeof(TestFileHeader) == 248);
static_assert(offsetof(TestFileHeader, trailerFlag) == 20);
static_assert(offsetof(TestFileHeader, sampleOffset) == 24);
static_assert(offsetof(TestFileHeader, testType) == 28);
static_assert(offsetof(TestFileHeader, expCoefficient) == 36);
static_assert(offsetof(TestFileHeader, temperature) == 44);
static_assert(offsetof(TestFileHeader, deviceId) == 56);
static_assert(offsetof(TestFileHeader, testTime) == 88);
static_assert(offsetof(TestFileHeader, dataName) == 120);

inline constexpr int kHeaderSize = 248;
inline constexpr int kRecordSize = 156;
inline constexpr int kReservedBlockSize = 8;
inline constexpr int kSampleOffset = kHeaderSize + kRecordSize + kReservedBlockSize; // 412

// Start and end grading of the best FVC manoeuvre: flag 0 start, flag 1 end;
// flags 2..7 stay 1.
struct AcceptanceFlags {
    std::array<std::int32_t, 8> flag{1, 1, 1, 1, 1, 1, 1, 1};
};
static_assert(sizeof(AcceptanceFlags) == 32);

// What the slow-VC analysis found, stored after the samples of a VC test.
// Sample indices count PulseSamples from the start of the stream; a deep
// breath that was not found holds -1.
struct TidalSummary {
    std::int32_t firstTidalBreath = -1;    // record index of the first of the four tidal breaths
    std::int32_t tidalStartSample = -1;    // first sample of the four tidal breaths
    std::int32_t tidalEndSample = -1;      // one past their last sample
    std::int32_t deepExpBreath = -1;       // record index of the deep expiration
    std::int32_t deepExpStartSample = -1;  // first sample of that breath's expiration
    std::int32_t deepExpEndSample = -1;    // one past its last expiratory sample
    std::int32_t deepInspBreath = -1;      // record index of the deep inspiration
    std::int32_t deepInspStartSample = -1; // first sample of that breath's inspiration
    std::int32_t deepInspEndSample = -1;   // one past its last inspiratory sample
    std::int32_t tidalTime = 0;            // length of the four tidal breaths, 10 us units
};
static_assert(sizeof(TidalSummary) == 40);

inline constexpr int kAcceptanceSize = 32;
inline constexpr int kTidalSummarySize = 40;
