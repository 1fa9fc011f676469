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

TEST(DiagnosisFile, RoundTripsThe650ByteLayout)
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
}

TEST(DiagnosisFile, MissingEmptyOrShortFilesGiveWhatTheyHold)
{
    TempHome home;
    DiagnosisRecord r;
    r.Physician = "x";
    r.Result = "y";
    LoadDiagnosis(home.path("none.dia"), r);
    EXPECT_TRUE(r.Physician.isEmpty());
    EXPECT_TRUE(r.Result.isEmpty());

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

TEST(DiagnosisFile, BothFieldsEmptyRemovesTheFile)
{
    TempHome home;
    const QString path = home.path("d.dia");
    DiagnosisRecord r;
    r.Physician = "Dr";
    ASSERT_TRUE(SaveDiagnosis(path, r));
    ASSERT_TRUE(QFile::exists(path));
    r.Physician.clear();
    EXPECT_TRUE(SaveDiagnosis(path, r));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(SaveDiagnosis(path, r)); // nothing there, nothing to do
}

TEST(DiagnosisFile, LongTextsAreCutAtCharacterBoundaries)
{
    TempHome home;
    const QString path = home.path("d.dia");
    DiagnosisRecord r;
    r.Physician = QString(25, QChar(0x674E)); // 75 bytes in UTF-8
    r.Result = QString(300, QChar(0x80BA));   // 900 bytes
    ASSERT_TRUE(SaveDiagnosis(path, r));
    EXPECT_EQ(home.read("d.dia").size(), 650);
    DiagnosisRecord loaded;
    LoadDiagnosis(path, loaded);
    EXPECT_EQ(loaded.Physician, QString(16, QChar(0x674E))); // 48 bytes fit in 49
    EXPECT_EQ(loaded.Result, QString(199, QChar(0x80BA)));   // 597 bytes fit in 599
}

TEST(DiagnosisConfirm, SavesOrRefusesByTheTwoHundredCharacterRule)
{
    TempHome home;
    const QString path = home.path("d.dia");
    const QDateTime now(QDate(2026, 5, 1), QTime(9, 30));
    DiagnosisRecord r;
    EXPECT_FALSE(ConfirmDiagnosis("Dr A", QString(201, 'x'), now, path, r));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(r.Physician, "Dr A"); // taken before the length check, as the dialog does
    EXPECT_TRUE(r.Result.isEmpty());

    EXPECT_TRUE(ConfirmDiagnosis(QString(60, 'p'), QString(200, 'x'), now, path, r));
    EXPECT_EQ(r.Physician.size(), 49);
    EXPECT_EQ(r.Date, now);
    DiagnosisRecord loaded;
    LoadDiagnosis(path, loaded);
    EXPECT_EQ(loaded.Physician, QString(49, 'p'));
    EXPECT_EQ(loaded.Result, QString(200, 'x'));
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
