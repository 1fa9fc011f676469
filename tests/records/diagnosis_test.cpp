// Diagnosis files: layout, limits, removal, and the phrase rules.
#include "support/temp_home.h"

#include "core/records/diagnosis.h"

#include <QFile>
#include <gtest/gtest.h>

TEST(DiagnosisFile, IsNamedByTheDayInsideTheFolder)
{
    EXPECT_EQ(DiagnosisFile("/p/Case/3", "2026-03-05"), "/p/Case/3/2026-03-05.dia");
    EXPECT_NE(DiagnosisFile("/p/Case/3", "2026-03-05"), DiagnosisFile("/p/Case/3", "2026-03-06"));
    EXPECT_TRUE(DiagnosisFile("/p/Case/3", "").isEmpty());
    EXPECT_TRUE(DiagnosisFile("/p/Case/3", "../../x").isEmpty());
    EXPECT_TRUE(DiagnosisFile("/p/Case/3", "2026-03-05/../../y").isEmpty());
}

// 50 bytes of physician and 600 of result, each cut at a character boundary;
// both fields empty remove the file.
TEST(DiagnosisFile, RoundTripsThe650ByteLayoutAndEmptyRemovesIt)
{
    TempHome home;
    const QString path = home.path("2026-01-02.dia");
    DiagnosisRecord saved;
    saved.Physician = "Dr. O'Hara";
    saved.Result = "Asthma\r\nCOPD";
    ASSERT_TRUE(SaveDiagnosis(path, saved));
    const QByteArray bytes = home.read("2026-01-02.dia");
    ASSERT_EQ(bytes.size(), 650);
    EXPECT_EQ(bytes.left(11), QByteArray("Dr. O'Hara\0", 11));
    EXPECT_EQ(bytes.mid(50, 13), QByteArray("Asthma\r\nCOPD\0", 13));
    EXPECT_EQ(bytes.count('\0'), 650 - 10 - 12);
    DiagnosisRecord loaded;
    loaded.Physician = "old";
    LoadDiagnosis(path, loaded);
    EXPECT_EQ(loaded.Physician, saved.Physician);
    EXPECT_EQ(loaded.Result, saved.Result);

    saved.Physician = QString(25, QChar(0x674E)); // 75 bytes in UTF-8
    saved.Result = QString(300, QChar(0x80BA));   // 900 bytes
    ASSERT_TRUE(SaveDiagnosis(path, saved));
    EXPECT_EQ(home.read("2026-01-02.dia").size(), 650);
    LoadDiagnosis(path, loaded);
    EXPECT_EQ(loaded.Physician, QString(16, QChar(0x674E))); // 48 bytes of the 50
    EXPECT_EQ(loaded.Result, QString(200, QChar(0x80BA)));   // all 600 bytes

    saved = DiagnosisRecord();
    EXPECT_TRUE(SaveDiagnosis(path, saved));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(SaveDiagnosis(path, saved)); // nothing there, nothing to do
}

TEST(DiagnosisFile, MissingEmptyOrShortFilesGiveWhatTheyHold)
{
    TempHome home;
    DiagnosisRecord r;
    r.Physician = "x";
    r.Result = "y";
    LoadDiagnosis(home.path("none.dia"), r);
    EXPECT_TRUE(r.Physician.isEmpty() && r.Result.isEmpty());
    home.write("empty.dia", QByteArray());
    r.Physician = "x";
    LoadDiagnosis(home.path("empty.dia"), r);
    EXPECT_TRUE(r.Physician.isEmpty());
    // No NUL anywhere and only 60 bytes: each field ends at its own size.
    home.write("short.dia", QByteArray(50, 'a') + QByteArray(10, 'b'));
    LoadDiagnosis(home.path("short.dia"), r);
    EXPECT_EQ(r.Physician, QString(49, 'a'));
    EXPECT_EQ(r.Result, QString(10, 'b'));
}

// A text over its bytes changes nothing; one that fills its field to the last
// byte is stored whole, with no room left, and none needed, for a NUL.
TEST(DiagnosisConfirm, TooLongTextsChangeNothingAndFullOnesAreStoredWhole)
{
    TempHome home;
    const QString path = home.path("d.dia");
    const QDateTime now(QDate(2026, 5, 1), QTime(9, 30));
    DiagnosisRecord r;
    ASSERT_EQ(ConfirmDiagnosis("Dr A", "earlier", now, path, r), DiagnosisSave::Saved);
    const QByteArray before = home.read("d.dia");

    const QString text201 = QString(201, QChar(0x80BA));
    EXPECT_EQ(ConfirmDiagnosis("Dr B", text201, now.addDays(1), path, r),
              DiagnosisSave::ResultTooLong);
    EXPECT_EQ(ConfirmDiagnosis("Dr B", QString(201, 'x'), now, path, r),
              DiagnosisSave::ResultTooLong);
    EXPECT_EQ(ConfirmDiagnosis(QString(50, 'p'), "new", now, path, r),
              DiagnosisSave::PhysicianTooLong);
    EXPECT_EQ(ConfirmDiagnosis(QString(17, QChar(0x674E)), "new", now, path, r),
              DiagnosisSave::PhysicianTooLong); // 17 characters, but 51 bytes
    // The file and the application's record still hold the earlier diagnosis.
    EXPECT_EQ(home.read("d.dia"), before);
    EXPECT_EQ(r.Physician, "Dr A");
    EXPECT_EQ(r.Result, "earlier");
    EXPECT_EQ(r.Date, now);
    ASSERT_EQ(ConfirmDiagnosis(QString(49, 'p'), QString(200, 'x'), now, path, r),
              DiagnosisSave::Saved);

    // Two hundred different characters of three UTF-8 bytes each, and 50 bytes of physician.
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QChar(0x4E00 + i * 37);
    const QString physician = QString(16, QChar(0x674E)) + "Dr";
    ASSERT_EQ(ConfirmDiagnosis(physician, text, now, path, r), DiagnosisSave::Saved);
    const QByteArray bytes = home.read("d.dia");
    ASSERT_EQ(bytes.size(), 650);
    EXPECT_EQ(bytes.mid(50), text.toUtf8());
    DiagnosisRecord loaded;
    LoadDiagnosis(path, loaded);
    EXPECT_EQ(loaded.Result, text);
    EXPECT_EQ(loaded.Physician, physician);

    // 198 characters with a line break fit, and 150 of four UTF-8 bytes each; one more does not.
    EXPECT_TRUE(ResultFits(QString(96, QChar(0x80BA)) + "\r\n" + QString(100, 'x')));
    const QString wide = QString::fromUcs4(std::u32string(150, U'\U00020000').data(), 150);
    EXPECT_TRUE(ResultFits(wide)); // 600 bytes
    EXPECT_FALSE(ResultFits(wide + "x"));
}

TEST(DiagnosisConfirm, AFileThatCannotBeWrittenIsReported)
{
    TempHome home;
    const QDateTime now(QDate(2026, 5, 1), QTime(9, 30));
    DiagnosisRecord r;
    // The case folder is a file: nothing can be created inside it.
    const QString folder = home.path("Case-1");
    home.write("Case-1", "not a folder");
    EXPECT_EQ(ConfirmDiagnosis("Dr A", "text", now, folder + "/2026-05-01.dia", r),
              DiagnosisSave::NotWritten);
    EXPECT_EQ(r.Result, "text"); // the texts stay in the record for another try
}

TEST(DiagnosisPhrases, FortyPhrasesInKeyOrder)
{
    TempHome home;
    home.write("Language/" + Settings().language + ".txt",
               "[DIAGNOSE_RESULT]\n1283=First phrase\n1322=Last phrase\n1323=Not a phrase\n");
    const QStringList phrases = DiagnosisPhrases();
    ASSERT_EQ(phrases.size(), 40);
    EXPECT_EQ(phrases.first(), "First phrase");
    EXPECT_EQ(phrases.last(), "Last phrase");
}

TEST(DiagnosisPhrases, AppendingKeepsLinesAndTheSevenBreakLimit)
{
    QString out = "unchanged";
    ASSERT_TRUE(AppendDiagnosisPhrases("", {"Asthma", "COPD", "Emphysema"}, out));
    EXPECT_EQ(out, "Asthma\r\nCOPD\r\nEmphysema");

    ASSERT_TRUE(AppendDiagnosisPhrases("Old", {"New"}, out));
    EXPECT_EQ(out, "Old\r\nNew");

    // Six lines hold five breaks; two more phrases would make eight lines, seven breaks: allowed.
    const QString six = "1\r\n2\r\n3\r\n4\r\n5\r\n6";
    ASSERT_TRUE(AppendDiagnosisPhrases(six, {"7", "8"}, out));
    EXPECT_EQ(out.count('\r'), 7);
    out = "kept";
    EXPECT_FALSE(AppendDiagnosisPhrases(six, {"7", "8", "9"}, out));
    EXPECT_EQ(out, "kept");
    const QString eight = six + "\r\n7\r\n8";
    EXPECT_FALSE(AppendDiagnosisPhrases(eight, {"9"}, out));
}
