// Which blocks each page of a day's report holds, the title, and the pages a
// stored day needs; what the pages say is the report text test's.
#include "core/report/report_data.h"
#include "core/report/report_page.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "report_fixture.h"
#include "support/data_table.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

// Each row of data/report_pages.csv: the page count of the mix and one page's blocks.
TEST(ReportPagePlan, PagesAndBlocksForEachMixOfTestTypes)
{
    const QStringList names = {"Title",   "Header",  "Patient",  "FvcTables", "Signature",
                               "FvcLoopTable", "FvcCurves", "VcTable", "VcCurve", "MvvTable",
                               "MvvCurve", "Diagnosis", "Clinical"};
    for (const DataRow& row : ReadDataTable(REPORT_TEST_DATA "/report_pages.csv")) {
        SCOPED_TRACE(row.line());
        const bool fvc = row["fvc"] == "1", vc = row["vc"] == "1", mvv = row["mvv"] == "1";
        EXPECT_EQ(ReportPageCount(fvc, vc, mvv), row["pages"].toInt());
        QStringList blocks;
        for (const ReportBlock b : ReportPageBlocks(fvc, vc, mvv, row["page"].toInt()))
            blocks << names.value(int(b), "?");
        EXPECT_EQ(blocks.join(' '), row["blocks"].replace("head", "Title Header Patient"));
    }
}

TEST(ReportTitle, HospitalAndTitleKeptApartInEveryLanguage)
{
    Settings().hospital = "St. Mary's";
    Settings().language = "English";
    EXPECT_EQ(ReportTitle(), "St. Mary's TAV Spirometer Report");
    // Run together, a Chinese hospital name could not be told from the title.
    Settings().hospital = QString::fromUtf8("协和医院");
    Settings().language = "Chinese";
    EXPECT_TRUE(ReportTitle().startsWith(QString::fromUtf8("协和医院 ")));
    Settings().hospital.clear();
    EXPECT_EQ(ReportTitle(), GetLangText("REPORT", 102)); // no leading blank without a hospital
    Settings().Reset();
}

TEST_F(ReportTest, DayDataDecidesThePageCount)
{
    addTest(kTestMvv, "2026-05-04 11:00:00", MvvRecord(101.0f), TidalPulses(6, 1.2));
    addTest(kTestMvv, "2026-05-04 11:05:00", MvvRecord(96.0f), TidalPulses(6, 1.1));
    ReportData data;
    ASSERT_TRUE(LoadReportData(db, patientId, "2026-05-04", data));
    EXPECT_EQ(data.mvv().size(), 2u);
    EXPECT_EQ(ReportPageCount(data), 1);
    EXPECT_EQ(data.patient.Name, "Anna O'Brien");
    EXPECT_GT(data.result.predicted.FVC, 0); // the patient's predicted values came along

    addTest(kTestFvc, "2026-05-05 09:00:00", FvcRecord(3.9f, 3.1f, 7.0f), FvcPulses(3.9, 7.0));
    const QString vc = addTest(kTestVc, "2026-05-05 09:20:00", VcRecord(4.0f), TidalPulses(5, 0.6));
    ASSERT_TRUE(LoadReportData(db, patientId, "2026-05-05", data));
    EXPECT_EQ(ReportPageCount(data), 4);
    // Every page paints (what it says is the report text test's; this runs the
    // painter under the sanitizers, where that test does not run).
    QImage blank(420, 594, QImage::Format_RGB32);
    blank.fill(Qt::white);
    for (int page = 1; page <= 4; ++page) {
        QImage image = blank.copy();
        QPainter painter(&image);
        PaintReportPage(painter, QRectF(0, 0, 420, 594), data, page);
        painter.end();
        EXPECT_NE(image, blank) << "page " << page;
    }

    // A test whose file is gone is left out, and with it the pages it would need.
    QFile::remove(home.path("Case/" + QString::number(patientId) + "/" + vc));
    ASSERT_TRUE(LoadReportData(db, patientId, "2026-05-05", data));
    EXPECT_TRUE(data.vc().empty());
    EXPECT_EQ(ReportPageCount(data), 3);

    EXPECT_FALSE(LoadReportData(db, patientId + 1, "2026-05-05", data)); // no such patient
    EXPECT_FALSE(LoadReportData(db, patientId, "2026-5-5", data));
}
