// The patient list page: messages without a patient, deleting a patient,
// search and sort, and the audit viewer.
#include "gui_fixture.h"

#include "core/accounts/account_store.h"
#include "core/app/app_paths.h"
#include "gui/records/audit_trail_dialog.h"
#include "gui/records/patient_list_page.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

namespace {

class PatientPageTest : public GuiTest {
  protected:
    PatientListPage* openPage()
    {
        openShell();
        return page<PatientListPage>();
    }
    // Picks the first item of the pop-up menu the list opens on a right click.
    QString rightClickAndChoose(QAbstractItemView* view, const QPoint& at)
    {
        auto text = std::make_shared<QString>();
        QTimer::singleShot(50, [text] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                *text = menu->actions().value(0)->text();
                menu->actions().value(0)->trigger();
                menu->close();
            }
        });
        emit view->customContextMenuRequested(at);
        return *text;
    }
};

TEST_F(PatientPageTest, WithoutAPatientEveryTestButtonAndPrintSayWhatIsMissing)
{
    openPage();
    for (const char* name : {"fvcTest", "vcTest", "mvvTest", "print"})
        click(name);
    EXPECT_EQ(shownTexts(), (QStringList{"There is no User!", "There is no case!",
                                         "There is no case!", "There is no User!"}));
    for (const ShownMessage& m : messages) {
        EXPECT_EQ(m.caption, "Prompt");
        EXPECT_EQ(m.type, 0);
    }
    EXPECT_NE(page<PatientListPage>(), nullptr);

    // Patients in the list but none selected: the same messages.
    messages.clear();
    addPatient("Ann");
    page<PatientListPage>()->FillPatients();
    click("fvcTest");
    click("deleteDay");
    click("trend");
    EXPECT_EQ(shownTexts(),
              (QStringList{"There is no User!", "Please select testing datetime in the list!",
                           "There is no case!"}));
}

TEST_F(PatientPageTest, DeletingTheSelectedPatientRemovesItsFolderAndRows)
{
    const int ann = addPatient("Ann");
    const int bob = addPatient("Bob");
    addTest(bob, "1.dt", "2026-03-04 09:00:00", 0);
    addTest(bob, "2.dt", "2026-03-05 09:00:00", 1);
    addTest(ann, "1.dt", "2026-03-04 09:00:00", 0);
    PatientListPage* list = openPage();
    selectPatientRow(1);
    ASSERT_TRUE(QDir(AppPaths::PatientCaseFolder(bob)).exists());

    // Cancel keeps everything.
    answers = {2};
    auto* view = shell->findChild<QTableView*>("patientList");
    const QPoint row = view->visualRect(view->model()->index(1, 0)).center();
    EXPECT_EQ(rightClickAndChoose(view, row), "Delete");
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE ID = ?", {bob}), 1);

    rightClickAndChoose(view, row);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Are you sure to delete the all information of this user?");
    EXPECT_EQ(messages[1].type, 1);
    // What else goes with a patient is the case store's test.
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE ID = ?", {bob}), 0);
    EXPECT_FALSE(QDir(AppPaths::PatientCaseFolder(bob)).exists());
    EXPECT_EQ(view->model()->rowCount(), 1);
    EXPECT_EQ(shell->SelectedPatientTag(), "");
    EXPECT_EQ(shell->CurrentPatientId(), 0);
    EXPECT_EQ(list->Days(), QStringList());
}

TEST_F(PatientPageTest, SearchAndSortKeepTheCurrentPatientSelected)
{
    addPatient("Zoe Meyer", 1950);
    const int adam = addPatient("adam Smith", 1990);
    addPatient("Bea Adams", 1960);
    addPatient("Chen Wei", 2000);
    openShell();
    auto* list = shell->findChild<QTableView*>("patientList");
    auto* search = shell->findChild<QLineEdit*>("patientSearch");
    ASSERT_NE(search, nullptr);
    auto shownNames = [list] {
        QStringList names;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            names << list->model()->index(row, 2).data().toString();
        return names;
    };
    selectPatientRow(1);
    ASSERT_EQ(shell->CurrentPatientId(), adam);

    // Typed letter by letter, as the user does.
    QTest::keyClicks(search, "ada");
    EXPECT_EQ(shownNames(), (QStringList{"adam Smith", "Bea Adams"}));
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), adam);
    QTest::keyClicks(search, "m s");
    EXPECT_EQ(shownNames(), QStringList{"adam Smith"});
    QTest::keyClick(search, Qt::Key_Backspace);
    QTest::keyClick(search, Qt::Key_Backspace);
    QTest::keyClick(search, Qt::Key_Backspace);
    QTest::keyClick(search, Qt::Key_Backspace);
    QTest::keyClicks(search, "0000000");
    EXPECT_TRUE(shownNames().isEmpty());
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), 0);
    EXPECT_EQ(shell->CurrentPatientId(), adam); // hidden by the search, still current
    search->clear();
    EXPECT_EQ(shownNames().size(), 4);
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), adam);

    // Sorting by a column (what a click on its header does) moves the selection with the
    // patient.
    list->sortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(shownNames(), (QStringList{"Bea Adams", "Chen Wei", "Zoe Meyer", "adam Smith"}));
    EXPECT_EQ(list->selectionModel()->selectedRows().value(0).row(), 3);
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), adam);
    list->sortByColumn(4, Qt::AscendingOrder); // age: the youngest first
    EXPECT_EQ(shownNames(), (QStringList{"Chen Wei", "adam Smith", "Bea Adams", "Zoe Meyer"}));
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), adam);
    EXPECT_EQ(shell->CurrentPatientId(), adam);
}

// Once accounts are on, only an administrator opens the audit trail; the
// viewer names the first broken row and writes the rows shown as CSV.
TEST_F(PatientPageTest, TheAuditViewerIsForAdministratorsAndNamesABrokenRow)
{
    QString error;
    ASSERT_TRUE(
        AccountStore(db).Add(Actor::Unchecked(), "admin", Role::Admin, "admin-secret", &error));
    const Actor admin{"admin", Role::Admin, "ws", true};
    ASSERT_TRUE(AccountStore(db).Add(admin, "tech", Role::Technician, "tech-secret", &error));
    openShell();
    shell->SetUser(Actor{"tech", Role::Technician, "ws", true});
    shell->ShowPage(MainWindow::kMainPage);
    EXPECT_TRUE(page<PatientListPage>()->findChild<QPushButton*>("audit")->isHidden());
    page<PatientListPage>()->OnAudit();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("needs the role admin"));
    shell->SetUser(admin);
    shell->ShowPage(MainWindow::kMainPage);
    EXPECT_FALSE(page<PatientListPage>()->findChild<QPushButton*>("audit")->isHidden());

    ASSERT_TRUE(db.Execute("DROP TRIGGER AuditLog_no_update"));
    ASSERT_TRUE(db.Execute("UPDATE AuditLog SET NewValue = 'role admin' WHERE Seq = 2"));
    AuditTrailDialog viewer(db);
    EXPECT_TRUE(viewer.findChild<QLabel*>("auditChain")->text().contains("row 2"));
    viewer.findChild<QLineEdit*>("auditUser")->setText("nobody");
    viewer.Refresh();
    EXPECT_EQ(viewer.findChild<QTableWidget*>("auditRows")->rowCount(), 0);
    viewer.findChild<QLineEdit*>("auditUser")->setText("admin");
    viewer.Refresh();
    EXPECT_EQ(viewer.findChild<QTableWidget*>("auditRows")->rowCount(), 2);
    ASSERT_TRUE(viewer.ExportCsv(home.path("audit.csv")));
    const QByteArray csv = home.read("audit.csv");
    EXPECT_TRUE(csv.contains("\"account tech\""));
    EXPECT_FALSE(csv.contains("argon2") || csv.contains("tech-secret"));
}

} // namespace
