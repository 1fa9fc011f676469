// Which blocks each page of a day's report holds, the title, and the pages a
// stored day needs; what the pages say is the report text test's.
#include "core/report/report_data.h"
#include "core/report/report_page.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "report_fixture.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using B = ReportBlock;

TEST(ReportPagePlan, PagesAndBlocksForEachMixOfTestTypes)
{
    // A day with FVC tests ends with the page of its graded sessions.
    EXPECT_EQ(ReportPageCount(true, true, false), 4);
    EXPECT_EQ(ReportPageCount(true, true, true), 4);
    EXPECT_EQ(ReportPageCount(false, false, true), 1);
    EXPECT_EQ(ReportPageCount(true, false, false), 3);
    EXPECT_EQ(ReportPageCount(true, false, true), 3);
    EXPECT_EQ(ReportPageCount(false, true, true), 2);

    const std::vector<B> head = {B::Title, B::Header, B::Patient};
    auto with = [&](std::vector<B> blocks) {
        blocks.insert(blocks.begin(), head.begin(), head.end());
        return blocks;
    };
    // Everything: FVC results and the signature; the best loops and FVC curves; the VC
    // table with its curve, MVV, diagnosis. A table is never parted from its curve.
    EXPECT_EQ(ReportPageBlocks(true, true, true, 1), with({B::FvcTables, B::Signature}));
    EXPECT_EQ(ReportPageBlocks(true, true, true, 2), (std::vector<B>{B::FvcLoopTable, B::FvcCurves}));
    EXPECT_EQ(ReportPageBlocks(true, true, true, 3),
              (std::vector<B>{B::VcTable, B::VcCurve, B::MvvTable, B::MvvCurve, B::Diagnosis}));
    EXPECT_EQ(ReportPageBlocks(true, true, false, 3),
              (std::vector<B>{B::VcTable, B::VcCurve, B::Diagnosis}));
    EXPECT_EQ(ReportPageBlocks(true, true, true, 4), (std::vector<B>{B::Clinical}));
    EXPECT_EQ(ReportPageBlocks(true, false, false, 3), (std::vector<B>{B::Clinical}));
    EXPECT_TRUE(ReportPageBlocks(true, true, true, 5).empty());
    // FVC and MVV.
    EXPECT_EQ(ReportPageBlocks(true, false, true, 2),
              (std::vector<B>{B::FvcLoopTable, B::FvcCurves, B::MvvTable, B::MvvCurve, B::Diagnosis}));
    // VC only, VC and MVV.
    EXPECT_EQ(ReportPageBlocks(false, true, false, 1), with({B::VcTable, B::VcCurve}));
    EXPECT_EQ(ReportPageBlocks(false, true, false, 2), (std::vector<B>{B::Diagnosis}));
    EXPECT_EQ(ReportPageBlocks(false, true, true, 2),
              (std::vector<B>{B::MvvTable, B::MvvCurve, B::Diagnosis}));
    // MVV only: one page with all of it.
    EXPECT_EQ(ReportPageBlocks(false, false, true, 1),
              with({B::MvvTable, B::MvvCurve, B::Diagnosis}));
    EXPECT_TRUE(ReportPageBlocks(false, false, true, 2).empty());
    EXPECT_TRUE(ReportPageBlocks(true, true, true, 0).empty());
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
