// Reports from damaged data and onto hostile targets: impossible stored
// values shown as missing, the old PDF kept until the new one is whole.
#include "report_fixture.h"

#include "core/report/pdf_export.h"
#include "core/report/result_tables.h"
#include "core/report/trend_series.h"
#include "support/full_disk.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <sys/stat.h>
#include <limits>

namespace {

// One page of text: enough to make a real PDF.
const PagePainter kOnePage = [](QPainter& painter, const QRectF& page, int) {
    painter.drawText(page, Qt::AlignCenter, "new report");
};

TEST_F(ReportTest, StoredImpossibleValuesAreLeftOutOfTheTrend)
{
    const float inf = std::numeric_limits<float>::infinity();
    addTest(kTestFvc, "2026-01-10 09:00:00", FvcRecord(4.0f, 3.2f, 7.0f));
    addTest(kTestFvc, "2026-01-11 09:00:00", FvcRecord(inf, 3e38f, -inf));
    addTest(kTestFvc, "2026-01-12 09:00:00", FvcRecord(std::nanf(""), -1.0f, 3e38f));
    addTest(kTestFvc, "2026-01-13 09:00:00", FvcRecord(4.2f, 3.3f, 7.2f));
    // A damaged record is no result: its day gives no point at all.
    std::vector<TrendTest> tests = LoadTrendTests(db, patientId, kTestFvc);
    ASSERT_EQ(tests.size(), 2u);
    EXPECT_EQ(tests[0].time.date(), QDate(2026, 1, 10));
    EXPECT_EQ(tests[1].time.date(), QDate(2026, 1, 13));

    // A point that still holds no number (a series made by hand) is drawn as a gap.
    TrendTest broken = tests[0];
    broken.measured.fill(std::numeric_limits<double>::quiet_NaN());
    tests.insert(tests.begin() + 1, broken);
    tests[1].time = tests[1].time.addDays(1);
    for (int parameter : {kTrendFvc, kTrendFev1, kTrendPef}) {
        const TrendSeries series = MakeTrendSeries(tests, parameter);
        ASSERT_EQ(series.points.size(), 3u);
        EXPECT_TRUE(std::isnan(series.points[1].measured));
        EXPECT_FALSE(series.Label(1).contains("inf") || series.Label(1).contains("nan"));
        const TrendChart chart = BuildTrendChart(series, QRectF(0, 0, 600, 400), 10);
        EXPECT_EQ(chart.marks.size(), 2u); // only the two sound days are drawn
        EXPECT_LE(chart.yMax, 40);
        for (const QPointF& mark : chart.marks)
            EXPECT_TRUE(chart.area.adjusted(-1, -1, 1, 1).contains(mark));
    }

    // A predicted value beyond any person draws no reference line and gives no percentage.
    std::vector<TrendTest> absurd = tests;
    for (TrendTest& test : absurd)
        test.predicted.fill(5e14);
    const TrendSeries series = MakeTrendSeries(absurd, kTrendFvc);
    EXPECT_EQ(series.predicted, 0);
    EXPECT_TRUE(BuildTrendChart(series, QRectF(0, 0, 600, 400), 10).reference.isEmpty());
    EXPECT_EQ(FormatPercent(4.0, 5e14), QString()); // not "0%"

    // The trend page paints without growing: a small image holds it.
    TrendReport report;
    report.series = MakeTrendSeries(tests, kTrendFvc);
    QImage page(420, 594, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    PaintTrendPage(painter, QRectF(0, 0, 420, 594), report);
}

TEST(ResultTables, NumbersNoTestCanHoldAreBlank)
{
    EXPECT_EQ(FormatValue(4.256), "4.26");
    EXPECT_EQ(FormatValue(-0.5), "-0.50");
    EXPECT_EQ(FormatValue(99999.0), "99999.00");
    for (double bad : {std::numeric_limits<double>::infinity(), -1e6, 3e38,
                       std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(FormatValue(bad), QString()) << bad;
    EXPECT_EQ(FormatPercent(3.0, 4.0), "75%");
    EXPECT_EQ(FormatPercent(3e38, 4.0), QString());
}

class PdfTarget : public ::testing::Test {
protected:
    bool write(const QString& path, QString* error)
    {
        PdfPrinterSettings settings;
        settings.SetOutput(path);
        return WritePdf(settings, 1, kOnePage, error);
    }
    TempHome home;
};

TEST_F(PdfTarget, SomethingOtherThanAFileIsNeverReplaced)
{
    QDir().mkpath(home.path("folder.pdf"));
    home.write("elsewhere.pdf", "someone else's file");
    ASSERT_TRUE(QFile::link(home.path("elsewhere.pdf"), home.path("link.pdf")));
    const QString fifo = home.path("fifo.pdf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const char* name : {"folder.pdf", "link.pdf", "fifo.pdf"}) {
        QString error;
        EXPECT_FALSE(write(home.path(name), &error)) << name;
        EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    }
    EXPECT_TRUE(QFileInfo(home.path("folder.pdf")).isDir());
    EXPECT_TRUE(QFileInfo(home.path("link.pdf")).isSymLink());
    EXPECT_EQ(home.read("elsewhere.pdf"), "someone else's file");
}

TEST_F(PdfTarget, AFullDiskKeepsTheOldReport)
{
    FullDisk disk;
    const QString out = disk.Path("report.pdf");
    QString error;
    // Leave less room than a report needs: one earlier report and a filler.
    {
        QFile old(out);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("%PDF-1.4 the previous report");
    }
    disk.Fill();
    EXPECT_FALSE(write(out, &error));
    disk.Free();
    EXPECT_FALSE(error.isEmpty());
    QFile old(out);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "%PDF-1.4 the previous report");
    QStringList left = QDir(disk.Path()).entryList(QDir::Files | QDir::Hidden);
    left.removeAll(".filler");
    EXPECT_EQ(left, QStringList{"report.pdf"});

    // With room again the report replaces it.
    ASSERT_TRUE(write(out, &error)) << error.toStdString();
    old.close();
    QFile replaced(out);
    ASSERT_TRUE(replaced.open(QIODevice::ReadOnly));
    EXPECT_TRUE(replaced.readAll().contains("%%EOF"));
}

} // namespace
