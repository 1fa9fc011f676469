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

// Writes `pageCount` A4 pages. An existing file at the output path is deleted
// first, so an old file never passes for the new one. False (with `error`)
// when the old file cannot be removed or the new one cannot be written.
bool WritePdf(const PdfPrinterSettings& settings, int pageCount, const PagePainter& paint,
              QString* error = nullptr);

// The day's report (every page of its plan).
bool WriteReportPdf(const ReportData& data, const PdfPrinterSettings& settings,
                    QString* error = nullptr);
