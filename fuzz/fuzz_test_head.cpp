// The header-only test-file path (the case store's day lists, moving a
// folder between databases) on arbitrary bytes.
#include "core/measure/test_file_reader.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TestFileHeader header;
    ManeuverResult record;
    QString error;
    if (ParseTestHead(bytes, header, record, &error) &&
        (header.testType < kTestFvc || header.testType > kTestMvv))
        std::abort(); // a head is only taken for a test type there is
    return 0;
}
