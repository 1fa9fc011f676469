// tavctl report: the day's report, or a trend report, written as PDF with the
// same painters as the print preview.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/accounts/day_signoff.h"
#include "core/app/durable_file.h"
#include "core/app/lang_text.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/report/pdf_export.h"
#include "core/report/report_data.h"
#include "core/report/report_page.h"
#include "core/report/trend_series.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QPainter>

namespace {

int testTypeFromName(const QString& name)
{
    const QString key = name.toLower();
    return key == "fvc" ? kTestFvc : key == "vc" ? kTestVc : key == "mvv" ? kTestMvv : -1;
}

int writeTrend(Database& db, int patientId, const QString& parameterName, const QString& typeName,
               const QString& out)
{
    const int parameter = TrendParameterFromName(parameterName);
    if (parameter < 0)
        return CliContext::Fail("--trend takes fvc, fev1, pef, fef25, fef75 or fef2575: " +
                                parameterName);
    const int testType = typeName.isEmpty() ? kTestFvc : testTypeFromName(typeName);
    if (testType < 0)
        return CliContext::Fail("--type takes fvc, vc or mvv: " + typeName);
    PatientRecord patient;
    if (!LoadPatient(db, patientId, patient))
        return CliContext::Fail(QString("no patient with ID %1").arg(patientId));

    TrendReport report;
    report.patientName = patient.Name;
    report.patientNumber = patient.PatientNumber;
    report.testType = testType;
    report.series = MakeTrendSeries(LoadTrendTests(db, patientId, testType), parameter);

    PdfPrinterSettings settings;
    settings.SetOutput(out);
    settings.title = GetLangText("TREND CURVE", 176) + " " + TrendParameterName(parameter);
    QString error;
    if (!WritePdf(
            settings, 1,
            [&](QPainter& p, const QRectF& page, int) { PaintTrendPage(p, page, report); }, &error))
        return CliContext::Fail(error);
    QJsonObject json;
    json["out"] = QFileInfo(out).absoluteFilePath();
    json["pages"] = 1;
    json["parameter"] = TrendParameterName(parameter);
    json["points"] = int(report.series.points.size());
    PrintJson(json);
    return 0;
}

} // namespace

int CmdReport(CliContext& context, QStringList& args)
{
    bool hasPatient = false, hasTrend = false;
    const QString patientText = CliContext::TakeOption(args, "--patient", &hasPatient);
    const QString day = CliContext::TakeOption(args, "--day");
    const QString out = CliContext::TakeOption(args, "--out");
    const QString trend = CliContext::TakeOption(args, "--trend", &hasTrend);
    const QString type = CliContext::TakeOption(args, "--type");
    bool hasVersion = false;
    const QString versionText = CliContext::TakeOption(args, "--version", &hasVersion);
    if (!args.isEmpty() || !hasPatient || out.isEmpty() || (!hasTrend && day.isEmpty()))
        return CliContext::Fail("usage: tavctl report --patient ID (--day YYYY-MM-DD | --trend "
                                "PARAM [--type fvc|vc|mvv]) "
                                "--out FILE.pdf [--version N]");
    bool ok = false;
    const int patientId = patientText.toInt(&ok);
    if (!ok || patientId < 1)
        return CliContext::Fail("--patient takes a patient ID: " + patientText);
    if (!context.OpenDatabase())
        return 2;
    Database& db = context.Db();
    if (hasTrend)
        return writeTrend(db, patientId, trend, type, out);

    // A signed day's report is the one signed: the stored PDF of the asked or
    // the newest signed version, byte for byte.
    DaySignOff signoff(db);
    const int version = hasVersion ? versionText.toInt(&ok) : signoff.LatestSigned(patientId, day);
    if (hasVersion && (!ok || version < 1))
        return CliContext::Fail("--version takes a version number: " + versionText);
    if (version > 0 && (hasVersion || !signoff.FrozenRefusal(patientId, day).isEmpty())) {
        QString error;
        const QByteArray pdf = signoff.SignedReport(patientId, day, version, &error);
        if (pdf.isEmpty())
            return CliContext::Fail(error, 1);
        if (!DurableFile::Write(out, pdf, &error))
            return CliContext::Fail("cannot write " + out + ": " + error, 1);
        PrintJson(QJsonObject{
            {"out", QFileInfo(out).absoluteFilePath()}, {"version", version}, {"signed", true}});
        return 0;
    }

    ReportData data;
    if (!LoadReportData(db, patientId, day, data))
        return CliContext::Fail(QString("no patient with ID %1, or the day is not YYYY-MM-DD: %2")
                                    .arg(patientId)
                                    .arg(day));
    if (!data.HasTests())
        return CliContext::Fail("There is no case! (no tests on " + day + ")");
    PdfPrinterSettings settings;
    settings.SetOutput(out);
    settings.title = ReportTitle();
    settings.subject = data.patient.Name + " " + day;
    QString error;
    if (!WriteReportPdf(data, settings, &error))
        return CliContext::Fail(error);
    QJsonObject json;
    json["out"] = QFileInfo(out).absoluteFilePath();
    json["pages"] = ReportPageCount(data);
    json["fvc"] = int(data.fvc().size());
    json["vc"] = int(data.vc().size());
    json["mvv"] = int(data.mvv().size());
    PrintJson(json);
    return 0;
}
