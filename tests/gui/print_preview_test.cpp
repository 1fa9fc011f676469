// The print preview: pages per day, its toolbar, the main window hidden while
// it is open and back whenever it closes, printing, and the PDF export flow.
#include "report_gui_fixture.h"

#include "gui/report/print_preview.h"
#include "gui/report/results_page.h"
#include "gui/report/trend_dialog.h"

#include <QFile>

class PrintPreviewTest : public ReportGuiTest {
  protected:
    // The results page's Print button; returns the preview it opened.
    PrintPreview* printFromResults(const QString& day)
    {
        openWith(day, kTestFvc);
        shell->ShowPage(MainWindow::kResultsPage);
        click(current(), "print");
        QApplication::processEvents();
        return PrintPreview::Current();
    }
    static void trigger(PrintPreview* frame, const char* name)
    {
        QAction* action = frame->Action(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        QApplication::processEvents();
    }
    void closePreview(PrintPreview* frame)
    {
        QPointer<PrintPreview> guard(frame);
        trigger(frame, "close");
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(guard.isNull()) << "the frame is destroyed";
        EXPECT_EQ(PrintPreview::Current(), nullptr);
        EXPECT_TRUE(shell->isVisible()) << "the main window is back";
    }
    QString pdfPath() const { return home.path("out/report.pdf"); }
    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(PrintPreviewTest, PagesFollowTheTypesOfTheDayAndNavigationStopsAtTheEnds)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    storeVc("2026-03-04 09:10:00", 4.1f);
    storeMvv("2026-03-05 10:00:00", 110.0f);
    PrintPreview* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->PageCount(), 4); // the last holds the graded FVC sessions
    EXPECT_FALSE(shell->isVisible()) << "hidden while the preview is open";
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), shell->windowTitle() + " Preview");

    EXPECT_FALSE(frame->Action("prevPage")->isEnabled());
    trigger(frame, "nextPage");
    trigger(frame, "nextPage");
    trigger(frame, "nextPage");
    EXPECT_EQ(frame->CurrentPage(), 4);
    EXPECT_FALSE(frame->Action("nextPage")->isEnabled());
    EXPECT_TRUE(frame->Action("prevPage")->isEnabled());
    trigger(frame, "prevPage");
    EXPECT_EQ(frame->CurrentPage(), 3);

    trigger(frame, "twoPages");
    EXPECT_TRUE(frame->TwoPages());
    EXPECT_EQ(frame->Action("twoPages")->text(), "&One Page");
    trigger(frame, "twoPages");
    EXPECT_FALSE(frame->TwoPages());

    const double before = frame->ZoomFactor();
    trigger(frame, "zoomIn");
    EXPECT_GT(frame->ZoomFactor(), before);
    trigger(frame, "zoomOut");
    trigger(frame, "zoomOut");
    EXPECT_LT(frame->ZoomFactor(), before);
    closePreview(frame);

    // A day with only MVV tests: one page.
    shell->SetCurrentTestDate("2026-03-05");
    page<ResultsPage>()->Reload();
    click(current(), "print");
    frame = PrintPreview::Current();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->PageCount(), 1);
    EXPECT_FALSE(frame->Action("nextPage")->isEnabled());
    EXPECT_FALSE(frame->Action("twoPages")->isEnabled());
    closePreview(frame);
}

TEST_F(PrintPreviewTest, PdfExportReplacesAnOldFileOffersToOpenItAndSaysWhenItFails)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    home.write("out/report.pdf", QByteArray("old contents that are not a PDF"));
    PrintPreview* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    QString suggested, answer;
    Hooks().savePdfName = [&](QWidget*, const QString& proposal) {
        suggested = proposal;
        return answer;
    };
    QStringList opened;
    Hooks().openDocument = [&](const QString& path) {
        opened << path;
        return true;
    };
    trigger(frame, "pdf");
    EXPECT_TRUE(messages.empty()) << "a cancelled save dialog says nothing";

    answer = pdfPath();
    answers = {6}; // Yes, view it
    trigger(frame, "pdf");
    // The file is named for filing: patient number, name and day.
    EXPECT_TRUE(suggested.endsWith("/" + shell->Patient().PatientNumber + "_Anna O'Brien_2026-03-04.pdf"))
        << suggested.toStdString();
    const QByteArray pdf = readFile(pdfPath());
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_FALSE(pdf.contains("old contents"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.back().type, 4);
    EXPECT_EQ(opened, QStringList{pdfPath()});

    // No: written again, not opened.
    answers = {7};
    trigger(frame, "pdf");
    EXPECT_EQ(opened.size(), 1);

    // A folder that cannot be written: the writer makes no file and says so.
    home.write("blocked", QByteArray("a file, not a folder"));
    answer = home.path("blocked/report.pdf");
    trigger(frame, "pdf");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.back().text, "Print PDF Error!");
    EXPECT_EQ(messages.back().caption, "Error");
    EXPECT_FALSE(shell->isVisible());
    closePreview(frame);
}

TEST_F(PrintPreviewTest, TrendReportOpensThePreviewAndClosingItBringsTheWindowsBack)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    openWith("2026-03-04", kTestFvc);
    TrendDialog dialog(db, patientId, shell.get());
    dialog.show();
    click(&dialog, "print");
    PrintPreview* frame = PrintPreview::Current();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->PageCount(), 1);
    EXPECT_FALSE(shell->isVisible());
    closePreview(frame);
    EXPECT_TRUE(dialog.isVisible());

    // Without a patient: the message instead of a preview.
    TrendDialog nobody(db, 0, shell.get());
    click(&nobody, "print");
    EXPECT_EQ(PrintPreview::Current(), nullptr);
    EXPECT_EQ(shownTexts(), QStringList{"There is no User!"});
}
