// The trend dialog: the series oldest first, tests without files left out,
// colours written at once and read back after a restart, zoom and sliders,
// point selection and the trend report through the preview.
#include "report_gui_fixture.h"

#include "core/app/ini_file.h"
#include "gui/report/main_frame.h"
#include "gui/report/trend_chart_view.h"
#include "gui/report/trend_dlg.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>

#include <cmath>

class TrendDialogTest : public ReportGuiTest {
  protected:
    static std::vector<double> measured(const TrendSeries& series)
    {
        std::vector<double> values;
        for (const TrendPoint& p : series.points)
            values.push_back(std::round(p.measured * 100) / 100);
        return values;
    }
};

TEST_F(TrendDialogTest, SeriesRunsOldestFirstAndLeavesOutTestsWithoutFiles)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    const QString lost = storeFvc("2025-11-20 08:00:00", 3.90f, 3.10f, 7.00f);
    storeFvc("2024-06-01 10:00:00", 3.50f, 2.90f, 6.50f);
    storeFvc("2026-01-15 11:00:00", 4.10f, 3.30f, 7.70f);
    storeVc("2026-01-16 11:00:00", 4.4f); // another type: not in the FVC trend
    ASSERT_TRUE(QFile::remove(AppPaths::PatientCaseFolder(patientId) + "/" + lost));
    openWith("2026-03-04", kTestFvc);

    CTrendDlg dialog(db, patientId, shell.get());
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.windowTitle(), "Trend Curve");
    EXPECT_EQ(dialog.TestCount(), 3);
    EXPECT_EQ(measured(dialog.Chart()->Series()), (std::vector<double>{3.50, 4.10, 4.00}));
    EXPECT_TRUE(child<QRadioButton>(&dialog, "radioFVC")->isChecked());
    EXPECT_FALSE(child<QListWidget>(&dialog, "parameterList")->isVisible());
    screenshot(&dialog, "trend_fvc");

    // On its round mark (the button is wider than its label).
    auto* pef = child<QRadioButton>(&dialog, "radioPEF");
    QTest::mouseClick(pef, Qt::LeftButton, {}, QPoint(8, pef->height() / 2));
    EXPECT_EQ(dialog.Parameter(), kTrendPef);
    EXPECT_EQ(child<QListWidget>(&dialog, "parameterList")->currentRow(), int(kTrendPef));
    EXPECT_EQ(measured(dialog.Chart()->Series()), (std::vector<double>{6.50, 7.70, 7.50}));
    EXPECT_GT(dialog.Chart()->Series().predicted, 0);
    EXPECT_TRUE(child<QLabel>(&dialog, "value")->text().contains("PEF"));
}

TEST_F(TrendDialogTest, PatientWithoutTestsOfTheTypeHasAnEmptyChart)
{
    storeVc("2026-01-16 11:00:00", 4.4f);
    openWith("2026-01-16", kTestVc);
    CTrendDlg dialog(db, patientId, shell.get());
    EXPECT_EQ(dialog.TestCount(), 0);
    EXPECT_TRUE(dialog.Chart()->Series().Empty());
    EXPECT_EQ(child<QLabel>(&dialog, "value")->text(), "");
}

TEST_F(TrendDialogTest, ColourChangeIsWrittenAtOnceAndSurvivesARestart)
{
    openWith("2026-03-04", kTestFvc);
    CTrendDlg dialog(db, patientId, shell.get());
    Hooks().pickColor = [](QWidget*, QColor& color) {
        color = QColor(0x12, 0x34, 0x56);
        return true;
    };
    click(&dialog, "FEV1COLOR");
    const QString ini = AppPaths::SettingsFile();
    // 0x00BBGGRR as a decimal number.
    EXPECT_EQ(IniFile::ReadInt(ini, "SYSTEM", "FEV1COLOR", -1), 0x563412);

    Hooks().pickColor = [](QWidget*, QColor&) { return false; }; // cancelled
    click(&dialog, "REFCOLOR");
    EXPECT_EQ(IniFile::ReadInt(ini, "SYSTEM", "REFCOLOR", -1), -1);

    // A restart reads the file again.
    Settings().Reset();
    Settings().Load(ini);
    EXPECT_EQ(Settings().fev1Color, 0x563412u);

    click(&dialog, "resetColors");
    EXPECT_EQ(IniFile::ReadInt(ini, "SYSTEM", "TRENDBKCOLOR", -1), 0xFFFFCC);
    EXPECT_EQ(IniFile::ReadInt(ini, "SYSTEM", "FEV1COLOR", -1), 0xFF00FF);
    EXPECT_EQ(IniFile::ReadInt(ini, "SYSTEM", "FEF2575COLOR", -1), 0x3399);
    EXPECT_EQ(IniFile::ReadInt(ini, "SYSTEM", "REFCOLOR", -1), 0x9E9152);
    Settings().Reset();
    Settings().Load(ini);
    EXPECT_EQ(Settings().trendBkColor, 0xFFFFCCu);
}

TEST_F(TrendDialogTest, ZoomSlidersAndPointSelection)
{
    storeFvc("2024-06-01 10:00:00", 3.50f, 2.90f, 6.50f);
    storeFvc("2025-06-01 10:00:00", 3.80f, 3.00f, 6.90f);
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    openWith("2026-03-04", kTestFvc);
    CTrendDlg dialog(db, patientId, shell.get());
    dialog.show();
    QApplication::processEvents();
    CTrendChartView* chart = dialog.Chart();
    auto* horizontal = child<QScrollBar>(&dialog, "horizontalSlider");
    EXPECT_EQ(horizontal->maximum(), 0) << "nothing to scroll before zooming";

    // A click on a point selects it; a click beside every point does not.
    const QPointF second = chart->PointPosition(1);
    QTest::mouseClick(chart, Qt::LeftButton, {}, second.toPoint());
    EXPECT_EQ(chart->SelectedPoint(), 1);
    EXPECT_EQ(child<QLabel>(&dialog, "value")->text(), chart->Series().Label(1));
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(chart->SelectedPoint(), 1);

    click(&dialog, "zoomIn");
    EXPECT_GT(chart->ZoomX(), 1);
    EXPECT_GT(horizontal->maximum(), 0);
    click(&dialog, "right");
    EXPECT_GT(chart->OffsetX(), 0);
    const int moved = chart->OffsetX();
    click(&dialog, "left");
    EXPECT_LT(chart->OffsetX(), moved);
    click(&dialog, "down");
    EXPECT_GT(chart->OffsetY(), 0);
    // The selected point moves with the view and is still found where it is drawn.
    QTest::mouseClick(chart, Qt::LeftButton, {}, chart->PointPosition(0).toPoint());
    EXPECT_EQ(chart->SelectedPoint(), 0);
    screenshot(&dialog, "trend_zoomed");

    click(&dialog, "zoomOut");
    click(&dialog, "zoomOut");
    EXPECT_EQ(chart->ZoomX(), 1);
    EXPECT_EQ(chart->OffsetX(), 0);
}

TEST_F(TrendDialogTest, TrendReportOpensThePreviewAndClosingItBringsTheWindowsBack)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    openWith("2026-03-04", kTestFvc);
    CTrendDlg dialog(db, patientId, shell.get());
    dialog.show();
    click(&dialog, "print");
    CMainFrame* frame = CMainFrame::Current();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->PageCount(), 1);
    EXPECT_EQ(frame->windowTitle(), "Trend Curve Preview");
    EXPECT_FALSE(shell->isVisible());
    screenshot(frame, "trend_report");
    frame->Action("close")->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(shell->isVisible());
    EXPECT_TRUE(dialog.isVisible());

    // Without a patient: the message instead of a preview.
    CTrendDlg nobody(db, 0, shell.get());
    click(&nobody, "print");
    EXPECT_EQ(CMainFrame::Current(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "There is no User!");
    EXPECT_EQ(messages[0].caption, "Prompt");
}
