#include "core/measure/record_codec.h"

#include <algorithm>
#include <cstring>

namespace {

void putU32(QByteArray& out, std::uint32_t v) {
    const char bytes[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF),
                           char((v >> 24) & 0xFF)};
    out.append(bytes, 4);
}
void putI32(QByteArray& out, std::int32_t v) {
    putU32(out, static_cast<std::uint32_t>(v));
}

std::uint32_t getU32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
           (std::uint32_t(b[3]) << 24);
}
std::int32_t getI32(const char* p) {
    return static_cast<std::int32_t>(getU32(p));
}

// ManeuverResult is 39 four-byte words with no padding: each word is moved
// as a whole, so floats and integers keep their bits on any host.
std::array<std::uint32_t, kManeuverFieldCount> wordsOf(const ManeuverResult& r) {
    std::array<std::uint32_t, kManeuverFieldCount> words{};
    std::memcpy(words.data(), &r, sizeof r);
    return words;
}

} // namespace

namespace RecordCodec {

void SetText(char* field, std::size_t size, const QByteArray& text) {
    std::memset(field, 0, size);
    const std::size_t n = std::min<std::size_t>(size - 1, std::size_t(text.size()));
    std::memcpy(field, text.constData(), n);
}

QByteArray Text(const char* field, std::size_t size) {
    const void* end = std::memchr(field, 0, size);
    return QByteArray(field, end ? int(static_cast<const char*>(end) - field) : int(size));
}

void AppendHeader(QByteArray& out, const TestFileHeader& h) {
    out.append(h.magic, sizeof h.magic);
    out.append(h.version, sizeof h.version);
    for (std::int32_t v :
         {h.reserved16, h.trailerFlag, h.sampleOffset, h.testType, h.reserved32, h.expCoefficient,
          h.inspCoefficient, h.temperature, h.reserved48, h.reserved52})
        putI32(out, v);
    out.append(h.deviceId, sizeof h.deviceId);
    out.append(h.testTime, sizeof h.testTime);
    out.append(h.dataName, sizeof h.dataName);
}

TestFileHeader DecodeHeader(const char* p) {
    TestFileHeader h;
    std::memcpy(h.magic, p, 8);
    std::memcpy(h.version, p + 8, 8);
    std::int32_t* ints[] = {&h.reserved16, &h.trailerFlag,    &h.sampleOffset,    &h.testType,
                            &h.reserved32, &h.expCoefficient, &h.inspCoefficient, &h.temperature,
                            &h.reserved48, &h.reserved52};
    for (int i = 0; i < 10; ++i)
        *ints[i] = getI32(p + 16 + 4 * i);
    std::memcpy(h.deviceId, p + 56, sizeof h.deviceId);
    std::memcpy(h.testTime, p + 88, sizeof h.testTime);
    std::memcpy(h.dataName, p + 120, sizeof h.dataName);
    return h;
}

void AppendManeuver(QByteArray& out, const ManeuverResult& record) {
    for (std::uint32_t w : wordsOf(record))
        putU32(out, w);
}

ManeuverResult DecodeManeuver(const char* p) {
    std::array<std::uint32_t, kManeuverFieldCount> words{};
    for (int i = 0; i < kManeuverFieldCount; ++i)
        words[i] = getU32(p + 4 * i);
    ManeuverResult r;
    std::memcpy(static_cast<void*>(&r), words.data(), sizeof r);
    return r;
}

void AppendSample(QByteArray& out, const PulseSample& s) {
    putU32(out, s.time);
    putI32(out, s.direction);
}

PulseSample DecodeSample(const char* p) {
    return PulseSample{getU32(p), getI32(p + 4)};
}

void AppendAcceptance(QByteArray& out, const AcceptanceFlags& flags) {
    for (std::int32_t v : flags.flag)
        putI32(out, v);
}

AcceptanceFlags DecodeAcceptance(const char* p) {
    AcceptanceFlags flags;
    for (int i = 0; i < 8; ++i)
        flags.flag[i] = getI32(p + 4 * i);
    return flags;
}

void AppendTidalSummary(QByteArray& out, const TidalSummary& s) {
    for (std::int32_t v :
         {s.firstTidalBreath, s.tidalStartSample, s.tidalEndSample, s.deepExpBreath,
          s.deepExpStartSample, s.deepExpEndSample, s.deepInspBreath, s.deepInspStartSample,
          s.deepInspEndSample, s.tidalTime})
        putI32(out, v);
}

TidalSummary DecodeTidalSummary(const char* p) {
    TidalSummary s;
    std::int32_t* fields[] = {&s.firstTidalBreath, &s.tidalStartSample,    &s.tidalEndSample,
                              &s.deepExpBreath,    &s.deepExpStartSample,  &s.deepExpEndSample,
                              &s.deepInspBreath,   &s.deepInspStartSample, &s.deepInspEndSample,
                              &s.tidalTime};
    for (int i = 0; i < 10; ++i)
        *fields[i] = getI32(p + 4 * i);
    return s;
}

} // namespace RecordCodec
