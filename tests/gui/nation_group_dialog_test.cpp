// The nation-group correction editor: built-in groups and taken names refused,
// adding and deleting a user group, editing one correction, OK recomputing
// predictions.
#include "gui_fixture.h"

#include "core/measure/test_record.h"
#include "core/records/nation_groups.h"
#include "core/records/patient_record.h"
#include "gui/records/modify_predict_dlg.h"
#include "gui/records/predict_mod_dlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

namespace {

class NationGroupDialogTest : public GuiTest {
  protected:
    static void chooseGroup(QWidget* dialog, int group)
    {
        auto* groups = dialog->findChild<QComboBox*>("groups");
        groups->setCurrentIndex(groups->findData(group));
    }
};

TEST_F(NationGroupDialogTest, AUserGroupIsAddedWithItsCorrectionsAndDeletedAgain)
{
    const int ann = addPatient("Ann", 1980, 10);
    openShell();
    shell->findChild<QTableView*>("patientList")->selectRow(0);
    CModifyPredictDlg dialog(db);
    auto* grid = dialog.findChild<QTableWidget*>("grid");
    // The current patient's group is selected on opening.
    EXPECT_EQ(dialog.GroupOfRow(grid->currentRow()), 10);

    press(&dialog, "addPanelToggle");
    EXPECT_TRUE(dialog.findChild<QWidget*>("addPanel")->isVisibleTo(&dialog));
    EXPECT_EQ(dialog.findChild<QPushButton*>("addPanelToggle")->text(), "Modify<<-");
    press(&dialog, "add");
    EXPECT_EQ(messages.back().text, QString::fromUtf8("请输入需要添加的族群名称"));

    QTest::keyClicks(dialog.findChild<QLineEdit*>("newName"), "Nordic");
    press(&dialog, "add");
    EXPECT_EQ(messages.back().text, QString::fromUtf8("添加成功"));
    EXPECT_TRUE(dialog.findChild<QLineEdit*>("newName")->text().isEmpty());
    EXPECT_EQ(grid->rowCount(), 11 * 23);
    EXPECT_EQ(grid->item(dialog.FirstRowOfGroup(11), 1)->text(), "Nordic");

    // The patient moves into the new group; deleting it moves the patient to group 10.
    ASSERT_TRUE(
        db.Execute("update UserInfo set Nation = 11 where ID = ?", {ann}));
    shell->Patient().Nation = 11;
    chooseGroup(&dialog, 11);
    answers = {7};
    press(&dialog, "deleteGroup");
    EXPECT_EQ(messages.back().text, "Are you sure to delete the nation group?");
    EXPECT_EQ(count("SELECT * FROM Race"), 11);
    press(&dialog, "deleteGroup");
    EXPECT_EQ(messages.back().text, "Delete sucessfully!");
    EXPECT_EQ(count("SELECT * FROM Race"), 10);
    EXPECT_EQ(shell->Patient().Nation, 10); // the rows that go with it are the core's test
    EXPECT_EQ(grid->rowCount(), 10 * 23);
}

TEST_F(NationGroupDialogTest, EditingWritesToThePairChosenInTheSmallDialog)
{
    openShell();
    CModifyPredictDlg dialog(db);
    auto* grid = dialog.findChild<QTableWidget*>("grid");
    const int firstOfGroup2 = dialog.FirstRowOfGroup(2);
    whenModal([](QWidget* modal) {
        auto* editor = qobject_cast<CPredictModDlg*>(modal);
        ASSERT_NE(editor, nullptr);
        EXPECT_DOUBLE_EQ(editor->findChild<QLineEdit*>("factor")->text().toDouble(), 1.0);
        auto* parameter = editor->findChild<QComboBox*>("parameter");
        parameter->setCurrentIndex(parameter->findText("FVC"));
        auto* factor = editor->findChild<QLineEdit*>("factor");
        factor->clear();
        QTest::keyClicks(factor, "1.25");
        auto* offset = editor->findChild<QLineEdit*>("offset");
        offset->clear();
        QTest::keyClicks(offset, "-0.1");
        QTest::mouseClick(editor->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    grid->scrollToItem(grid->item(firstOfGroup2, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualItemRect(grid->item(firstOfGroup2, 2)).center());
    EXPECT_EQ(dialog.findChild<QComboBox*>("groups")->currentData().toInt(), 2);
    press(&dialog, "modify");
    // FVC is parameter 17: the values land in its row, not in the row that was opened.
    EXPECT_EQ(count("SELECT * FROM Nation WHERE nNation = 2 AND ParamName = 17 "
                    "AND Multiply = 1.25 AND Additive = -0.1"),
              1);
    EXPECT_EQ(count("SELECT * FROM Nation WHERE nNation = 2 AND ParamName = 1 AND Multiply = 1"),
              1);
    EXPECT_EQ(grid->item(firstOfGroup2 + 16, 3)->text(), "1.25");
    EXPECT_EQ(grid->currentRow(), firstOfGroup2 + 16);
}

TEST_F(NationGroupDialogTest, ABuiltInGroupOrATakenNameIsRefusedWithItsMessage)
{
    openShell();
    CModifyPredictDlg dialog(db);
    EXPECT_EQ(dialog.findChild<QTableWidget*>("grid")->rowCount(), 10 * 23);
    chooseGroup(&dialog, 1);
    press(&dialog, "deleteGroup");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "User not authorized!");
    EXPECT_EQ(messages[0].caption, "Error");
    for (const char* name : {"Chinese", " chinese ", "NOT DEFINED"}) {
        auto* field = dialog.findChild<QLineEdit*>("newName");
        field->clear();
        QTest::keyClicks(field, name);
        press(&dialog, "add");
        EXPECT_EQ(messages.back().text, "A nation group of this name exists already!") << name;
        EXPECT_EQ(field->text(), name); // kept for the user to change
    }
    EXPECT_EQ(count("SELECT * FROM Race"), 10);
    EXPECT_EQ(count("SELECT * FROM Nation"), 230);
}

// A group that an older version let in under a built-in group's name.
TEST_F(NationGroupDialogTest, EditingAUserGroupNamedLikeABuiltInOneChangesThatGroupOnly)
{
    ASSERT_EQ(AddGroup(db, "Chinese (Hakka)"), AddGroupResult::Added);
    ASSERT_TRUE(db.Execute("update Race set Nation = 'Chinese' where ID = 11"));
    openShell();
    CModifyPredictDlg dialog(db);
    auto* grid = dialog.findChild<QTableWidget*>("grid");
    const int row = dialog.FirstRowOfGroup(11);
    ASSERT_GE(row, 0);
    ASSERT_EQ(grid->item(row, 1)->text(), "Chinese"); // looks like group 3's rows
    int preselected = 0;
    whenModal([&preselected](QWidget* modal) {
        auto* editor = qobject_cast<CPredictModDlg*>(modal);
        ASSERT_NE(editor, nullptr);
        preselected = editor->Group();
        auto* factor = editor->findChild<QLineEdit*>("factor");
        factor->clear();
        QTest::keyClicks(factor, "1.5");
        QTest::mouseClick(editor->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    dialog.EditCorrectionRow(row);
    EXPECT_EQ(preselected, 11);
    EXPECT_EQ(count("SELECT * FROM Nation WHERE nNation = 11 AND ParamName = 1 AND "
                    "Multiply = 1.5"),
              1);
    EXPECT_EQ(count("SELECT * FROM Nation WHERE Multiply = 1.5"), 1); // group 3 untouched
    EXPECT_EQ(count("SELECT * FROM Nation WHERE nNation = 3 AND Multiply <> 1"), 0);
}

TEST_F(NationGroupDialogTest, OkRecomputesTheCurrentPatientsPredictedValues)
{
    addPatient("Ann", 1980, 1);
    openShell();
    shell->findChild<QTableView*>("patientList")->selectRow(0);
    const float before = shell->Predicted().FVC;
    ASSERT_GT(before, 0.5f);
    ASSERT_TRUE(db.Execute(
        "update Nation set Multiply = 2 where nNation = 1 and ParamName = 17"));
    CModifyPredictDlg dialog(db);
    press(&dialog, "ok");
    EXPECT_FLOAT_EQ(shell->Predicted().FVC, before * 2);
}

} // namespace
