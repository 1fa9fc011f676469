#include "core/report/report_page.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/report/clinical_summary.h"
#include "core/report/curve_plot.h"
#include "core/report/quality_statement.h"
#include "core/report/report_fonts.h"
#include "core/report/result_tables.h"
#include "core/clinical/gli_patient.h"
#include "core/measure/test_store.h"

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
        case ReportBlock::VcTable:
            writeTable(VcReportTable(m_data.result));
            break;
        case ReportBlock::VcCurve:
            writeCurve(kCurveVcResult, m_data.vc(), m_data.result.vcResult.bestTest, "VC", 330);
            break;
        case ReportBlock::MvvTable:
            writeTable(MvvReportTable(m_data.result));
            break;
        case ReportBlock::MvvCurve:
            writeCurve(kCurveMvvResult, m_data.mvv(), m_data.result.mvvResult.bestTest, "MVV", 300);
            break;
        case ReportBlock::Signature:
            writeSignature();
            break;
        case ReportBlock::FvcLoopTable:
            writeTable(FvcBestLoopTable(m_data.result));
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
        const DayResult& day = m_data.result;
        const QString gender = GetLangText("CASE", p.Gender == 1 ? 123 : 122);
        // The group the set's equations take: the GLI-2012 ethnic group, the
        // nation group's correction for the older sets, none for GLI Global 2022.
        QString group;
        if (day.standard == kStandardGli2012)
            group = GetLangText("CLINICAL", 2563) + ' ' + GetLangText("CLINICAL", 2563 + day.subject.ethnic);
        else if (!day.set && !m_data.nationName.isEmpty())
            group = GetLangText("CASE", 110) + ' ' + m_data.nationName;
        const QString cells[8] = {
            GetLangText("CASE", 104) + ' ' + p.PatientNumber,
            GetLangText("CASE", 105) + ' ' + p.Name,
            GetLangText("CASE", 106) + ' ' + gender,
            GetLangText("CASE", 107) + ' ' + QString::number(p.Age),
            GetLangText("CASE", 108) + ' ' + QString::number(p.Height) + ' ' +
                GetLangText("CASE", 113),
            GetLangText("CASE", 109) + ' ' + QString::number(p.Weight) + ' ' +
                GetLangText("CASE", 114),
            group,
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
        QStringList details = {
            GetLangText("REPORT", 2331) + ' ' + m_data.day + ' ' + m_data.testTimes,
            GetLangText("REPORT", 2332) + ' ' + day.setName +
                (day.setVersion.isEmpty() || day.setName.contains(day.setVersion) ? QString() : " (" + day.setVersion + ')'),
        };
        // BTPS is stated only when the day's tests were corrected to it.
        if (day.btps == 1)
            details << GetLangText("REPORT", 2333).arg(m_data.temperature);
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
        // Parameter, unit and predicted, then the value columns sharing the rest.
        const int columns = int(table.headers.size());
        const auto share = [columns](int c) {
            if (columns <= 5) {
                static const double five[5] = {0.24, 0.16, 0.20, 0.20, 0.20};
                return five[c];
            }
            return c == 0 ? 0.16 : c == 1 ? 0.10 : c == 2 ? 0.12 : 0.62 / (columns - 3);
        };
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             table.title, 15, true);
        m_y += kRowHeight + 6;
        auto row = [&](const QStringList& cells, bool header) {
            double x = kMargin;
            if (header)
                m_painter.fillRect(QRectF(kMargin, m_y, width(), kRowHeight),
                                   QColor(0xE8, 0xE8, 0xE8));
            for (int c = 0; c < columns; ++c) {
                const double w = share(c) * width();
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

    // Page 1 of a day with FVC tests: each phase against the set, the grades,
    // the quality of the day and the interpretation with the rule it used.
    void writeFvcTables()
    {
        const DayResult& day = m_data.result;
        const ClinicalSummary summary = BuildClinicalSummary(day);
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             "FVC " + GetLangText("CASE", 1221), 15, true);
        m_y += kRowHeight + 6;
        setFont(11, false);
        m_painter.setPen(Qt::black);
        m_y += PaintClinicalSummary(m_painter, QRectF(kMargin, m_y, width(), 360), summary);
        m_y += kGap;
        writeQuality(DayQualityStatement(kTestFvc, day, day.phases.empty() ? -1 : std::max(0, day.phases.front().flowsTest)));
        writeInterpretation(summary);
    }

    void writeParagraph(const QString& sentence, double size)
    {
        const QRectF box(kMargin + 10, m_y, width() - 20, 200);
        setFont(size, false);
        const QRectF used = m_painter.boundingRect(box, Qt::TextWordWrap, sentence);
        text(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, sentence, size);
        m_y += used.height() + 4;
    }

    void writeInterpretation(const ClinicalSummary& summary)
    {
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             GetLangText("CLINICAL", 2585), 15, true);
        m_y += kRowHeight + 6;
        if (!summary.interpretation) {
            writeParagraph(summary.note, 12);
        } else {
            writeParagraph(SuggestionText(*summary.interpretation), 12);
            writeParagraph(summary.interpretation->rules.join("; "), 10);
        }
        m_y += kGap;
    }

    // Who tested and who referred, the bronchodilator given, and a line to sign on.
    void writeSignature()
    {
        QString referrer, drug;
        for (const StoredSession& s : m_data.result.sessions) {
            if (!s.referrer.isEmpty())
                referrer = s.referrer;
            if (s.phase == kPhasePost && !s.drug.isEmpty())
                drug = s.drug + ' ' + s.dose +
                       (s.doseTime.isValid() ? ' ' + s.doseTime.toString("yyyy-MM-dd HH:mm") : QString());
        }
        const QString blank = " ______________________    ";
        const QString operators = m_data.operators.join(", ");
        const DaySignature* last = m_data.signatures.empty() ? nullptr : &m_data.signatures.back();
        QStringList rows = {
            GetLangText("CLINICAL", 3105) + ' ' + (referrer.isEmpty() ? kMissingText : referrer),
            GetLangText("CLINICAL", 2602) + ' ' + (drug.isEmpty() ? kMissingText : drug),
            GetLangText("CLINICAL", 2603) +
                (operators.isEmpty() ? blank : ' ' + operators + "    ") +
                GetLangText("REPORT", 186) +
                (last && last->Signed() ? ' ' + last->signer + "    " : blank) +
                GetLangText("REPORT", 2338) + " ____________",
        };
        // The sign-off: who signed the shown version, and every amendment with its reason.
        for (const DaySignature& s : m_data.signatures) {
            if (s.version > 1)
                rows << GetLangText("CLINICAL", 3107).arg(s.amendedAt, s.amendedBy, s.reason);
        }
        if (last && last->Signed())
            rows << GetLangText("CLINICAL", 3106)
                        .arg(last->signer, last->signedAt)
                        .arg(last->version);
        for (const QString& row : rows) {
            text(QRectF(kMargin, m_y, width(), 24), Qt::AlignLeft | Qt::AlignVCenter, row, 12);
            m_y += 26;
        }
        m_y += kGap;
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
        o.predicted = predicted ? &m_data.result.predicted : nullptr;
        o.predictedStyle = Settings().predicted;
        o.fontSize = 11;
        return o;
    }

    void writeFvcCurves()
    {
        const int best = m_data.result.phases.empty() ? -1 : m_data.result.phases.front().flowsTest;
        text(QRectF(kMargin, m_y, width(), kRowHeight + 4), Qt::AlignLeft | Qt::AlignVCenter,
             "FVC " + GetLangText("CASE", 1221), 15, true);
        m_y += kRowHeight + 6;
        const double w = (width() - 20) / 2;
        CurvePlot flowVolume(kCurveFvcResult);
        flowVolume.DrawStored(m_painter, QRectF(kMargin, m_y, w, 400), m_data.fvc(),
                              options(best, true));
        CurvePlot volumeTime(kCurveFvcResult);
        volumeTime.SetView(CurveView::VolumeTime);
        volumeTime.DrawStored(m_painter, QRectF(kMargin + w + 20, m_y, w, 400), m_data.fvc(),
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
        setFont(10, false);
        m_painter.setPen(Qt::black);
        m_y += PaintManeuverTable(m_painter, QRectF(kMargin, m_y, width(), m_height - 60 - m_y), m_data.result);
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
