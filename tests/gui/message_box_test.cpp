// The program's own message box: button sets 0, 1 and 4, the ids it returns,
// and button texts from the language tables.
#include "gui_fixture.h"

#include "gui/app/message_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

class MessageBoxTest : public GuiTest {
  protected:
    // Shows the real box (no hook) and clicks the button whose text is `press`.
    int answerBy(int type, const QString& press, QStringList* buttonTexts = nullptr)
    {
        SetMessageHook({});
        whenModal([press, buttonTexts](QWidget* box) {
            QPushButton* target = nullptr;
            for (QPushButton* b : box->findChildren<QPushButton*>()) {
                if (buttonTexts)
                    *buttonTexts << b->text();
                if (b->text() == press)
                    target = b;
            }
            if (target)
                QTest::mouseClick(target, Qt::LeftButton);
            else
                box->close();
        });
        return ShowMessage("Are you sure?", "Prompt", type);
    }
};

TEST_F(MessageBoxTest, EachButtonSetAnswersWithItsIds)
{
    QStringList texts;
    EXPECT_EQ(answerBy(0, "OK", &texts), 1);
    EXPECT_EQ(texts, QStringList{"OK"});

    texts.clear();
    EXPECT_EQ(answerBy(1, "OK", &texts), 1);
    EXPECT_EQ(texts, (QStringList{"OK", "Cancel"}));
    EXPECT_EQ(answerBy(1, "Cancel"), 2);

    texts.clear();
    EXPECT_EQ(answerBy(4, "Yes", &texts), 6);
    EXPECT_EQ(texts, (QStringList{"Yes", "No"}));
    EXPECT_EQ(answerBy(4, "No"), 7);
}

TEST_F(MessageBoxTest, ButtonTextsComeFromTheLanguageFile)
{
    home.write("Language/Deutsch.txt", "[MESSAGE]\r\n1167=Ja\r\n1166=Nein\r\n");
    Settings().language = "Deutsch";
    QStringList texts;
    EXPECT_EQ(answerBy(4, "Nein", &texts), 7);
    EXPECT_EQ(texts, (QStringList{"Ja", "Nein"}));
}

TEST_F(MessageBoxTest, YesHasTheFocusAndEscapeNeverGivesAnUnexpectedId)
{
    CMessageDlg yesNo("Save?", "Prompt", 4);
    yesNo.show();
    QApplication::processEvents();
    auto* yes = yesNo.findChild<QPushButton*>("answer6");
    ASSERT_NE(yes, nullptr);
    EXPECT_TRUE(yes->hasFocus() || yes->isDefault());
    EXPECT_EQ(yesNo.findChild<QLabel*>("1194")->text(), "Save?");
    QTest::keyClick(&yesNo, Qt::Key_Escape);
    EXPECT_EQ(yesNo.result(), 7);

    CMessageDlg okOnly("Done", "Prompt", 0);
    okOnly.show();
    QTest::keyClick(&okOnly, Qt::Key_Escape);
    EXPECT_EQ(okOnly.result(), 1);
}

TEST_F(MessageBoxTest, ButtonsKeepTheirMarginsInsideTheBox)
{
    CMessageDlg box("Text", "Prompt", 1);
    box.resize(400, 200);
    box.show();
    QApplication::processEvents();
    for (QPushButton* b : box.findChildren<QPushButton*>()) {
        EXPECT_GE(b->geometry().left(), 40);
        EXPECT_LE(b->geometry().right(), 360);
        EXPECT_LE(b->geometry().bottom(), 180);
    }
}

} // namespace
