#pragma once
// Writing a report as a PDF file: real text with embedded fonts and vector
// curves, painted by the same page routine as the screen and the printer.
#include <QString>

#include <functional>

class QPainter;
class QRectF;
struct ReportData;

// The holder of the output path and of the document metadata of a PDF.
struct PdfPrinterSettings {
    QString output; // the file to write
    QString author = "velmar";
    QString title;
    QString subject;
    QString keywords;
    int resolution = 600; // dots per inch of the page coordinates

    // Sets the output path.
    void SetOutput(const QString& path) { output = path; }
};

// Paints page `page` (1 first) into `pageRect`.
using PagePainter = std::function<void(QPainter& painter, const QRectF& pageRect, int page)>;

// Writes `pageCount` A4 pages. The new file replaces an existing one only once
// it is complete on disk; until then the old file stays. False (with `error`)
// when the new file cannot be written, or when the output path names something
// other than a regular file (a folder, a link, a device), which is never touched.
bool WritePdf(const PdfPrinterSettings& settings, int pageCount, const PagePainter& paint,
              QString* error = nullptr);

// The day's report (every page of its plan).
bool WriteReportPdf(const ReportData& data, const PdfPrinterSettings& settings,
                    QString* error = nullptr);
// The same report as PDF bytes (for files that carry it: FHIR, GDT, HL7,
// DICOM, the signed version); false with `error` when it cannot be made.
bool ReportPdfBytes(const ReportData& data, QByteArray& pdf, QString* error = nullptr);
