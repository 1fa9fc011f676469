// The diagnosis reader on arbitrary bytes, and the dialog's rules on what it read.
#include "fuzz_file.h"

#include "core/records/diagnosis.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = FuzzFile(data, size, "2026-01-01.dia");
    DiagnosisRecord record;
    LoadDiagnosis(path, record);
    if (record.Physician.size() > 2 * kPhysicianLength)
        std::abort(); // the physician's field is cut to its limit
    QString out;
    AppendDiagnosisPhrases(record.Result, {record.Physician}, out);
    return 0;
}
