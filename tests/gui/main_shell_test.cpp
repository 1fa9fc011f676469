// The main window: one page at a time, the keyboard rules, closing as Cancel,
// the About box and the help command.
#include "gui_fixture.h"

#include "gui/app/help_command.h"
#include "gui/measure/fvc_testing_dlg.h"
#include "gui/records/user_manage_dlg.h"
#include "gui/report/tava_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {

using MainShellTest = GuiTest;

int livePages(const CMainShellDlg& shell)
{
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return int(shell.findChildren<CPage*>(QString(), Qt::FindDirectChildrenOnly).size());
}

TEST_F(MainShellTest, ShowsOnePageAtATimeAndRefusesUnknownTemplates)
{
    CMainShellDlg& window = openShell();
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(window.windowTitle(), "TAV Spirometer");
    ASSERT_NE(page<CUserManageDlg>(), nullptr);

    EXPECT_EQ(window.ShowPage(223), 0);
    EXPECT_EQ(window.ShowPage(0), 0);
    EXPECT_NE(page<CUserManageDlg>(), nullptr);

    EXPECT_EQ(window.ShowPage(CMainShellDlg::kResultsPage), 1);
    EXPECT_NE(page<CTAVADlg>(), nullptr);
    EXPECT_EQ(livePages(window), 1);
    EXPECT_EQ(window.ShowPage(CMainShellDlg::kLiveTestPage), 1);
    EXPECT_NE(page<CFVCTestingDlg>(), nullptr);
    EXPECT_EQ(livePages(window), 1);
}

TEST_F(MainShellTest, EnterAndEscapeNeverCloseAPage)
{
    addPatient("Ann");
    CMainShellDlg& window = openShell();
    auto* list = window.findChild<QTableView*>("patientList");
    auto* quit = window.findChild<QPushButton*>("quit");
    for (QWidget* target : {static_cast<QWidget*>(list), static_cast<QWidget*>(quit),
                            static_cast<QWidget*>(&window)}) {
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(target, key);
        EXPECT_TRUE(window.isVisible());
        EXPECT_NE(page<CUserManageDlg>(), nullptr);
    }

    window.ShowPage(CMainShellDlg::kResultsPage);
    QApplication::processEvents();
    QTest::keyClick(window.CurrentPage(), Qt::Key_Escape);
    QTest::keyClick(window.CurrentPage(), Qt::Key_Return);
    EXPECT_NE(page<CTAVADlg>(), nullptr);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainShellTest, ClosingTheWindowIsCancelToTheCurrentPage)
{
    CMainShellDlg& window = openShell();
    window.ShowPage(CMainShellDlg::kResultsPage);
    window.close();
    // The results page answers Cancel by going back to the patient list.
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(page<CUserManageDlg>(), nullptr);

    window.ShowPage(CMainShellDlg::kLiveTestPage);
    window.close();
    EXPECT_NE(page<CUserManageDlg>(), nullptr);

    // On the patient list Cancel ends the main window.
    window.close();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainShellTest, CtrlAltAOpensTheAboutBoxOnlyOnTheMainPage)
{
    CMainShellDlg& window = openShell();
    QString about;
    whenModal([&about](QWidget* box) {
        if (auto* text = box->findChild<QLabel*>("versionText"))
            about = text->text();
        QTest::mouseClick(box->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    QTest::keyClick(window.CurrentPage(), Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(about, "TAV 3.1.1 Version ");

    window.ShowPage(CMainShellDlg::kResultsPage);
    QApplication::processEvents();
    QTest::keyClick(window.CurrentPage(), Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainShellTest, HelpOpensTheDocumentOfTheLanguageOrSaysItIsMissing)
{
    CMainShellDlg& window = openShell();
    QList<QUrl> opened;
    SetHelpOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });

    QTest::keyClick(window.CurrentPage(), Qt::Key_F1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Can not find help file!");
    EXPECT_TRUE(opened.isEmpty());

    home.write("TAV(EN).pdf", "%PDF-1.4");
    home.write("TAV(CH).pdf", "%PDF-1.4");
    QTest::keyClick(window.CurrentPage(), Qt::Key_F1);
    Settings().language = "chinese";
    QTest::keyClick(window.CurrentPage(), Qt::Key_F1);
    Settings().language = "Chinese (Taiwan)"; // another language: the English document
    QTest::keyClick(window.CurrentPage(), Qt::Key_F1);
    SetHelpOpener({});
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[0].toLocalFile(), home.path("TAV(EN).pdf"));
    EXPECT_EQ(opened[1].toLocalFile(), home.path("TAV(CH).pdf"));
    EXPECT_EQ(opened[2].toLocalFile(), home.path("TAV(EN).pdf"));
    EXPECT_EQ(messages.size(), 1u);
}

} // namespace
