#include "test_file_writer.h"

int NextTestNumber(const QString&) { return 1; }
TestFileHeader MakeHeader(const SaveContext&, const QString&, const QString&) { return {}; }
SaveResult SaveTest(int, MeasurementStore&, const SaveContext&, Database&) { return {}; }
QByteArray BuildTestFile(const TestFileHeader&, const ManeuverResult&, const PulseSample*, int, const QByteArray&)
{
    return {};
}
