// The patient editor driven through the patient list page: new patients,
// edits with and without changes, range messages, the taken number, delete.
#include "gui_fixture.h"

#include "core/app/app_paths.h"
#include "core/records/patient_record.h"
#include "gui/records/patient_edit_dlg.h"
#include "gui/records/user_manage_dlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

namespace {

class PatientEditorTest : public GuiTest {
  protected:
    void selectPatientRow(int row)
    {
        auto* list = shell->findChild<QTableView*>("patientList");
        list->selectRow(row);
    }
    // Opens the editor with the page's button and runs `steps` in it.
    void edit(std::function<void(CPatientEditDlg*)> steps)
    {
        whenModal([steps](QWidget* dialog) {
            auto* editor = qobject_cast<CPatientEditDlg*>(dialog);
            ASSERT_NE(editor, nullptr);
            steps(editor);
            if (editor->isVisible())
                editor->reject();
        });
        QTest::mouseClick(shell->findChild<QPushButton*>("user"), Qt::LeftButton);
    }
    static void type(QWidget* field, const QString& text)
    {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->clear();
        if (auto* spin = qobject_cast<QAbstractSpinBox*>(field))
            spin->selectAll();
        QTest::keyClicks(field, text);
    }
    int totalChanges()
    {
        QSqlQuery query(db.Connection());
        query.exec("SELECT total_changes()");
        return query.next() ? query.value(0).toInt() : -1;
    }
};

TEST_F(PatientEditorTest, ANewPatientAppearsInTheListWithItsCaseFolder)
{
    openShell();
    bool newMode = false;
    edit([&newMode](CPatientEditDlg* editor) {
        newMode = editor->IsNewPatientMode();
        EXPECT_EQ(editor->findChild<QLineEdit*>("number")->text(), "00000001");
        EXPECT_EQ(editor->findChild<QSpinBox*>("age")->value(), 25);
        EXPECT_EQ(editor->findChild<QComboBox*>("nation")->currentData().toInt(), 10);
        EXPECT_FALSE(editor->findChild<QPushButton*>("register")->isEnabled());
        // Typed text beyond ASCII arrives as one input, as from an input method.
        editor->findChild<QLineEdit*>("name")->insert("Zoë O'Brien");
        press(editor, "save");
    });
    EXPECT_TRUE(newMode);
    EXPECT_TRUE(messages.empty());
    auto* list = shell->findChild<QTableView*>("patientList");
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(list->model()->index(0, 2).data().toString(), "Zoë O'Brien");
    EXPECT_EQ(list->model()->index(0, 1).data().toString(), "00000001");
    EXPECT_EQ(list->model()->index(0, 4).data().toInt(), 25);
    EXPECT_TRUE(QDir(home.path("Case/1")).exists());
    EXPECT_EQ(shell->CurrentPatientId(), 1);
    EXPECT_EQ(shell->SelectedPatientTag(), "Zoë O'Brien");
}

TEST_F(PatientEditorTest, EditingAndChangingNothingClosesWithoutAnyStatement)
{
    addPatient("Ann", 1970);
    openShell();
    selectPatientRow(0);
    const int before = totalChanges();
    bool closed = false;
    edit([&closed](CPatientEditDlg* editor) {
        EXPECT_FALSE(editor->IsNewPatientMode());
        EXPECT_EQ(editor->findChild<QLineEdit*>("name")->text(), "Ann");
        press(editor, "save");
        closed = !editor->isVisible();
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(totalChanges(), before);
}

TEST_F(PatientEditorTest, RangesAndEmptyFieldsKeepTheDialogOpen)
{
    addPatient("Ann");
    openShell();
    selectPatientRow(0);
    QList<int> heightsAfter;
    edit([&](CPatientEditDlg* editor) {
        auto* height = editor->findChild<QSpinBox*>("height");
        type(height, "300");
        press(editor, "save");
        heightsAfter << height->value(); // edit mode keeps what was typed
        type(height, "170");
        type(editor->findChild<QSpinBox*>("weight"), "12");
        press(editor, "save");
        type(editor->findChild<QSpinBox*>("weight"), "70");
        type(editor->findChild<QLineEdit*>("name"), "");
        press(editor, "save");
    });
    EXPECT_EQ(shownTexts(),
              (QStringList{"Please input a integer : 80--240 !",
                           "Please input a integer : 15--250 !", "The name must be not null!"}));
    EXPECT_EQ(heightsAfter, QList<int>{300});
    EXPECT_EQ(messages.back().caption, "Error");
}

TEST_F(PatientEditorTest, AChangedPatientIsSavedOnlyAfterYes)
{
    addPatient("Ann");
    addPatient("Bob");
    openShell();
    selectPatientRow(0);

    answers = {7};
    edit([](CPatientEditDlg* editor) {
        type(editor->findChild<QSpinBox*>("height"), "181");
        press(editor, "save");
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "The user information have been reworked, do you want to save or not?");
    EXPECT_EQ(messages[0].type, 4);
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE Height = 181"), 0);

    edit([](CPatientEditDlg* editor) {
        type(editor->findChild<QSpinBox*>("height"), "181");
        type(editor->findChild<QLineEdit*>("name"), "Anna");
        press(editor, "save");
    });
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE Height = 181 AND FirstName = 'Anna'"), 1);
    EXPECT_EQ(shell->Patient().Height, 181);
    EXPECT_EQ(shell->SelectedPatientTag(), "Anna");
    auto* list = shell->findChild<QTableView*>("patientList");
    EXPECT_EQ(list->model()->index(0, 2).data().toString(), "Anna");

    // Another patient's number is refused.
    messages.clear();
    edit([](CPatientEditDlg* editor) {
        type(editor->findChild<QLineEdit*>("number"), "00000002");
        press(editor, "save");
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "The ID is exiting!");
}

TEST_F(PatientEditorTest, AgeAndBirthDateFollowEachOther)
{
    openShell();
    edit([](CPatientEditDlg* editor) {
        auto* age = editor->findChild<QSpinBox*>("age");
        auto* birth = editor->findChild<QDateEdit*>("birthdate");
        const QDate today = QDate::currentDate();
        birth->setDate(QDate(today.year() - 120, 1, 1));
        EXPECT_EQ(age->value(), 120); // the age that will be stored, not a clamped one
        birth->setDate(QDate(today.year() - 3, 1, 1));
        EXPECT_EQ(age->value(), 3);
        birth->setDate(today.addDays(1)); // the picker ends today
        EXPECT_LE(birth->date(), today);
        birth->setDate(QDate(today.year() - 40, 2, 28));
        EXPECT_EQ(age->value(), 40);
        type(age, "30");
        EXPECT_EQ(birth->date(), QDate(today.year() - 30, 2, 28));
    });
}

// New patients get GLI Global 2022, whose equations start at 3 years; the
// older sets start at 6. The message names the set and its range.
TEST_F(PatientEditorTest, ATooRecentBirthDateForTheChosenSetIsNotSaved)
{
    openShell();
    QStringList shownAges;
    int arrowFloor = -1;
    edit([&](CPatientEditDlg* editor) {
        type(editor->findChild<QLineEdit*>("name"), "Baby");
        auto* birth = editor->findChild<QDateEdit*>("birthdate");
        auto* age = editor->findChild<QSpinBox*>("age");
        auto* standard = editor->findChild<QComboBox*>("standard");
        EXPECT_EQ(standard->currentIndex(), 4);
        birth->setDate(QDate::currentDate().addYears(-2));
        press(editor, "save");
        EXPECT_TRUE(editor->isVisible());
        shownAges << age->text();
        // After the message the age is the nearest allowed and the birth date follows it.
        EXPECT_EQ(AgeFromBirthdate(birth->date()), age->value());
        age->stepBy(-5);
        arrowFloor = age->value(); // the arrows stop at the set's first age
        standard->setCurrentIndex(0); // ERS
        press(editor, "save");
        shownAges << age->text();
        EXPECT_TRUE(editor->isVisible());
    });
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "GLI Global 2022 covers ages 3 to 95 years: please enter an age within this range.");
    EXPECT_EQ(messages[1].text, "ERS covers ages 6 to 100 years: please enter an age within this range.");
    EXPECT_EQ(shownAges, (QStringList{"3", "6"}));
    EXPECT_EQ(arrowFloor, 3);
    EXPECT_EQ(count("SELECT * FROM UserInfo"), 0);
}

TEST_F(PatientEditorTest, AThreeYearOldIsRegisteredOnAGliSet)
{
    openShell();
    edit([&](CPatientEditDlg* editor) {
        type(editor->findChild<QLineEdit*>("name"), "Toddler");
        editor->findChild<QDateEdit*>("birthdate")->setDate(QDate::currentDate().addYears(-3).addDays(-10));
        type(editor->findChild<QSpinBox*>("height"), "95");
        type(editor->findChild<QSpinBox*>("weight"), "15");
        press(editor, "save");
    });
    EXPECT_TRUE(messages.empty()) << shownTexts().join('|').toStdString();
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE Standard = 4 AND Height = 95"), 1);
}

// Two later edits keeping the number are the records rules' own test.
TEST_F(PatientEditorTest, ATypedNumberIsStoredAndNotGivenTwice)
{
    openShell();
    edit([&](CPatientEditDlg* editor) {
        type(editor->findChild<QLineEdit*>("name"), "Ann");
        type(editor->findChild<QLineEdit*>("number"), "HOSP-4711");
        press(editor, "save");
    });
    ASSERT_TRUE(messages.empty());
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE ptID = 'HOSP-4711'"), 1);

    // The next new patient is offered, and gets, a number nobody has.
    edit([&](CPatientEditDlg* editor) {
        press(editor, "register");
        EXPECT_EQ(editor->findChild<QLineEdit*>("number")->text(), "00000002");
        type(editor->findChild<QLineEdit*>("name"), "Bob");
        type(editor->findChild<QLineEdit*>("number"), "HOSP-4711");
        press(editor, "save");
        EXPECT_TRUE(editor->isVisible());
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "The ID is exiting!");
    EXPECT_EQ(count("SELECT * FROM UserInfo"), 1);
}

TEST_F(PatientEditorTest, RegisterSwitchesToANewPatientAndDeleteRemovesTheCurrentOne)
{
    addPatient("Ann");
    const int bob = addPatient("Bob");
    addTest(bob, "1.dt", "2026-01-02 10:00:00", 0);
    openShell();
    selectPatientRow(1);
    edit([](CPatientEditDlg* editor) {
        press(editor, "register");
        EXPECT_TRUE(editor->IsNewPatientMode());
        EXPECT_EQ(editor->findChild<QLineEdit*>("number")->text(), "00000003");
        EXPECT_FALSE(editor->findChild<QPushButton*>("delete")->isEnabled());
    });
    EXPECT_EQ(count("SELECT * FROM UserInfo"), 2);

    edit([](CPatientEditDlg* editor) { press(editor, "delete"); });
    EXPECT_EQ(messages.back().text, "Are you sure to delete the all information of this user?");
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE ID = ?", {bob}), 0);
    EXPECT_EQ(count("SELECT * FROM CaseInfo"), 0);
    EXPECT_FALSE(QDir(home.path("Case/2")).exists());
    EXPECT_EQ(shell->findChild<QTableView*>("patientList")->model()->rowCount(), 1);
}

} // namespace
