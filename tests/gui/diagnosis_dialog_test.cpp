// The diagnosis dialog and its phrase list.
#include "gui_fixture.h"

#include "core/records/diagnosis.h"
#include "gui/records/diagnose_dlg.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

class DiagnosisDialogTest : public GuiTest {
  protected:
    // Presses Add and picks the phrases at `rows` in the list.
    static void addPhrases(QWidget* dialog, QList<int> rows)
    {
        whenModal([rows](QWidget* list) {
            auto* phrases = list->findChild<QListWidget*>("phrases");
            EXPECT_EQ(phrases->count(), 40);
            for (int row : rows)
                QTest::mouseClick(phrases->viewport(), Qt::LeftButton, {},
                                  phrases->visualItemRect(phrases->item(row)).center());
            QTest::mouseClick(list->findChild<QPushButton*>("ok"), Qt::LeftButton);
        });
        QTest::mouseClick(dialog->findChild<QPushButton*>("add"), Qt::LeftButton);
    }
    QString folder() { return home.path("Case/1"); }
    DiagnosisRecord record;
};

TEST_F(DiagnosisDialogTest, ThreePhrasesAddedToAnEmptyDiagnosisGiveThreeLines)
{
    home.write("Case/1/.keep", "");
    CDiagnoseDlg dialog(db, 1, "2026-03-04", record);
    addPhrases(&dialog, {12, 0, 6}); // picked out of order, added in list order
    EXPECT_EQ(dialog.ResultText(), "Asthma\r\nCOPD\r\nLung function test within normal limits");

    QTest::keyClicks(dialog.findChild<QLineEdit*>("physician"), "Dr. Wu");
    QTest::mouseClick(dialog.findChild<QPushButton*>("ok"), Qt::LeftButton);
    DiagnosisRecord saved;
    LoadDiagnosis(folder() + "/2026-03-04.dia", saved);
    EXPECT_EQ(saved.Physician, "Dr. Wu");
    EXPECT_EQ(saved.Result, "Asthma\r\nCOPD\r\nLung function test within normal limits");
    EXPECT_EQ(record.Result, saved.Result);
}

TEST_F(DiagnosisDialogTest, MoreThanEightLinesAreRefusedAndTheTextKept)
{
    CDiagnoseDlg dialog(db, 1, "2026-03-04", record);
    auto* result = dialog.findChild<QPlainTextEdit*>("result");
    result->setPlainText("1\n2\n3\n4\n5\n6");
    addPhrases(&dialog, {0, 1, 2}); // eight line breaks
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(result->toPlainText(), "1\n2\n3\n4\n5\n6");
    addPhrases(&dialog, {0});
    EXPECT_EQ(result->toPlainText(), "1\n2\n3\n4\n5\n6\nAsthma");
}

TEST_F(DiagnosisDialogTest, TooLongADiagnosisKeepsTheDialogOpenWithItsText)
{
    home.write("Case/1/.keep", "");
    CDiagnoseDlg earlier(db, 1, "2026-03-04", record);
    earlier.findChild<QPlainTextEdit*>("result")->setPlainText("earlier");
    QTest::mouseClick(earlier.findChild<QPushButton*>("ok"), Qt::LeftButton);
    const QByteArray before = home.read("Case/1/2026-03-04.dia");
    ASSERT_EQ(before.size(), 650);

    CDiagnoseDlg dialog(db, 1, "2026-03-04", record);
    dialog.show();
    auto* result = dialog.findChild<QPlainTextEdit*>("result");
    const QString text201 = QString(201, QChar(0x80BA));
    result->setPlainText(text201);
    QTest::mouseClick(dialog.findChild<QPushButton*>("ok"), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "The diagnosis is too long: at most 200 characters! Nothing was saved.");
    EXPECT_EQ(result->toPlainText(), text201);
    EXPECT_EQ(home.read("Case/1/2026-03-04.dia"), before);
    EXPECT_EQ(record.Result, "earlier");
    // Where the limit lies is the diagnosis rules' test.
}

TEST_F(DiagnosisDialogTest, ClearingBothFieldsRemovesTheDaysFileAndCancelKeepsIt)
{
    home.write("Case/1/.keep", "");
    {
        CDiagnoseDlg dialog(db, 1, "2026-03-04", record);
        QTest::keyClicks(dialog.findChild<QLineEdit*>("physician"), "Dr. Wu");
        QTest::mouseClick(dialog.findChild<QPushButton*>("ok"), Qt::LeftButton);
    }
    const QString file = folder() + "/2026-03-04.dia";
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(QFileInfo(file).size(), 650);
    {
        CDiagnoseDlg dialog(db, 1, "2026-03-04", record);
        EXPECT_EQ(dialog.findChild<QLineEdit*>("physician")->text(), "Dr. Wu");
        dialog.findChild<QLineEdit*>("physician")->clear();
        QTest::mouseClick(dialog.findChild<QPushButton*>("cancel"), Qt::LeftButton);
    }
    EXPECT_TRUE(QFile::exists(file));
    {
        CDiagnoseDlg dialog(db, 1, "2026-03-04", record);
        dialog.findChild<QLineEdit*>("physician")->clear();
        QTest::mouseClick(dialog.findChild<QPushButton*>("ok"), Qt::LeftButton);
    }
    EXPECT_FALSE(QFile::exists(file));
}

} // namespace
