// The day's report as a clinic files it, read back with pdftotext in English
// and in Chinese: every label and value of every table is text in the PDF
// (common Chinese characters included, not radicals), the patient's name and
// number head every page, and the page states birth date, test times, the
// reference set, the quality and the diagnosis with its physician and date;
// an English report holds no Chinese label and a Chinese one no English word.
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/records/diagnosis.h"
#include "core/report/pdf_export.h"
#include "core/report/quality_statement.h"
#include "core/report/report_data.h"
#include "core/report/report_page.h"
#include "core/report/result_tables.h"
#include "report_fixture.h"
#include "support/run_tool.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

// Text of one page with every blank and line break taken out, so table cells
// and wrapped lines compare as the strings they are.
QString pageText(const QString& pdf, int page)
{
    const ToolResult result =
        RunTool("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    return QString::fromUtf8(result.out).remove(QRegularExpression("\\s"));
}

QString squeezed(QString s)
{
    return s.remove(QRegularExpression("\\s"));
}

class ReportTextTest : public ReportTest, public ::testing::WithParamInterface<QString> {
  protected:
    void SetUp() override
    {
        ReportTest::SetUp();
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        const QString source = qEnvironmentVariable("TAV_SOURCE_DIR") + "/data/Language/";
        for (const QString name : {"English.txt", "Chinese.txt"}) {
            QFile file(source + name);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << source.toStdString();
            home.write("Language/" + name, file.readAll());
        }
        Settings().language = GetParam();
        Settings().hospital = chinese() ? QString::fromUtf8("第一人民医院") : "St. Mary's Clinic";
        patient.Name = chinese() ? QString::fromUtf8("高女士") : "Anna O'Brien";
        ASSERT_TRUE(SavePatientName(db, patientId, patient.Name, 0, QString()));
    }
    void TearDown() override { Settings().Reset(); }

    bool chinese() const { return GetParam() == "Chinese"; }
};

} // namespace

TEST_P(ReportTextTest, EveryLabelAndValueIsTextAndEveryPageNamesThePatient)
{
    const QString day = "2026-07-01";
    addTest(kTestFvc, day + " 10:00:00", FvcRecord(4.80f, 3.50f, 8.0f), FvcPulses(4.8, 8.0));
    addTest(kTestFvc, day + " 10:04:00", FvcRecord(4.60f, 3.90f, 9.5f), FvcPulses(4.6, 9.5));
    addTest(kTestFvc, day + " 10:09:00", FvcRecord(3.10f, 2.20f, 5.0f), FvcPulses(3.1, 5.0));
    addTest(kTestVc, day + " 10:30:00", VcRecord(4.4f), TidalPulses(5, 0.6));
    addTest(kTestMvv, day + " 10:41:00", MvvRecord(131.0f), TidalPulses(6, 1.2));
    DiagnosisRecord diagnosis;
    diagnosis.Physician = chinese() ? QString::fromUtf8("李医生") : "Dr. Vance";
    diagnosis.Result = GetLangText("DIAGNOSE_RESULT", 1300);
    const QString diagnosisFile = DiagnosisFile(AppPaths::PatientCaseFolder(patientId), day);
    ASSERT_TRUE(SaveDiagnosis(diagnosisFile, diagnosis));

    ReportData data;
    ASSERT_TRUE(LoadReportData(db, patientId, day, data));
    ASSERT_EQ(ReportPageCount(data), 4);
    EXPECT_FALSE(data.singleLoop); // every loop unless the print dialog says otherwise
    const QString out = home.path("report.pdf");
    PdfPrinterSettings settings;
    settings.SetOutput(out);
    QString error;
    ASSERT_TRUE(WriteReportPdf(data, settings, &error)) << error.toStdString();
    EXPECT_TRUE(home.read("report.pdf").contains("<dc:creator><rdf:Seq><rdf:li>" + settings.author.toUtf8()));

    QString all;
    for (int page = 1; page <= 4; ++page) {
        const QString text = pageText(out, page);
        EXPECT_TRUE(text.contains(squeezed(patient.Name))) << "page " << page;
        EXPECT_TRUE(text.contains(patient.PatientNumber)) << "page " << page;
        EXPECT_TRUE(text.contains(squeezed(GetLangText("REPORT", 2334).arg(page).arg(4))))
            << "page " << page;
        all += text;
    }
    EXPECT_NE(RunTool("pdftotext", {"-f", "5", "-l", "5", out, "-"}).exitCode, 0) << "a fifth page";

    QStringList expected = {
        ReportTitle(),
        GetLangText("CASE", 106) + (chinese() ? QString::fromUtf8("女") : "female"),
        GetLangText("CASE", 108) + "168" + GetLangText("CASE", 113),
        GetLangText("CASE", 109) + "61" + GetLangText("CASE", 114),
        GetLangText("REPORT", 2330) + "1976-05-14",
        GetLangText("REPORT", 2331) + day + "10:00-10:41",
        GetLangText("REPORT", 2332) + "ERS",
        GetLangText("CASE", 2316),
        GetLangText("REPORT", 184),
        diagnosis.Result,
        GetLangText("REPORT", 186) + diagnosis.Physician,
        GetLangText("REPORT", 2338) +
            QFileInfo(diagnosisFile).lastModified().toString("yyyy-MM-dd"),
        // The page of the graded sessions.
        GetLangText("CLINICAL", 2588),
        GetLangText("CLINICAL", 2590).section('%', 0, 0), // each phase's grades
    };
    // The quality statement of the shown blow and of the day, as the results page says it.
    const QualityStatement quality = DayQualityStatement(kTestFvc, data.result, data.result.phases.front().flowsTest);
    ASSERT_FALSE(quality.test.isEmpty());
    expected << quality.test << quality.day;
    // Every cell of every table.
    for (const ReportTable& table : {FvcBestLoopTable(data.result), VcReportTable(data.result), MvvReportTable(data.result)}) {
        expected << table.title << table.headers;
        for (const QStringList& row : table.rows)
            expected << row;
    }
    for (const QString& text : expected)
        EXPECT_TRUE(all.contains(squeezed(text)))
            << GetParam().toStdString() << ": " << text.toStdString();
    // BTPS is stated only for tests stored as corrected to it.
    EXPECT_EQ(all.contains(squeezed(GetLangText("REPORT", 2333).arg(data.temperature))), data.result.btps == 1);
    // Every label in the report's own language: an English report holds no
    // Chinese character, a Chinese one no English word beyond parameter names,
    // units and the names of reference sets (what the user typed aside).
    for (int page = 1; page <= 4; ++page) {
        const ToolResult raw = RunTool("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), out, "-"});
        QString text = QString::fromUtf8(raw.out);
        for (const QString& typed : {patient.Name, Settings().hospital, diagnosis.Physician, diagnosis.Result})
            text.remove(typed);
        if (!chinese()) {
            EXPECT_FALSE(text.contains(QRegularExpression("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]")))
                << "page " << page << ": " << text.toStdString();
            continue;
        }
        static const QStringList allowed = {"FVC", "FEV", "FEV1", "FEV6", "PEF", "FEF", "FET", "EVOL", "ELA", "FIVC",
                                            "FIV1", "FIV", "PIF", "MVV", "VC", "IC", "ERV", "IRV", "EVC", "IVC", "TV",
                                            "VE", "RR", "tI", "tE", "ttot", "BEV", "mL", "ml", "min", "GLI", "LLN",
                                            "Global", "ERS", "ATS", "TAV", "BTPS", "kg", "cm", "S", "L", "z", "V", "T", "Pred"};
        const QRegularExpression word("[A-Za-z]+");
        for (auto it = word.globalMatch(text); it.hasNext();) {
            const QString w = it.next().captured();
            EXPECT_TRUE(allowed.contains(w) || w.size() == 1) << "page " << page << ": " << w.toStdString();
        }
    }
    if (chinese()) {
        // Characters a Japanese face maps to radicals: each must come back as itself.
        for (const char* c : {"日", "女", "高", "人", "身"})
            EXPECT_TRUE(all.contains(QString::fromUtf8(c))) << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, ReportTextTest,
                         ::testing::Values(QString("English"), QString("Chinese")),
                         [](const auto& info) { return info.param.toStdString(); });

TEST(ReportPdfFileName, NumberNameAndDayWithoutPathCharacters)
{
    ReportData data;
    data.patient.PatientNumber = "00000042";
    data.patient.Name = "Anna O'Brien/Berg";
    data.day = "2026-07-01";
    EXPECT_EQ(ReportPdfFileName(data), "00000042_Anna O'Brien_Berg_2026-07-01.pdf");
    data.patient.Name = "../..";
    data.patient.PatientNumber.clear();
    const QString name = ReportPdfFileName(data);
    EXPECT_FALSE(name.contains('/'));
    EXPECT_FALSE(name.startsWith('.'));
    data.patient.Name = QString::fromUtf8("王芳");
    EXPECT_EQ(ReportPdfFileName(data), QString::fromUtf8("王芳_2026-07-01.pdf"));
}
