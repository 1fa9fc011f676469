// tavctl analyze FILE.dt: a test file taken apart, as JSON.
#include "cli_context.h"
#include "commands.h"
#include "device_json.h"
#include "json_out.h"

#include "core/measure/record_codec.h"
#include "core/measure/test_file_reader.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonObject headerJson(const TestFileHeader& h) {
    QJsonObject json;
    json["magic"] = QString::fromLatin1(RecordCodec::Text(h.magic, sizeof h.magic));
    json["version"] = QString::fromLatin1(RecordCodec::Text(h.version, sizeof h.version));
    json["trailerFlag"] = h.trailerFlag;
    json["sampleOffset"] = h.sampleOffset;
    json["testType"] = h.testType;
    json["expCoefficient"] = h.expCoefficient;
    json["inspCoefficient"] = h.inspCoefficient;
    json["temperature"] = h.temperature;
    json["deviceId"] = QString::fromLatin1(RecordCodec::Text(h.deviceId, sizeof h.deviceId));
    json["testTime"] = QString::fromLatin1(RecordCodec::Text(h.testTime, sizeof h.testTime));
    json["dataName"] = QString::fromLatin1(RecordCodec::Text(h.dataName, sizeof h.dataName));
    return json;
}

} // namespace

int CmdAnalyze(CliContext&, QStringList& args) {
    if (args.size() != 1)
        return CliContext::Fail("usage: tavctl analyze FILE.dt");
    TestFile file;
    QString error;
    if (!ReadTestFile(args[0], file, &error))
        return CliContext::Fail(args[0] + ": " + error);
    QJsonObject json;
    json["header"] = headerJson(file.header);
    json["record"] = ManeuverJson(file.record);
    json["acceptance"] = AcceptanceJson(file.acceptance);
    json["samples"] = qint64(file.samples.size());
    PrintJson(json);
    return 0;
}
