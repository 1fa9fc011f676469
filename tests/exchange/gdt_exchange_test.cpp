// GDT requests become patients (all or nothing, and never another person of the
// same number), the inbox held through a lock (what the inbox sets aside: the
// tavctl case files), and the result file of a day.
#include "exchange_fixture.h"

#include "core/exchange/cp437_codec.h"
#include "core/exchange/day_results.h"
#include "core/exchange/gdt_exchange.h"
#include "support/data_table.h"

#include <QDir>
#include <QFile>

namespace {

QByteArray line(const char* field, const QByteArray& content)
{
    return QByteArray::number(9 + content.size()).rightJustified(3, '0') + field + content + "\r\n";
}

QByteArray requestFile(const char* type, const QList<QByteArray>& lines)
{
    QByteArray bytes = line("8000", type);
    for (const QByteArray& l : lines)
        bytes += l;
    return bytes;
}

QList<QByteArray> fullRequest()
{
    return {line("8315", "TAVSPIRO"), line("8316", "PRAXIS"), line("9218", "02.10"),
            line("9206", "2"),        line("3000", "4711"),   line("3101", "M\x81ller"),
            line("3102", "J\x81rgen"), line("3103", "14051976"), line("3110", "1"),
            line("3622", "178"),      line("3623", "81,4"),   line("8402", "VC")};
}

QList<QByteArray> replaced(QList<QByteArray> lines, const char* field, const QByteArray& content)
{
    for (QByteArray& l : lines)
        if (l.mid(3, 4) == field)
            l = line(field, content);
    return lines;
}

// The full request with the row's field replaced or, for "+field", given twice.
QList<QByteArray> requestOf(const DataRow& row)
{
    QByteArray content;
    EXPECT_TRUE(Cp437::Encode(row["content"], content));
    const QByteArray field = row["field"].toLatin1();
    if (field.startsWith('+'))
        return fullRequest() << line(field.mid(1).constData(), content);
    return replaced(fullRequest(), field.constData(), content);
}

} // namespace

class GdtExchangeTest : public ExchangeTest {
  protected:
    GdtStore import(const QByteArray& bytes, GdtImport& result, QString& error)
    {
        home.write("in.gdt", bytes);
        return ImportGdtFile(db, home.path("in.gdt"), result, &error);
    }
};

TEST_F(GdtExchangeTest, NewExaminationRequestCreatesThePatientWithEveryField)
{
    const int before = patientCount();
    GdtImport result;
    QString error;
    ASSERT_EQ(import(requestFile("6302", fullRequest()), result, error), GdtStore::Stored)
        << error.toStdString();
    EXPECT_TRUE(result.created);
    EXPECT_EQ(result.testType, kTestVc);
    EXPECT_EQ(patientCount(), before + 1);
    PatientRecord p;
    ASSERT_TRUE(LoadPatient(db, result.patientId, p));
    EXPECT_EQ(p.PatientNumber, "4711");
    EXPECT_EQ(p.Name, QString::fromUtf8("Müller, Jürgen"));
    EXPECT_EQ(p.Birthdate, QDate(1976, 5, 14));
    EXPECT_EQ(p.Gender, 0);
    EXPECT_EQ(p.Height, 178);
    EXPECT_EQ(p.Weight, 81);

    // The same number again updates the patient instead of making a second one.
    GdtImport again;
    ASSERT_EQ(import(requestFile("6301", replaced(fullRequest(), "3623", "84")), again, error),
              GdtStore::Stored);
    EXPECT_FALSE(again.created);
    EXPECT_EQ(again.patientId, result.patientId);
    EXPECT_EQ(again.testType, kTestVc);
    EXPECT_EQ(patientCount(), before + 1);
    ASSERT_TRUE(LoadPatient(db, result.patientId, p));
    EXPECT_EQ(p.Weight, 84);
}

// Each refused row of gdt_requests.csv: refused with the line at fault, nothing stored.
TEST_F(GdtExchangeTest, RequestsBreakingARuleAreRefusedWithTheLineAndStoreNothing)
{
    const int before = patientCount();
    GdtImport result;
    QString error;
    for (const DataRow& row : ReadDataTable(EXCHANGE_DATA_DIR "/gdt_requests.csv")) {
        if (row["outcome"] != "refused")
            continue;
        SCOPED_TRACE(row.line());
        EXPECT_EQ(import(requestFile("6302", requestOf(row)), result, error), GdtStore::Refused);
        EXPECT_TRUE(error.startsWith(row["message"])) << error.toStdString();
    }
    QList<QByteArray> noSurname = fullRequest();
    noSurname.removeAt(5);
    EXPECT_EQ(import(requestFile("6302", noSurname), result, error), GdtStore::Refused);
    EXPECT_EQ(patientCount(), before);
}

TEST_F(GdtExchangeTest, AnOrderMatchesOnlyTheSamePersonAndOnlyWithoutRepeatedFields)
{
    GdtImport first, result;
    QString error;
    ASSERT_EQ(import(requestFile("6302", fullRequest()), first, error), GdtStore::Stored)
        << error.toStdString();
    const int patients = patientCount();
    // Number 4711 with another surname, first name, birth date or sex, and a new height.
    for (const DataRow& row : ReadDataTable(EXCHANGE_DATA_DIR "/gdt_requests.csv")) {
        if (row["outcome"] != "conflict")
            continue;
        SCOPED_TRACE(row.line());
        const auto lines = replaced(requestOf(row), "3622", "190");
        EXPECT_EQ(import(requestFile("6302", lines), result, error), GdtStore::Conflict);
        EXPECT_TRUE(error.contains(
            QString::fromUtf8("4711 is held here by Müller, Jürgen, born 1976-05-14, male")))
            << error.toStdString();
    }
    EXPECT_TRUE(error.contains(QString::fromUtf8("names Müller, Jürgen, born 1976-05-14, female")))
        << error.toStdString();
    // The fixture's patient, made in the editor, keeps his stored test under his own number.
    addTest(kTestFvc, "2026-07-01 10:00:00", FvcRecord(4.8f, 3.5f, 8.0f), FvcPulses(4.8, 8.0));
    ASSERT_FALSE(patient.PatientNumber.isEmpty());
    const QByteArray taken = patient.PatientNumber.toLatin1();
    EXPECT_EQ(import(requestFile("6301", replaced(fullRequest(), "3000", taken)), result, error),
              GdtStore::Conflict);
    EXPECT_TRUE(error.contains("Anna O'Brien, born")) << error.toStdString();
    PatientRecord p;
    ASSERT_TRUE(LoadPatient(db, first.patientId, p));
    EXPECT_EQ(p.Height, 178);
    ASSERT_TRUE(LoadPatient(db, patientId, p));
    EXPECT_EQ(p.Name, "Anna O'Brien");
    EXPECT_EQ(count("SELECT ID FROM CaseInfo WHERE ID = ?", {patientId}), 1);
    EXPECT_EQ(patientCount(), patients);
    // The same person in capitals is still the same person.
    const auto capitals =
        replaced(replaced(fullRequest(), "3101", "M\x9ALLER"), "3102", "J\x9ARGEN");
    ASSERT_EQ(import(requestFile("6302", capitals), result, error), GdtStore::Stored)
        << error.toStdString();
    EXPECT_EQ(result.patientId, first.patientId);
}

TEST_F(GdtExchangeTest, InboxKeepsARequestThroughALockUntilItIsTaken)
{
    ExchangeSettings settings;
    settings.gdtFolder = home.path("gdt");
    QDir().mkpath(settings.gdtFolder);
    GdtImport result;
    QString error;
    EXPECT_EQ(TakeGdtRequest(db, settings, result, &error), GdtInboxResult::Empty);
    EXPECT_EQ(settings.RequestFileName(), "TAVSPRAX.GDT");
    const QByteArray bytes = requestFile("6302", fullRequest());
    home.write("gdt/TAVSPRAX.GDT", bytes);

    // Another connection holds the database: the request waits where it is, untouched.
    const int before = patientCount();
    {
        Database other;
        ASSERT_TRUE(other.Open(home.path("data.mdb")));
        ASSERT_TRUE(other.Execute("BEGIN EXCLUSIVE"));
        db.Execute("PRAGMA busy_timeout = 0");
        EXPECT_EQ(TakeGdtRequest(db, settings, result, &error), GdtInboxResult::Waiting);
        EXPECT_EQ(TakeGdtRequest(db, settings, result, &error), GdtInboxResult::Waiting);
        other.Execute("ROLLBACK");
    }
    EXPECT_EQ(patientCount(), before);
    EXPECT_EQ(QDir(settings.gdtFolder).entryList(QDir::Files | QDir::Hidden),
              QStringList{"TAVSPRAX.GDT"});
    EXPECT_EQ(home.read("gdt/TAVSPRAX.GDT"), bytes);
    error.clear();
    ASSERT_EQ(TakeGdtRequest(db, settings, result, &error), GdtInboxResult::Taken) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(patientCount(), before + 1);
}

TEST_F(GdtExchangeTest, ResultFileHoldsTheDaysBestValuesWithPredictedAndPercent)
{
    const QString day = "2026-07-01";
    addDay(day);
    DayResults results;
    QString error;
    ASSERT_TRUE(CollectDayResults(db, patientId, day, results, &error)) << error.toStdString();

    ExchangeSettings settings;
    settings.gdtCharset = GdtCharset::Latin1;
    const GdtRecord record = BuildGdtResult(results, settings, home.path("report.pdf"));
    QByteArray bytes;
    ASSERT_TRUE(SerializeGdt(record, bytes, &error)) << error.toStdString();
    GdtRecord back;
    ASSERT_TRUE(ParseGdt(bytes, back, &error)) << error.toStdString();
    EXPECT_EQ(back.recordType, "6310");
    EXPECT_EQ(back.Value(GdtField::kReceiverId), "PRAXIS");
    EXPECT_EQ(back.Value(GdtField::kSurname), "Anna O'Brien");
    EXPECT_EQ(back.Value(GdtField::kBirthDate), "14051976");
    EXPECT_EQ(back.Value(GdtField::kSex), "2");
    EXPECT_EQ(back.Value(GdtField::kExamDate), "01072026");
    EXPECT_EQ(back.Value(GdtField::kExamTime), "104000");
    EXPECT_EQ(back.Value(GdtField::kFileReference), home.path("report.pdf"));

    // Test id -> value, unit: every 8410 is followed by its 8411, 8420, 8421.
    QMap<QString, QPair<QString, QString>> tests;
    for (std::size_t i = 0; i + 3 < back.lines.size(); ++i)
        if (back.lines[i].field == GdtField::kTestId) {
            EXPECT_EQ(back.lines[i + 1].field, GdtField::kTestName);
            EXPECT_EQ(back.lines[i + 2].field, GdtField::kResultValue);
            EXPECT_EQ(back.lines[i + 3].field, GdtField::kResultUnit);
            tests[back.lines[i].value] = {back.lines[i + 2].value, back.lines[i + 3].value};
        }
    // The largest FVC and FEV1 of the day, each from its own test; VC and MVV of their tests.
    EXPECT_EQ(tests["FVC"], qMakePair(QString("4.80"), QString("L")));
    EXPECT_EQ(tests["FEV1"], qMakePair(QString("3.90"), QString("L")));
    EXPECT_EQ(tests["VC"].first, "4.10");
    EXPECT_EQ(tests["MVV"], qMakePair(QString("142.50"), QString("L/min")));
    // ECCS women, 168 cm, 50 years (in calendar years) on the test's day:
    // 4.43 H - 0.026 A - 2.89 = 3.2524 L; 4.80 L is 148 % of it.
    EXPECT_EQ(tests["FVC_PRED"].first, "3.25");
    EXPECT_EQ(tests["FVC_PCT"].first, "148.00");
    EXPECT_FALSE(tests.contains("FVC_LLN")); // no lower limits without a GLI set
}

TEST_F(GdtExchangeTest, ResultOfANameTheCharacterSetLacksIsRefusedNotMangled)
{
    const QString day = "2026-07-02";
    addDay(day);
    ASSERT_TRUE(SavePatientName(db, patientId, QString::fromUtf8("王芳"), 1, "586"));
    DayResults results;
    ASSERT_TRUE(CollectDayResults(db, patientId, day, results));
    ExchangeSettings settings;
    QString error;
    EXPECT_FALSE(WriteGdtFile(BuildGdtResult(results, settings), home.path("out.gdt"), &error));
    EXPECT_TRUE(error.contains("3101")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(home.path("out.gdt")));
}
