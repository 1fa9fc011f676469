// tavctl report run as a process, its PDF read back with pdftotext.
#include "core/records/diagnosis.h"
#include "report_fixture.h"
#include "support/run_tool.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

class ReportCliTest : public ReportTest {
  protected:
    void SetUp() override
    {
        ReportTest::SetUp();
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        home.write("System.ini", "[SYSTEM]\r\nHOSPITAL=St. Mary's Clinic\r\nLANGUAGE=English\r\n");
        QFile english(qEnvironmentVariable("TAV_SOURCE_DIR") + "/data/Language/English.txt");
        ASSERT_TRUE(english.open(QIODevice::ReadOnly));
        home.write("Language/English.txt", english.readAll());
    }

    ToolResult tavctl(const QStringList& args)
    {
        return RunTool(TAVCTL_PATH, QStringList{"--home", home.path()} + args);
    }
};

} // namespace

TEST_F(ReportCliTest, DayReportHoldsThePatientHospitalValuesAndDiagnosisAsText)
{
    const QString day = "2026-07-01";
    addTest(kTestFvc, day + " 10:00:00", fvcRecord(4.80f, 3.50f, 8.0f), FvcPulses(4.8, 8.0));
    addTest(kTestFvc, day + " 10:04:00", fvcRecord(4.60f, 3.90f, 9.5f), FvcPulses(4.6, 9.5));
    addTest(kTestVc, day + " 10:30:00", fvcRecord(4.10f, 3.00f, 0.0f), TidalPulses(5, 0.6));
    DiagnosisRecord diagnosis;
    diagnosis.Physician = "Dr. Vance";
    diagnosis.Result = "Mild restrictive pattern.";
    ASSERT_TRUE(
        SaveDiagnosis(DiagnosisFile(AppPaths::PatientCaseFolder(patientId), day), diagnosis));

    const QString out = home.path("out/report.pdf");
    home.write("out/report.pdf", "stale");
    const ToolResult result =
        tavctl({"report", "--patient", QString::number(patientId), "--day", day, "--out", out});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(result.out).object();
    EXPECT_EQ(json["pages"].toInt(), 4);
    EXPECT_EQ(json["fvc"].toInt(), 2);
    EXPECT_EQ(json["vc"].toInt(), 1);

    const QString text = PdfText(out);
    for (const char* expected :
         {"Anna O'Brien", "St. Mary's Clinic TAV Spirometer Report", "FVC",
          "Values from best loop", "Pre #2", "4.80", "3.90", "81.25",
          "9.50", "Diagnose Result", "Mild restrictive pattern.", "Dr. Vance",
          "FVC sessions: reference values, grades and acceptability", "Reference set:",
          day.toLatin1().constData()})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    // The document metadata: the report title, and the author in the XMP packet.
    const ToolResult info = RunTool("pdfinfo", {out});
    if (info.exitCode == 0) {
        EXPECT_TRUE(info.out.contains("St. Mary's Clinic TAV Spirometer Report"))
            << info.out.toStdString();
    }
    EXPECT_TRUE(home.read("out/report.pdf").contains("<dc:creator><rdf:Seq><rdf:li>velmar"));
    if (qEnvironmentVariableIsSet("TAV_REPORT_SAMPLE_DIR"))
        QFile::copy(out, qEnvironmentVariable("TAV_REPORT_SAMPLE_DIR") + "/cli_report.pdf");
}

TEST_F(ReportCliTest, MvvDayIsOnePageAndAnEmptyDayIsRefused)
{
    addTest(kTestMvv, "2026-07-02 08:00:00", fvcRecord(1, 1, 1), TidalPulses(6, 1.3));
    const QString out = home.path("mvv.pdf");
    ToolResult result = tavctl(
        {"report", "--patient", QString::number(patientId), "--day", "2026-07-02", "--out", out});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(result.out).object()["pages"].toInt(), 1);
    EXPECT_TRUE(PdfText(out).contains("MVV Test"));

    const QString none = home.path("none.pdf");
    result = tavctl(
        {"report", "--patient", QString::number(patientId), "--day", "2026-07-03", "--out", none});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_FALSE(result.err.isEmpty());
    EXPECT_FALSE(QFile::exists(none));
    result = tavctl({"report", "--patient", "x", "--day", "2026-07-02", "--out", none});
    EXPECT_NE(result.exitCode, 0);
}

TEST_F(ReportCliTest, TrendReportListsEveryTestWithAFile)
{
    addTest(kTestFvc, "2026-01-05 09:00:00", fvcRecord(4.0f, 3.15f, 7.0f));
    addTest(kTestFvc, "2026-02-05 09:00:00", fvcRecord(4.1f, 3.25f, 7.2f));
    const QString gone = addTest(kTestFvc, "2026-03-05 09:00:00", fvcRecord(4.2f, 3.35f, 7.4f));
    QFile::remove(home.path("Case/" + QString::number(patientId) + "/" + gone));

    const QString out = home.path("trend.pdf");
    ToolResult result = tavctl(
        {"report", "--patient", QString::number(patientId), "--trend", "fev1", "--out", out});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(result.out).object()["points"].toInt(), 2);
    const QString text = PdfText(out);
    EXPECT_TRUE(text.contains("3.15"));
    EXPECT_TRUE(text.contains("3.25"));
    EXPECT_FALSE(text.contains("3.35"));
    if (qEnvironmentVariableIsSet("TAV_REPORT_SAMPLE_DIR"))
        QFile::copy(out, qEnvironmentVariable("TAV_REPORT_SAMPLE_DIR") + "/cli_trend.pdf");

    // A type without tests gives an empty trend, still written.
    result = tavctl({"report", "--patient", QString::number(patientId), "--trend", "pef", "--type",
                     "mvv", "--out", out});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(result.out).object()["points"].toInt(), 0);

    result = tavctl(
        {"report", "--patient", QString::number(patientId), "--trend", "fev3", "--out", out});
    EXPECT_NE(result.exitCode, 0);
}
