// The header-only test-file paths (case services, trend curves, case lists)
// on arbitrary bytes under a test file's name.
#include "fuzz_file.h"

#include "core/measure/test_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = FuzzFile(data, size, "1.dt");
    TestFileHeader header;
    ManeuverResult record;
    QString error;
    ReadTestHead(path, header, record, &error);
    CaseHeaderList lists;
    for (int type : {kTestFvc, kTestVc, kTestMvv})
        LoadCaseHeader(FuzzFolder(), "1.dt", type, lists);
    if (lists.Count() > 1)
        std::abort(); // one file is one test of one type
    return 0;
}
