// The patient editor driven through the patient list page: new patients,
// edits with and without changes, range messages, the taken number, delete.
#include "gui_fixture.h"

#include "core/app/app_paths.h"
#include "core/records/patient_record.h"
#include "gui/records/patient_editor.h"
#include "gui/records/patient_list_page.h"

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
    // Opens the editor with the page's button and runs `steps` in it.
    void edit(std::function<void(PatientEditor*)> steps)
    {
        whenModal([steps](QWidget* dialog) {
            auto* editor = qobject_cast<PatientEditor*>(dialog);
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
    edit([&newMode](PatientEditor* editor) {
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

TEST_F(PatientEditorTest, RangesAndEmptyFieldsKeepTheDialogOpen)
{
    addPatient("Ann");
    openShell();
    selectPatientRow(0);
    QList<int> heightsAfter;
    edit([&](PatientEditor* editor) {
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
    edit([](PatientEditor* editor) {
        type(editor->findChild<QSpinBox*>("height"), "181");
        press(editor, "save");
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "The user information have been reworked, do you want to save or not?");
    EXPECT_EQ(messages[0].type, 4);
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE Height = 181"), 0);

    edit([](PatientEditor* editor) {
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
    edit([](PatientEditor* editor) {
        type(editor->findChild<QLineEdit*>("number"), "00000002");
        press(editor, "save");
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "The ID is exiting!");
}

} // namespace
