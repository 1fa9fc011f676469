#include "core/measure/test_file_reader.h"

#include "core/measure/record_codec.h"

#include "core/app/app_paths.h"
#include "core/app/regular_file.h"

#include <QRegularExpression>

#include <cstring>

namespace {

constexpr int kHeadSize = kHeaderSize + kRecordSize; // header and record at the start of every file

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

// Header and record of `bytes`, checked to be a test file.
bool parseHead(const QByteArray& bytes, TestFileHeader& header, ManeuverResult& record,
               QString* error) {
    if (bytes.size() < kHeadSize)
        return fail(error, QString("not a test file: %1 bytes, a test file starts with %2")
                               .arg(bytes.size())
                               .arg(kHeadSize));
    header = RecordCodec::DecodeHeader(bytes.constData());
    if (RecordCodec::Text(header.magic, sizeof header.magic) != "TAVW")
        return fail(error, "not a test file: the file does not start with \"TAVW\"");
    if (header.testType < kTestFvc || header.testType > kTestMvv)
        return fail(error, QString("not a test file: unknown test type %1").arg(header.testType));
    record = RecordCodec::DecodeManeuver(bytes.constData() + kHeaderSize);
    return true;
}

// Only a regular file is read (a FIFO or a device would block or never end),
// whole up to the largest test file.
bool readFile(const QString& path, QByteArray& bytes, QString* error) {
    return RegularFile::Read(path, kMaxTestFileSize, bytes, error) == RegularFile::Status::Read;
}

} // namespace

bool ParseTestHead(const QByteArray& bytes, TestFileHeader& header, ManeuverResult& record,
                   QString* error)
{
    return parseHead(bytes, header, record, error);
}

int TrailerLength(const TestFileHeader& header, int readerType) {
    if (header.trailerFlag == 0)
        return 0;
    // FVC files end with the acceptance flags (32 bytes); VC files with a
    // TidalSummary (40 bytes), and the writer gives MVV files one as well.
    return readerType == kTestFvc ? kAcceptanceSize : kTidalSummarySize;
}

bool IsTestFileName(const QString& name) {
    static const QRegularExpression pattern("^[0-9]{1,9}\\.dt$");
    return pattern.match(name).hasMatch();
}

bool ParseSamples(const QByteArray& bytes, const TestFileHeader& header, int readerType,
                  PulseStream& samples, QString* error) {
    samples.clear();
    const qint64 size = bytes.size();
    if (header.sampleOffset < kHeadSize || header.sampleOffset > size)
        return fail(error, QString("sample offset %1 lies outside the file (%2 bytes)")
                               .arg(header.sampleOffset)
                               .arg(size));
    const qint64 block = size - header.sampleOffset - TrailerLength(header, readerType);
    if (block < 0)
        return fail(error, QString("the file is too short for its trailer (%1 bytes)").arg(size));
    const qint64 count = block / 8;
    samples.reserve(std::size_t(count));
    const char* p = bytes.constData() + header.sampleOffset;
    for (qint64 i = 0; i < count; ++i)
        samples.push_back(RecordCodec::DecodeSample(p + 8 * i));
    return true;
}

bool ParseTestFile(const QByteArray& bytes, TestFile& file, QString* error) {
    file = TestFile{};
    if (!parseHead(bytes, file.header, file.record, error))
        return false;
    const ManeuverResult& r = file.record;
    if (r.ExpCount < 0 || r.InspCount < 0)
        return fail(error, "the record holds a negative sample count");
    if (!ParseSamples(bytes, file.header, file.header.testType, file.samples, error))
        return false;
    const qint64 counted = qint64(r.ExpCount) + r.InspCount;
    const qint64 held = qint64(file.samples.size());
    // An FVC file holds exactly its manoeuvre's samples; VC and MVV files the
    // whole stream, of which the first record is only the start.
    if (file.header.testType == kTestFvc ? counted != held : counted > held)
        return fail(
            error,
            QString("the record counts %1 samples but the file holds %2").arg(counted).arg(held));
    if (file.header.testType == kTestFvc && file.header.trailerFlag != 0)
        file.acceptance =
            RecordCodec::DecodeAcceptance(bytes.constData() + bytes.size() - kAcceptanceSize);
    return true;
}

bool ReadTestFile(const QString& path, TestFile& file, QString* error) {
    file = TestFile{};
    QByteArray bytes;
    if (!readFile(path, bytes, error))
        return false;
    return ParseTestFile(bytes, file, error);
}
