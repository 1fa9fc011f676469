// tavctl analyze FILE.dt | --patient ID N.dt: a test file taken apart, as JSON;
// with --patient the stored test of that patient (a file or a server row).
#include "cli_context.h"
#include "commands.h"
#include "device_json.h"
#include "json_out.h"

#include "core/measure/record_codec.h"
#include "core/measure/test_file_reader.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"

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

int CmdAnalyze(CliContext& context, QStringList& args) {
    bool stored = false;
    const QString patient = CliContext::TakeOption(args, "--patient", &stored);
    if (args.size() != 1)
        return CliContext::Fail("usage: tavctl analyze FILE.dt | --patient ID N.dt");
    TestFile file;
    QString error;
    if (stored) {
        bool ok = false;
        const int id = patient.toInt(&ok);
        if (!ok || id < 1 || !IsTestFileName(args[0]))
            return CliContext::Fail("usage: tavctl analyze --patient ID N.dt");
        if (!context.OpenDatabase())
            return 2;
        QByteArray bytes;
        if (!context.Db().Files().Read(id, args[0], bytes))
            return CliContext::Fail(QString("%1/%2 is not stored").arg(id).arg(args[0]));
        if (!ParseTestFile(bytes, file, &error))
            return CliContext::Fail(args[0] + ": " + error);
    } else if (!ReadTestFile(args[0], file, &error)) {
        return CliContext::Fail(args[0] + ": " + error);
    }
    QJsonObject json;
    json["header"] = headerJson(file.header);
    json["record"] = ManeuverJson(file.record);
    json["acceptance"] = AcceptanceJson(file.acceptance);
    json["samples"] = qint64(file.samples.size());
    PrintJson(json);
    return 0;
}
