#pragma once
// Little-endian encoding of the test-file records, independent of the host's
// byte order and struct packing.
#include "core/measure/test_record.h"

#include <QByteArray>

#include <cstddef>

namespace RecordCodec {

void AppendHeader(QByteArray& out, const TestFileHeader& header);
void AppendManeuver(QByteArray& out, const ManeuverResult& record);
void AppendSample(QByteArray& out, const PulseSample& sample);
void AppendAcceptance(QByteArray& out, const AcceptanceFlags& flags);
void AppendTidalSummary(QByteArray& out, const TidalSummary& summary);

// Decoders read exactly the record's size from `data`; the caller checks the length.
TestFileHeader DecodeHeader(const char* data);
ManeuverResult DecodeManeuver(const char* data);
PulseSample DecodeSample(const char* data);
AcceptanceFlags DecodeAcceptance(const char* data);
TidalSummary DecodeTidalSummary(const char* data);

// Sets a fixed-size text field: at most size-1 characters, zero-padded.
void SetText(char* field, std::size_t size, const QByteArray& text);
// The text of a fixed-size field up to its first NUL (or its whole size).
QByteArray Text(const char* field, std::size_t size);

} // namespace RecordCodec
