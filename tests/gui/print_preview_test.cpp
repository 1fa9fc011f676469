// The print preview: pages per day, its toolbar, the main window hidden while
// it is open and back whenever it closes, printing, and the PDF export flow.
#include "report_gui_fixture.h"

#include "core/records/diagnosis.h"
#include "gui/records/diagnose_dlg.h"
#include "gui/report/main_frame.h"
#include "gui/report/pdf_wait_dlg.h"
#include "gui/report/tava_dlg.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPlainTextEdit>

class PrintPreviewTest : public ReportGuiTest {
  protected:
    // The results page's Print button; returns the preview it opened.
    CMainFrame* printFromResults(const QString& day)
    {
        openWith(day, kTestFvc);
        shell->ShowPage(CMainShellDlg::kResultsPage);
        click(current(), "print");
        QApplication::processEvents();
        return CMainFrame::Current();
    }
    static void trigger(CMainFrame* frame, const char* name)
    {
        QAction* action = frame->Action(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        QApplication::processEvents();
    }
    void closePreview(CMainFrame* frame)
    {
        QPointer<CMainFrame> guard(frame);
        trigger(frame, "close");
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(guard.isNull()) << "the frame is destroyed";
        EXPECT_EQ(CMainFrame::Current(), nullptr);
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
    CMainFrame* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->PageCount(), 4); // the last holds the graded FVC sessions
    EXPECT_FALSE(shell->isVisible()) << "hidden while the preview is open";
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), shell->windowTitle() + " Preview");
    screenshot(frame, "preview_page1");

    EXPECT_FALSE(frame->Action("prevPage")->isEnabled());
    trigger(frame, "nextPage");
    trigger(frame, "nextPage");
    trigger(frame, "nextPage");
    EXPECT_EQ(frame->CurrentPage(), 4);
    EXPECT_FALSE(frame->Action("nextPage")->isEnabled());
    EXPECT_TRUE(frame->Action("prevPage")->isEnabled());
    screenshot(frame, "preview_page4");
    trigger(frame, "prevPage");
    EXPECT_EQ(frame->CurrentPage(), 3);

    trigger(frame, "twoPages");
    EXPECT_TRUE(frame->TwoPages());
    EXPECT_EQ(frame->Action("twoPages")->text(), "&One Page");
    screenshot(frame, "preview_two_pages");
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
    page<CTAVADlg>()->Reload();
    click(current(), "print");
    frame = CMainFrame::Current();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->PageCount(), 1);
    EXPECT_FALSE(frame->Action("nextPage")->isEnabled());
    EXPECT_FALSE(frame->Action("twoPages")->isEnabled());
    closePreview(frame);
}

TEST_F(PrintPreviewTest, ToolbarIsChineseOnlyForTheExactLanguageName)
{
    const QStringList english = CMainFrame::ToolbarLabels("English");
    EXPECT_EQ(english[0], "&Print...");
    EXPECT_EQ(english[8], "PD&F");
    EXPECT_EQ(CMainFrame::ToolbarLabels("chinese"), english);
    const QStringList chinese = CMainFrame::ToolbarLabels("Chinese");
    for (int i = 0; i < english.size(); ++i)
        EXPECT_NE(chinese[i], english[i]) << i;
    // The open preview in Chinese is part of the language walk.
}

TEST_F(PrintPreviewTest, WithoutAPatientThereIsNoPreview)
{
    openShell();
    Hooks().printReport(shell.get(), -1, "2026-03-04");
    EXPECT_EQ(CMainFrame::Current(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "There is no User!");
    EXPECT_EQ(messages[0].caption, "Error");
    EXPECT_TRUE(shell->isVisible());
}

TEST_F(PrintPreviewTest, PrintGoesThroughThePrintDialogToThePrinter)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    CMainFrame* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    const QString printed = home.path("printed.pdf");
    int asked = 0;
    Hooks().printDialog = [&](QWidget*, QPrinter& printer) {
        ++asked;
        if (asked == 1)
            return false; // cancelled: nothing printed
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printed);
        return true;
    };
    trigger(frame, "print");
    EXPECT_FALSE(QFile::exists(printed));
    trigger(frame, "print");
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(readFile(printed).startsWith("%PDF"));
    EXPECT_TRUE(frame->isVisible()) << "printing keeps the preview open";
    closePreview(frame);
}

TEST_F(PrintPreviewTest, TheScreenToggleNeverDecidesThePaperThePrintDialogDoes)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    storeFvc("2026-03-04 09:05:00", 4.60f, 3.70f, 8.40f);
    storeFvc("2026-03-04 09:10:00", 3.10f, 2.50f, 6.10f);
    openWith("2026-03-04", kTestFvc);
    shell->SetSingleLoopDisplay(1); // one loop on the screen
    shell->ShowPage(CMainShellDlg::kResultsPage);
    click(current(), "print");
    QApplication::processEvents();
    CMainFrame* frame = CMainFrame::Current();
    ASSERT_NE(frame, nullptr);

    // Printed once as the day is, once with "best loop only" chosen in the dialog.
    auto printTo = [&](const QString& path, bool bestLoopOnly) {
        Hooks().printDialog = [path](QWidget*, QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path);
            return true;
        };
        Hooks().printChoices = [bestLoopOnly](PrintChoices& choices) {
            EXPECT_FALSE(choices.bestLoopOnly) << "every loop unless chosen";
            choices.bestLoopOnly = bestLoopOnly;
        };
        trigger(frame, "print");
    };
    printTo(home.path("all.pdf"), false);
    printTo(home.path("best.pdf"), true);
    printTo(home.path("again.pdf"), false); // the choice holds for one job only
    Hooks().printChoices = {};
    const qint64 all = readFile(home.path("all.pdf")).size();
    const qint64 best = readFile(home.path("best.pdf")).size();
    ASSERT_GT(best, 1000);
    // Two loops fewer on the curve page make a smaller file.
    EXPECT_GT(all, best + 500);
    EXPECT_NEAR(double(readFile(home.path("again.pdf")).size()), double(all), 200.0);
    closePreview(frame);
}

TEST_F(PrintPreviewTest, PdfExportReplacesAnOldFileOffersToOpenItAndTheMainWindowComesBack)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    home.write("out/report.pdf", QByteArray("old contents that are not a PDF"));
    CMainFrame* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    QString suggested;
    Hooks().savePdfName = [&](QWidget*, const QString& proposal) {
        suggested = proposal;
        return pdfPath();
    };
    QStringList opened;
    Hooks().openDocument = [&](const QString& path) {
        opened << path;
        return true;
    };
    answers = {6}; // Yes, view it
    trigger(frame, "pdf");
    // The file is named for filing: patient number, name and day.
    EXPECT_TRUE(suggested.endsWith("/" + shell->Patient().PatientNumber + "_Anna O'Brien_2026-03-04.pdf"))
        << suggested.toStdString();
    const QByteArray pdf = readFile(pdfPath());
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_FALSE(pdf.contains("old contents"));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, "Print PDF Succeed!Do you want to view it?");
    EXPECT_EQ(messages.back().type, 4);
    EXPECT_EQ(opened, QStringList{pdfPath()});

    // No: written again, not opened.
    answers = {7};
    trigger(frame, "pdf");
    EXPECT_EQ(opened.size(), 1);
    EXPECT_FALSE(shell->isVisible());
    closePreview(frame);
}

TEST_F(PrintPreviewTest, PdfExportCancelledOrFailingSaysSoAndKeepsThePreview)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    CMainFrame* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    Hooks().savePdfName = [](QWidget*, const QString&) { return QString(); };
    trigger(frame, "pdf");
    EXPECT_TRUE(messages.empty()) << "a cancelled save dialog says nothing";

    // A folder that cannot be written: the writer makes no file.
    home.write("blocked", QByteArray("a file, not a folder"));
    const QString impossible = home.path("blocked/report.pdf");
    Hooks().savePdfName = [&](QWidget*, const QString&) { return impossible; };
    trigger(frame, "pdf");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Print PDF Error!");
    EXPECT_EQ(messages[0].caption, "Error");
    EXPECT_TRUE(frame->isVisible());
    closePreview(frame);
}

TEST_F(PrintPreviewTest, DiagnosisFromThePreviewIsSavedAndClosingBringsTheMainWindowBack)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    CMainFrame* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(frame->Action("diagnose")->isEnabled());
    whenModal([](QWidget* modal) {
        ASSERT_NE(qobject_cast<CDiagnoseDlg*>(modal), nullptr);
        modal->findChild<QPlainTextEdit*>("result")->setPlainText("Mild obstruction");
        QTest::mouseClick(modal->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    trigger(frame, "diagnose");
    EXPECT_FALSE(shell->isVisible());
    closePreview(frame);
    EXPECT_TRUE(QFile::exists(
        DiagnosisFile(AppPaths::PatientCaseFolder(patientId), "2026-03-04")));
}

TEST(PdfWaitText, DotsCycleFromNoneToFive)
{
    EXPECT_EQ(CPrintPdfWaitDlg::WaitText(0), "Please wait");
    EXPECT_EQ(CPrintPdfWaitDlg::WaitText(5), "Please wait.....");
    EXPECT_EQ(CPrintPdfWaitDlg::WaitText(6), "Please wait");
    EXPECT_EQ(CPrintPdfWaitDlg::WaitText(8), "Please wait..");
}
