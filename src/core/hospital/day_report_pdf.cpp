#include "core/hospital/day_report_pdf.h"

#include "core/report/pdf_export.h"
#include "core/report/report_data.h"
#include "core/report/report_page.h"

#include <QFile>
#include <QTemporaryDir>

bool DayReportPdf(const ReportData& data, QByteArray& pdf, QString* error)
{
    QTemporaryDir scratch;
    PdfPrinterSettings settings;
    settings.SetOutput(scratch.filePath("report.pdf"));
    settings.title = ReportTitle();
    settings.subject = data.patient.Name + " " + data.day;
    QString reason;
    if (!scratch.isValid() || !WriteReportPdf(data, settings, &reason)) {
        if (error)
            *error = "the PDF report cannot be written: " + reason;
        return false;
    }
    QFile file(scratch.filePath("report.pdf"));
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = "the PDF report cannot be read back: " + file.errorString();
        return false;
    }
    pdf = file.readAll();
    return !pdf.isEmpty();
}
