#include "core/report/pdf_export.h"

#include "core/report/report_data.h"
#include "core/report/pdf_text_map.h"
#include "core/report/report_page.h"

#include "core/app/durable_file.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {

QString escapeXml(const QString& text)
{
    return text.toHtmlEscaped();
}

// Author, subject and keywords go into the document's XMP packet (the writer
// has no fields of its own for them).
QByteArray xmpMetadata(const PdfPrinterSettings& s)
{
    QString xmp = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
                  "<x:xmpmeta xmlns:x='adobe:ns:meta/'>"
                  "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                  "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/' "
                  "xmlns:pdf='http://ns.adobe.com/pdf/1.3/'>";
    xmp += "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>" + escapeXml(s.title) +
           "</rdf:li></rdf:Alt></dc:title>";
    xmp +=
        "<dc:creator><rdf:Seq><rdf:li>" + escapeXml(s.author) + "</rdf:li></rdf:Seq></dc:creator>";
    xmp += "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>" + escapeXml(s.subject) +
           "</rdf:li></rdf:Alt></dc:description>";
    xmp += "<pdf:Keywords>" + escapeXml(s.keywords) + "</pdf:Keywords>";
    xmp += "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
    return xmp.toUtf8();
}

} // namespace

namespace {

// The document, made in memory with its text map mended.
bool renderPdf(const PdfPrinterSettings& settings, int pageCount, const PagePainter& paint,
               QByteArray& pdf, QString* error)
{
    if (pageCount < 1) {
        if (error)
            *error = "nothing to write";
        return false;
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(settings.resolution);
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        writer.setTitle(settings.title);
        writer.setCreator(settings.author);
        writer.setDocumentXmpMetadata(xmpMetadata(settings));
        QPainter painter;
        if (!painter.begin(&writer)) {
            if (error)
                *error = "cannot start the PDF writer";
            return false;
        }
        const QRectF page(QPointF(0, 0), QSizeF(writer.width(), writer.height()));
        for (int i = 1; i <= pageCount; ++i) {
            if (i > 1)
                writer.newPage();
            paint(painter, page, i);
        }
        painter.end();
    }
    pdf = MendPdfTextMap(buffer.data());
    return true;
}

PagePainter reportPainter(const ReportData& data)
{
    return [&data](QPainter& painter, const QRectF& page, int number) {
        PaintReportPage(painter, page, data, number);
    };
}

} // namespace

bool WritePdf(const PdfPrinterSettings& settings, int pageCount, const PagePainter& paint,
              QString* error)
{
    auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (settings.output.isEmpty())
        return fail("no output file");
    const QFileInfo target(settings.output);
    if ((target.exists() || target.isSymLink()) && (!target.isFile() || target.isSymLink()))
        return fail(settings.output + " is not a regular file; it is left as it is");
    // The document is made in memory, then replaces the old file in one step:
    // a report that fails or is killed half-way leaves the previous one as it was.
    QByteArray pdf;
    if (!renderPdf(settings, pageCount, paint, pdf, error))
        return false;
    return DurableFile::Write(settings.output, pdf, error);
}

bool WriteReportPdf(const ReportData& data, const PdfPrinterSettings& settings, QString* error)
{
    return WritePdf(settings, ReportPageCount(data), reportPainter(data), error);
}

bool ReportPdfBytes(const ReportData& data, QByteArray& pdf, QString* error)
{
    PdfPrinterSettings settings;
    settings.title = ReportTitle();
    settings.subject = data.patient.Name + " " + data.day;
    return renderPdf(settings, ReportPageCount(data), reportPainter(data), pdf, error);
}
