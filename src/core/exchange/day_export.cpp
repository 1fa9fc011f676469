#include "core/exchange/day_export.h"

#include "core/app/durable_file.h"
#include "core/exchange/day_results.h"
#include "core/exchange/fhir_bundle.h"
#include "core/exchange/gdt_exchange.h"
#include "core/report/pdf_export.h"
#include "core/report/report_data.h"
#include "core/report/report_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

bool WriteDayReportPdf(Database& db, int patientId, const QString& day, const QString& path,
                       QString* error)
{
    ReportData data;
    if (!LoadReportData(db, patientId, day, data))
        return fail(error, "the report data cannot be loaded");
    // The writer replaces the file durably in one step: whole or not at all.
    PdfPrinterSettings settings;
    settings.SetOutput(path);
    settings.title = ReportTitle();
    settings.subject = data.patient.Name + " " + day;
    QString reason;
    if (!WriteReportPdf(data, settings, &reason))
        return fail(error, "the PDF report cannot be written: " + reason);
    return true;
}

bool ExportDayFhir(Database& db, int patientId, const QString& day, const QString& path,
                   bool demoMode, DayExportSummary* summary, QString* error)
{
    DayResults results;
    if (!CollectDayResults(db, patientId, day, results, error))
        return false;
    ReportData report;
    FhirExportOptions options;
    if (!LoadReportData(db, patientId, day, report))
        return fail(error, "the report data cannot be loaded");
    if (!ReportPdfBytes(report, options.reportPdf, error))
        return false;
    options.demoMode = demoMode;
    const QJsonObject bundle = BuildFhirBundle(results, options);
    if (!DurableFile::Write(path, QJsonDocument(bundle).toJson(QJsonDocument::Indented), error))
        return false;
    if (summary) {
        summary->file = QFileInfo(path).absoluteFilePath();
        summary->bundle = bundle["id"].toString();
        summary->resources = int(bundle["entry"].toArray().size());
        summary->values = int(results.values.size());
    }
    return true;
}

bool ExportDayGdt(Database& db, int patientId, const QString& day, const ExchangeSettings& settings,
                  const QString& path, bool withPdf, DayExportSummary* summary, QString* error)
{
    QString out = path;
    if (out.isEmpty()) {
        if (settings.gdtFolder.isEmpty() || !QFileInfo(settings.gdtFolder).isDir())
            return fail(error, "no GDT exchange folder is set, or it does not exist: " + settings.gdtFolder);
        out = QDir(settings.gdtFolder).filePath(settings.ResultFileName());
    }
    DayResults results;
    if (!CollectDayResults(db, patientId, day, results, error))
        return false;
    QString pdfPath;
    if (withPdf) {
        // The report is whole on disk before the result file names it.
        const QString number = FhirResourceId("n", {results.patient.PatientNumber}).mid(2);
        pdfPath = QFileInfo(out).absoluteDir().filePath(
            QString("%1_%2.pdf").arg(number, QString(day).remove('-')));
        if (!WriteDayReportPdf(db, patientId, day, pdfPath, error))
            return false;
    }
    if (!WriteGdtFile(BuildGdtResult(results, settings, pdfPath), out, error))
        return false;
    if (summary) {
        summary->file = QFileInfo(out).absoluteFilePath();
        summary->pdf = pdfPath;
        summary->values = int(results.values.size());
    }
    return true;
}
