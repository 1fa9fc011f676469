#pragma once
// One GDT record (one file): lines of "lll" + "ffff" + content + CR LF, where
// lll counts the bytes of the whole line. The reader takes a file apart or
// refuses it with the number of the line at fault; the writer builds the bytes
// with every length and the record length (8100) computed.
#include "core/exchange/gdt_charset.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace GdtField {
// Field numbers used here (header, patient, examination, results).
inline constexpr int kRecordType = 8000;
inline constexpr int kRecordLength = 8100;
inline constexpr int kReceiverId = 8315;
inline constexpr int kSenderId = 8316;
inline constexpr int kCharset = 9206;
inline constexpr int kVersion = 9218;
inline constexpr int kPatientNumber = 3000;
inline constexpr int kSurname = 3101;
inline constexpr int kFirstName = 3102;
inline constexpr int kBirthDate = 3103;
inline constexpr int kSex = 3110;
inline constexpr int kHeight = 3622;
inline constexpr int kWeight = 3623;
inline constexpr int kExamDate = 6200;
inline constexpr int kExamTime = 6201;
inline constexpr int kFindings = 6220;
inline constexpr int kComment = 6227;
inline constexpr int kFileFormat = 6303;
inline constexpr int kFileDescription = 6304;
inline constexpr int kFileReference = 6305;
inline constexpr int kDeviceProcedure = 8402;
inline constexpr int kTestId = 8410;
inline constexpr int kTestName = 8411;
inline constexpr int kResultValue = 8420;
inline constexpr int kResultUnit = 8421;
inline constexpr int kResultText = 8480;
} // namespace GdtField

namespace GdtRecordType {
inline constexpr char kRequestMasterData[] = "6300";
inline constexpr char kSendMasterData[] = "6301";
inline constexpr char kNewExamination[] = "6302";
inline constexpr char kExaminationData[] = "6310";
inline constexpr char kShowExamination[] = "6311";
} // namespace GdtRecordType

inline constexpr char kGdtVersion21[] = "02.10";
inline constexpr char kGdtVersion30[] = "03.00";

struct GdtLine {
    int field = 0;
    QString value;
    int line = 0; // 1 first; 0 for a line not read from a file
};

struct GdtRecord {
    QString recordType;
    QString version = kGdtVersion21;
    GdtCharset charset = GdtCharset::Cp437;
    std::vector<GdtLine> lines; // every line but 8000, 8100, 9206 and 9218

    // The first line of `field`, or null.
    const GdtLine* Find(int field) const;
    QString Value(int field) const;
    void Add(int field, const QString& value) { lines.push_back({field, value, 0}); }
    bool IsVersion30() const { return version.startsWith("03"); }
};

// Takes a whole file apart. False with "line N: what is wrong" in `error` for a
// line whose length does not match its bytes, a missing CR LF, a field number
// that is not four digits or not one of GDT, a record that does not start with
// 8000, a 9206 that names no known set or a byte outside the declared set, a
// record length (8100) that differs from the file, a second 8100, 9206 or
// 9218, or a file that ends inside a line.
bool ParseGdt(const QByteArray& bytes, GdtRecord& record, QString* error = nullptr);

// The bytes of a record: 8000, 8100, 9218, 9206 (left out for ISO 8859-15,
// the set a 3.0 file without it has), then the lines.
// False when a value holds a line break, a character outside the record's set,
// or is too long for a three-digit line length.
bool SerializeGdt(const GdtRecord& record, QByteArray& bytes, QString* error = nullptr);
