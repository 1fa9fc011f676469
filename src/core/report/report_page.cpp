#include "core/report/report_page.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/report/clinical_summary.h"
#include "core/report/curve_plot.h"
#include "core/report/quality_statement.h"
#include "core/report/report_fonts.h"
#include "core/report/result_tables.h"

#include <QFont>
#include <QPainter>

namespace {

constexpr double kMargin = 60.0;
constexpr double kRowHeight = 21.0;
constexpr double kGap = 18.0;

// Lays the blocks of one page out from top to bottom on the 1000-unit sheet.
class PageWriter {
  public:
    PageWriter(QPainter& painter, double height, const ReportData& data)
        : m_painter(painter), m_height(height), m_data(data)
    {
    }

    void Write(const std::vector<ReportBlock>& blocks, int page, int pageCount)
    {
        writeRunningHeader();
        for (ReportBlock block : blocks)
            writeBlock(block);
        text(QRectF(kMargin, m_height - 40, width(), 20), Qt::AlignRight | Qt::AlignVCenter,
             GetLangText("REPORT", 2334).arg(page).arg(pageCount), 10);
    }

  private:
    double width() const { return kReportSheetWidth - 2 * kMargin; }

    void setFont(double size, bool bold)
    {
        m_painter.setFont(ReportFont(int(size), bold));
    }

    void text(const QRectF& box, int flags, const QString& s, double size, bool bold = false)
    {
        setFont(size, bold);
        m_painter.setPen(Qt::black);
        m_painter.drawText(box, flags, s);
    }

    void line(double y)
    {
        QPen pen(Qt::black);
        pen.setWidthF(1.0);
        m_painter.setPen(pen);
        m_painter.drawLine(QPointF(kMargin, y), QPointF(kMargin + width(), y));
    }

    // Name, number and day at the top of every page, so a loose page finds its file.
    void writeRunningHeader()
    {
        const PatientRecord& p = m_data.patient;
        const QRectF band(kMargin, 18, width(), 18);
        text(band, Qt::AlignLeft | Qt::AlignVCenter,
             GetLangText("CASE", 105) + ' ' + p.Name + "    " + GetLangText("CASE", 104) + ' ' +
                 p.PatientNumber,
             10);
        text(band, Qt::AlignRight | Qt::AlignVCenter, m_data.day, 10);
        line(band.bottom() + 3);
        m_y = 50;
    }

    void writeBlock(ReportBlock block)
    {
        switch (block) {
        case ReportBlock::Title:
            text(QRectF(kMargin, m_y, width(), 44), Qt::AlignCenter, ReportTitle(), 26, true);
            m_y += 52;
            break;
        case ReportBlock::Header:
            text(QRectF(kMargin, m_y, width(), 24), Qt::AlignLeft | Qt::AlignVCenter,
                 GetLangText("REPORT", 185) + ' ' + m_data.day, 14);
            m_y += 28;
            line(m_y);
            m_y += 10;
            break;
        case ReportBlock::Patient:
            writePatient();
            break;
        case ReportBlock::FvcTables:
            writeFvcTables();
            break;
        case ReportBlock::FvcCurves:
            writeFvcCurves();
            break;
        case ReportBlock::VcTable: {
            const ManeuverList records = RecordsOf(m_data.vc);
            const int best = BestVcIndex(records);
            if (best >= 0)
                writeTable(VcReportTable(records[std::size_t(best)], best, m_data.predicted));
            break;
        }
        case ReportBlock::VcCurve:
            writeCurve(kCurveVcResult, m_data.vc, BestVcIndex(RecordsOf(m_data.vc)), "VC", 330);
            break;
        case ReportBlock::MvvTable: {
            const ManeuverList records = RecordsOf(m_data.mvv);
            const int best = BestMvvIndex(records);
            if (best >= 0)
                writeTable(MvvReportTable(records[std::size_t(best)], best, m_data.predicted));
            break;
        }
        case ReportBlock::MvvCurve:
            writeCurve(kCurveMvvResult, m_data.mvv, BestMvvIndex(RecordsOf(m_data.mvv)), "MVV",
                       300);
            break;
        case ReportBlock::Diagnosis:
            writeDiagnosis();
            break;
        case ReportBlock::Clinical:
            writeClinical();
            break;
        }
    }

    void writePatient()
    {
        const PatientRecord& p = m_data.patient;
        const QString gender = GetLangText("CASE", p.Gender == 1 ? 123 : 122);
        const QString cells[8] = {
            GetLangText("CASE", 104) + ' ' + p.PatientNumber,
            GetLangText("CASE", 105) + ' ' + p.Name,
            GetLangText("CASE", 106) + ' ' + gender,
            GetLangText("CASE", 107) + ' ' + QString::number(p.Age),
            GetLangText("CASE", 108) + ' ' + QString::number(p.Height) + ' ' +
                GetLangText("CASE", 113),
            GetLangText("CASE", 109) + ' ' + QString::number(p.Weight) + ' ' +
                GetLangText("CASE", 114),
            GetLangText("CASE", 110) + ' ' + m_data.nationName,
            GetLangText("REPORT", 2330) + ' ' + p.Birthdate.toString("yyyy-MM-dd"),
        };
        const double columns[4] = {0.0, 0.22, 0.58, 0.78};
        for (int i = 0; i < 8; ++i) {
            const int row = i / 4, column = i % 4;
            const double left = kMargin + columns[column] * width();
            const double right =
                column < 3 ? kMargin + columns[column + 1] * width() : kMargin + width();
            text(QRectF(left, m_y + row * 24, right - left - 6, 24),
                 Qt::AlignLeft | Qt::AlignVCenter, cells[i], 13);
        }
        m_y += 2 * 24;
        const QString details[3] = {
            GetLangText("REPORT", 2331) + ' ' + m_data.day + ' ' + m_data.testTimes,
            GetLangText("REPORT", 2332) + ' ' + m_data.equations,
            GetLangText("REPORT", 2333).arg(m_data.temperature),
        };
        for (const QString& detail : details) {
            text(QRectF(kMargin, m_y, width(), 22), Qt::AlignLeft | Qt::AlignVCenter, detail, 12);
            m_y += 22;
        }
        m_y += 6;
        line(m_y);
        m_y += kGap;
    }

    // Title row, header row and one row per parameter, with cell borders.
    void writeTable(const ReportTable& table)
    {
        static const double shares[5] = {0.24, 0.16, 0.20, 0.20, 0.20};
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             table.title, 15, true);
        m_y += kRowHeight + 6;
        auto row = [&](const QStringList& cells, bool header) {
            double x = kMargin;
            if (header)
                m_painter.fillRect(QRectF(kMargin, m_y, width(), kRowHeight),
                                   QColor(0xE8, 0xE8, 0xE8));
            for (int c = 0; c < 5; ++c) {
                const double w = shares[c] * width();
                const QRectF cell(x, m_y, w, kRowHeight);
                QPen pen(QColor(0x90, 0x90, 0x90));
                pen.setWidthF(0.8);
                m_painter.setPen(pen);
                m_painter.drawRect(cell);
                const int flags = (c == 0 ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter;
                text(cell.adjusted(6, 0, -6, 0), flags,
                     c < cells.size() ? cells[c].trimmed() : QString(), 12, header);
                x += w;
            }
            m_y += kRowHeight;
        };
        row(table.headers, true);
        for (const QStringList& cells : table.rows)
            row(cells, false);
        m_y += kGap;
    }

    void writeFvcTables()
    {
        const FvcBest best = ComputeFvcBest(RecordsOf(m_data.fvc));
        writeTable(FvcBestTable(best, m_data.predicted));
        writeTable(FvcBestLoopTable(best, m_data.predicted));
        writeQuality(DayQualityStatement(kTestFvc, m_data.fvc, best.bestIndex));
    }

    void writeQuality(const QualityStatement& quality)
    {
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             GetLangText("CASE", 2316), 15, true);
        m_y += kRowHeight + 6;
        for (const QString& sentence : {GetLangText("CASE", 2317) + ' ' + quality.test,
                                    GetLangText("CASE", 2318) + ' ' + quality.day}) {
            const QRectF box(kMargin + 10, m_y, width() - 20, 40);
            setFont(12, false);
            const QRectF used = m_painter.boundingRect(box, Qt::TextWordWrap, sentence);
            text(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, sentence, 12);
            m_y += used.height() + 4;
        }
        m_y += kGap;
    }

    StoredPlotOptions options(int shown, bool predicted) const
    {
        StoredPlotOptions o;
        o.singleLoop = m_data.singleLoop;
        o.shownIndex = shown;
        o.predicted = predicted ? &m_data.predicted : nullptr;
        o.predictedStyle = Settings().predicted;
        o.fontSize = 11;
        return o;
    }

    void writeFvcCurves()
    {
        const int best = BestTestIndex(kTestFvc, RecordsOf(m_data.fvc));
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             "FVC " + GetLangText("CASE", 1221), 15, true);
        m_y += kRowHeight + 6;
        const double w = (width() - 20) / 2;
        CurvePlot flowVolume(kCurveFvcResult);
        flowVolume.DrawStored(m_painter, QRectF(kMargin, m_y, w, 400), m_data.fvc,
                              options(best, true));
        CurvePlot volumeTime(kCurveFvcResult);
        volumeTime.SetView(CurveView::VolumeTime);
        volumeTime.DrawStored(m_painter, QRectF(kMargin + w + 20, m_y, w, 400), m_data.fvc,
                              options(best, true));
        m_y += 400 + kGap;
    }

    void writeCurve(int kind, const DayTestList& tests, int best, const char* name, double height)
    {
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             QString(name) + ' ' + GetLangText("CASE", 1221), 15, true);
        m_y += kRowHeight + 6;
        CurvePlot plot(kind);
        plot.DrawStored(m_painter, QRectF(kMargin, m_y, width(), height), tests,
                        options(best, false));
        m_y += height + kGap;
    }

    void writeDiagnosis()
    {
        line(m_y);
        m_y += 8;
        text(QRectF(kMargin, m_y, width(), 26), Qt::AlignLeft | Qt::AlignVCenter,
             GetLangText("REPORT", 184), 16, true);
        m_y += 30;
        const double bottom = std::max(m_y + 80, m_height - 90);
        text(QRectF(kMargin + 10, m_y, width() - 20, bottom - m_y),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, m_data.diagnosis.Result, 13);
        m_y = bottom;
        const QDateTime& date = m_data.diagnosis.Date;
        text(QRectF(kMargin, m_y, width(), 24), Qt::AlignRight | Qt::AlignVCenter,
             GetLangText("REPORT", 186) + ' ' + m_data.diagnosis.Physician + "    " +
                 GetLangText("REPORT", 2338) + ' ' +
                 (date.isValid() ? date.toString("yyyy-MM-dd HH:mm") : QString()),
             13);
        m_y += 30;
    }

    void writeClinical()
    {
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             GetLangText("CLINICAL", 2588), 15, true);
        m_y += kRowHeight + 10;
        setFont(11, false);
        m_painter.setPen(Qt::black);
        m_y += PaintClinicalSummary(m_painter, QRectF(kMargin, m_y, width(), 300),
                                    BuildClinicalSummary(m_data.sessions));
        m_y += kGap;
        setFont(10, false);
        m_y += PaintManeuverTable(m_painter, QRectF(kMargin, m_y, width(), m_height - 60 - m_y),
                                  m_data.sessions);
    }

    QPainter& m_painter;
    double m_height;
    const ReportData& m_data;
    double m_y = 50;
};

} // namespace

QString ReportTitle()
{
    // One blank between hospital and title in every language: run together,
    // a Chinese hospital name cannot be told from the title.
    const QString title = GetLangText("REPORT", 102);
    return Settings().hospital.isEmpty() ? title : Settings().hospital + ' ' + title;
}

void PaintReportPage(QPainter& painter, const QRectF& pageRect, const ReportData& data, int page)
{
    if (pageRect.width() <= 0 || pageRect.height() <= 0)
        return;
    painter.save();
    painter.translate(pageRect.topLeft());
    const double scale = pageRect.width() / kReportSheetWidth;
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    PageWriter writer(painter, pageRect.height() / scale, data);
    writer.Write(ReportPageBlocks(data.HasFvc(), data.HasVc(), data.HasMvv(), page), page,
                 ReportPageCount(data));
    painter.restore();
}
