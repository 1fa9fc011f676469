// The patient list page and its patient editor: messages without a patient,
// new patients, edits with and without changes, range messages, deleting,
// search and sort, the audit viewer, and requests of the practice system.
#include "gui_fixture.h"

#include "core/accounts/account_store.h"
#include "core/app/lang_text.h"
#include "core/exchange/exchange_settings.h"
#include "gui/app/gdt_inbox.h"
#include "gui/records/audit_trail_dialog.h"
#include "gui/records/patient_editor.h"
#include "gui/records/patient_list_page.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

namespace {

class PatientPageTest : public GuiTest {
  protected:
    QTableView* list() const { return child<QTableView>(shell.get(), "patientList"); }
    QStringList shownNames() const
    {
        QStringList names;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            names << list()->model()->index(row, 2).data().toString();
        return names;
    }
    static void type(QWidget* parent, const char* name, const QString& text)
    {
        QWidget* field = child<QWidget>(parent, name);
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->clear();
        if (auto* spin = qobject_cast<QAbstractSpinBox*>(field))
            spin->selectAll();
        QTest::keyClicks(field, text);
    }
};

TEST_F(PatientPageTest, WithoutAPatientEveryTestButtonAndPrintSayWhatIsMissing)
{
    openShell();
    for (const char* name : {"fvcTest", "vcTest", "mvvTest", "print"})
        click(name);
    EXPECT_EQ(shownTexts(), (QStringList{"There is no User!", "There is no case!",
                                         "There is no case!", "There is no User!"}));
    for (const ShownMessage& m : messages)
        EXPECT_EQ(m.caption, "Prompt");
    EXPECT_NE(page<PatientListPage>(), nullptr);

    // Patients in the list but none selected: the same messages.
    messages.clear();
    addPatient("Ann");
    page<PatientListPage>()->FillPatients();
    for (const char* name : {"fvcTest", "deleteDay", "trend"})
        click(name);
    EXPECT_EQ(shownTexts(),
              (QStringList{"There is no User!", "Please select testing datetime in the list!",
                           "There is no case!"}));
}

TEST_F(PatientPageTest, ANewPatientAppearsInTheListAndBecomesTheCurrentOne)
{
    openShell();
    bool newMode = false;
    inModal(shell.get(), "user", [&newMode](QWidget* editor) {
        newMode = qobject_cast<PatientEditor*>(editor)->IsNewPatientMode();
        EXPECT_EQ(child<QLineEdit>(editor, "number")->text(), "00000001");
        EXPECT_EQ(child<QSpinBox>(editor, "age")->value(), 25);
        EXPECT_FALSE(child(editor, "register")->isEnabled());
        // Typed text beyond ASCII arrives as one input, as from an input method.
        child<QLineEdit>(editor, "name")->insert("Zoë O'Brien");
        press(editor, "save");
    });
    EXPECT_TRUE(newMode);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(shownNames(), QStringList{"Zoë O'Brien"});
    EXPECT_EQ(shell->CurrentPatientId(), 1);
    EXPECT_EQ(shell->SelectedPatientTag(), "Zoë O'Brien");
}

TEST_F(PatientPageTest, AnEditIsSavedOnlyValidAndAfterYes)
{
    addPatient("Ann");
    addPatient("Bob");
    openShell();
    selectPatientRow(0);
    QList<int> heightsAfter;
    answers = {1, 1, 1, 7}; // the three errors, then No
    inModal(shell.get(), "user", [&heightsAfter](QWidget* editor) {
        type(editor, "height", "300");
        press(editor, "save");
        heightsAfter
            << child<QSpinBox>(editor, "height")->value(); // edit mode keeps what was typed
        type(editor, "height", "170");
        type(editor, "weight", "12");
        press(editor, "save");
        type(editor, "weight", "70");
        type(editor, "name", "");
        press(editor, "save");
        type(editor, "name", "Ann");
        type(editor, "height", "181");
        press(editor, "save"); // "save the changes?" No
    });
    ASSERT_EQ(
        shownTexts(),
        (QStringList{"Please input a integer : 80--240 !", "Please input a integer : 15--250 !",
                     "The name must be not null!",
                     "The user information have been reworked, do you want to save or not?"}));
    EXPECT_EQ(heightsAfter, QList<int>{300});
    EXPECT_EQ(messages[2].caption, "Error");
    EXPECT_EQ(messages[3].type, 4);
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE Height = 181"), 0);

    inModal(shell.get(), "user", [](QWidget* editor) {
        type(editor, "height", "181");
        type(editor, "name", "Anna");
        press(editor, "save");
    });
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE Height = 181 AND FirstName = 'Anna'"), 1);
    EXPECT_EQ(shownNames().value(0), "Anna");

    // Another patient's number is refused.
    messages.clear();
    inModal(shell.get(), "user", [](QWidget* editor) {
        type(editor, "number", "00000002");
        press(editor, "save");
    });
    EXPECT_EQ(shownTexts(), QStringList{"The ID is exiting!"});
}

TEST_F(PatientPageTest, DeletingTheSelectedPatientAsksAndRemovesIt)
{
    addPatient("Ann");
    const int bob = addPatient("Bob");
    openShell();
    selectPatientRow(1);
    // Picks the first item of the pop-up menu the list opens on a right click.
    const auto deleteFromMenu = [this] {
        auto text = std::make_shared<QString>();
        QTimer::singleShot(50, [text] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                *text = menu->actions().value(0)->text();
                menu->actions().value(0)->trigger();
                menu->close();
            }
        });
        emit list()->customContextMenuRequested(
            list()->visualRect(list()->model()->index(1, 0)).center());
        return *text;
    };
    answers = {2}; // Cancel keeps everything
    EXPECT_EQ(deleteFromMenu(), "Delete");
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE ID = ?", {bob}), 1);

    deleteFromMenu();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Are you sure to delete the all information of this user?");
    EXPECT_EQ(shownNames(), QStringList{"Ann"});
    EXPECT_EQ(shell->SelectedPatientTag(), "");
    EXPECT_EQ(shell->CurrentPatientId(), 0);
}

TEST_F(PatientPageTest, SearchAndSortKeepTheCurrentPatientSelected)
{
    addPatient("Zoe Meyer", 1950);
    const int adam = addPatient("adam Smith", 1990);
    addPatient("Bea Adams", 1960);
    addPatient("Chen Wei", 2000);
    openShell();
    auto* search = child<QLineEdit>(shell.get(), "patientSearch");
    ASSERT_NE(search, nullptr);
    selectPatientRow(1);
    ASSERT_EQ(shell->CurrentPatientId(), adam);

    // Typed letter by letter, as the user does.
    QTest::keyClicks(search, "ada");
    EXPECT_EQ(shownNames(), (QStringList{"adam Smith", "Bea Adams"}));
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), adam);
    QTest::keyClicks(search, "m s");
    EXPECT_EQ(shownNames(), QStringList{"adam Smith"});
    search->setText("nobody");
    EXPECT_TRUE(shownNames().isEmpty());
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), 0);
    EXPECT_EQ(shell->CurrentPatientId(), adam); // hidden by the search, still current
    search->clear();
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), adam);

    // Sorting by a column (what a click on its header does) moves the selection with the patient.
    list()->sortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(shownNames(), (QStringList{"Bea Adams", "Chen Wei", "Zoe Meyer", "adam Smith"}));
    EXPECT_EQ(list()->selectionModel()->selectedRows().value(0).row(), 3);
    list()->sortByColumn(4, Qt::AscendingOrder); // age: the youngest first
    EXPECT_EQ(shownNames(), (QStringList{"Chen Wei", "adam Smith", "Bea Adams", "Zoe Meyer"}));
    EXPECT_EQ(page<PatientListPage>()->SelectedPatientId(), adam);
}

// Once accounts are on, only an administrator opens the audit trail; the
// viewer names the first broken row and filters by user.
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
    EXPECT_TRUE(child(current(), "audit")->isHidden());
    page<PatientListPage>()->OnAudit();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("needs the role admin"));
    shell->SetUser(admin);
    shell->ShowPage(MainWindow::kMainPage);
    EXPECT_FALSE(child(current(), "audit")->isHidden());

    ASSERT_TRUE(db.Execute("DROP TRIGGER AuditLog_no_update"));
    ASSERT_TRUE(db.Execute("UPDATE AuditLog SET NewValue = 'role admin' WHERE Seq = 2"));
    AuditTrailDialog viewer(db);
    EXPECT_TRUE(child<QLabel>(&viewer, "auditChain")->text().contains("row 2"));
    for (const auto& [user, rows] : {std::pair{"nobody", 0}, std::pair{"admin", 2}}) {
        child<QLineEdit>(&viewer, "auditUser")->setText(user);
        viewer.Refresh();
        EXPECT_EQ(child<QTableWidget>(&viewer, "auditRows")->rowCount(), rows) << user;
    }
    ASSERT_TRUE(viewer.ExportCsv(home.path("audit.csv")));
    EXPECT_TRUE(home.read("audit.csv").contains("\"account tech\""));
}

QByteArray gdtLine(const char* field, const QByteArray& content)
{
    return QByteArray::number(9 + content.size()).rightJustified(3, '0') + field + content + "\r\n";
}

// One look of the inbox, its file read on the worker: whether a request was taken.
bool look(GdtInbox& inbox)
{
    QSignalSpy looked(&inbox, &GdtInbox::Looked);
    inbox.Poll();
    return looked.wait(1000) && looked.front().front().toBool();
}

// The request's patient becomes the current one; a refused request, a request
// waiting for another program's lock (said once) and another person's number
// are each told.
TEST_F(PatientPageTest, GdtInboxSelectsThePatientOfARequestAndTellsWhatItCouldNotTake)
{
    openShell();
    ExchangeSettings settings;
    settings.gdtFolder = home.path("gdt");
    QDir().mkpath(settings.gdtFolder);
    ASSERT_TRUE(settings.Save(AppPaths::SettingsFile()));
    GdtInbox inbox(*shell, 3600 * 1000); // polled by hand here
    EXPECT_FALSE(look(inbox));

    const QByteArray request = gdtLine("8000", "6301") + gdtLine("9206", "3") +
                               gdtLine("3000", "P-77") + gdtLine("3101", "Lind") +
                               gdtLine("3102", "Ola") + gdtLine("3103", "02031955") +
                               gdtLine("3110", "1");
    home.write("gdt/TAVSPRAX.GDT", request);
    ASSERT_TRUE(look(inbox));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(shell->Patient().Name, "Lind, Ola");
    EXPECT_EQ(shell->CurrentPatientId(), shell->Patient().ID);
    EXPECT_EQ(shell->CurrentPage()->Template(), MainWindow::kMainPage); // no test was asked for

    QByteArray broken = request;
    broken.replace(gdtLine("3110", "1"), gdtLine("3110", "9"));
    home.write("gdt/TAVSPRAX.GDT", broken);
    EXPECT_FALSE(look(inbox));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(GetLangText("EXCHANGE", 2709)));

    home.write("gdt/TAVSPRAX.GDT", request);
    {
        Database other;
        ASSERT_TRUE(other.Open(home.path("data.mdb")));
        ASSERT_TRUE(other.Execute("BEGIN EXCLUSIVE"));
        shell->Db().Execute("PRAGMA busy_timeout = 0");
        EXPECT_FALSE(look(inbox));
        EXPECT_FALSE(look(inbox));
        other.Execute("ROLLBACK");
    }
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_TRUE(look(inbox));

    // Another person's number: a new number when chosen, else refused.
    QByteArray stranger = request;
    stranger.replace(gdtLine("3102", "Ola"), gdtLine("3102", "Per"));
    for (const int answer : {7, 6}) {
        home.write("gdt/TAVSPRAX.GDT", stranger);
        answers = {answer};
        EXPECT_EQ(look(inbox), answer == 6);
    }
    ASSERT_EQ(messages.size(), 4u); // asked each time
    EXPECT_TRUE(messages[2].text.contains("Lind, Per")) << messages[2].text.toStdString();
    EXPECT_EQ(shell->Patient().Name, "Lind, Per");
}

} // namespace
