// RFC 4180 records, the tests table (whatever the locale), and patients
// imported row by row with a report (an export imported into another program
// folder: the tavctl case files).
#include "exchange_fixture.h"

#include "core/exchange/csv_export.h"
#include "core/exchange/csv_patient_import.h"
#include "core/exchange/csv_table.h"
#include "support/data_table.h"

#include <QLocale>

#include <clocale>

TEST(CsvTableTest, QuotedFieldsSurviveARoundTripAndBrokenQuotesAreRefused)
{
    const QStringList fields = {"plain", "with, comma", "say \"hi\"", "two\r\nlines", "", QString::fromUtf8("王芳")};
    const QByteArray record = CsvRecord(fields);
    EXPECT_EQ(record, QByteArray("plain,\"with, comma\",\"say \"\"hi\"\"\",\"two\r\nlines\",,") +
                          QString::fromUtf8("王芳").toUtf8() + "\r\n");
    CsvRows rows;
    QString error;
    ASSERT_TRUE(ParseCsv(CsvByteOrderMark() + CsvRecord({"a", "b"}) + record + "x,y\n", rows, &error))
        << error.toStdString();
    ASSERT_EQ(rows.rows.size(), 3u);
    EXPECT_EQ(rows.rows[0], QStringList({"a", "b"}));
    EXPECT_EQ(rows.rows[1], fields);
    EXPECT_EQ(rows.rows[2], QStringList({"x", "y"}));
    EXPECT_EQ(rows.lines[2], 4); // the quoted line break moved the last record one line down

    EXPECT_FALSE(ParseCsv("a,b\r\n\"open,c\r\n", rows, &error));
    EXPECT_TRUE(error.startsWith("line 2:")) << error.toStdString();
    EXPECT_FALSE(ParseCsv("a,\"b\"c\r\n", rows, &error));
    EXPECT_FALSE(ParseCsv("a,\xFF\xFE\r\n", rows, &error));
}

TEST(CsvTableTest, FormulaLikeTextIsDefusedAndRestored)
{
    for (const QString text : {"=HYPERLINK(\"x\")", "+1", "-2", "@SUM(A1)"}) {
        const QString written = CsvText(text);
        EXPECT_TRUE(written.startsWith('\'')) << text.toStdString();
        EXPECT_EQ(TextFromCsv(written), text);
    }
    EXPECT_EQ(CsvText("O'Brien"), "O'Brien");
    EXPECT_EQ(TextFromCsv("'quoted'"), "'quoted'");
}

class CsvExchangeTest : public ExchangeTest {};

TEST_F(CsvExchangeTest, TableHasOneRowPerTestWithDecimalPointsUnderACommaLocale)
{
    addDay("2026-07-01");
    addTest(kTestFvc, "2026-08-15 09:00:00", FvcRecord(4.20f, 3.10f, 7.0f), FvcPulses(4.2, 7.0));
    // A German number format must not reach the file.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    QByteArray csv;
    CsvExportResult result;
    QString error;
    const bool built = BuildTestsCsv(db, QDate(), QDate(), csv, result, &error);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(before);
    ASSERT_TRUE(built) << error.toStdString();
    EXPECT_EQ(result.rows, 5);
    EXPECT_EQ(result.skipped, 0);

    CsvRows rows;
    ASSERT_TRUE(ParseCsv(csv, rows, &error));
    // The five tests, then the reported values of each day's FVC phase.
    ASSERT_EQ(rows.rows.size(), 8u);
    const QStringList header = rows.rows[0];
    EXPECT_EQ(rows.rows[4][header.indexOf("row_kind")], "blow");
    EXPECT_EQ(rows.rows[5][header.indexOf("row_kind")], "reported");
    EXPECT_EQ(header, CsvExportColumns());
    auto cell = [&](int row, const QString& column) { return rows.rows[row][header.indexOf(column)]; };
    EXPECT_EQ(cell(1, "patient_number"), patient.PatientNumber);
    EXPECT_EQ(cell(1, "birth_date"), "1976-05-14");
    EXPECT_EQ(cell(1, "sex"), "female");
    EXPECT_EQ(cell(1, "test_time"), "2026-07-01T10:00:00");
    EXPECT_EQ(cell(1, "test_type"), "FVC");
    EXPECT_EQ(cell(1, "FVC"), "4.80");
    EXPECT_EQ(cell(2, "FEV1"), "3.90");
    EXPECT_EQ(cell(1, "ELA"), "47");
    EXPECT_EQ(cell(1, "VC"), ""); // an FVC test gives no slow VC
    EXPECT_EQ(cell(3, "test_type"), "VC");
    EXPECT_EQ(cell(3, "VC"), "4.10");
    EXPECT_EQ(cell(3, "FEV1"), "");
    EXPECT_EQ(cell(4, "MVV"), "142.50");
    // The day's reported values: the largest FVC and FEV1, each from its own blow.
    EXPECT_EQ(cell(5, "FVC"), "4.80");
    EXPECT_EQ(cell(5, "FEV1"), "3.90");
    EXPECT_EQ(cell(6, "test_time"), "2026-08-15T09:00:00");

    // Only the August test lies in August.
    ASSERT_TRUE(BuildTestsCsv(db, QDate(2026, 8, 1), QDate(2026, 8, 15), csv, result, &error));
    EXPECT_EQ(result.rows, 1);
    ASSERT_TRUE(BuildTestsCsv(db, QDate(2026, 7, 1), QDate(2026, 7, 1), csv, result, &error));
    EXPECT_EQ(result.rows, 4);
}

TEST_F(CsvExchangeTest, RowsBreakingTheEditorsRulesAreRefusedWithReasonsAndNothingOfThemStored)
{
    const QString path = EXCHANGE_DATA_DIR "/refused_patients.csv";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const int before = patientCount();
    CsvImportReport report;
    QString error;
    ASSERT_TRUE(ImportPatientsCsv(db, file.readAll(), report, &error)) << error.toStdString();
    ASSERT_EQ(report.taken.size(), 2u);
    EXPECT_EQ(report.taken[0].patientNumber, "A1");
    EXPECT_EQ(report.taken[1].patientNumber, "A11"); // 40 characters, 80 UTF-16 units
    EXPECT_EQ(patientCount(), before + 2);
    // Each refusal names the line and gives the reason in that line's "refusal" column.
    const std::vector<DataRow> rows = ReadDataTable(path);
    ASSERT_EQ(report.refused.size(), 11u);
    for (const CsvImportRow& row : report.refused) {
        const QString reason = rows.at(std::size_t(row.line - 2))["refusal"];
        EXPECT_TRUE(!reason.isEmpty() && row.reason.contains(reason, Qt::CaseInsensitive))
            << row.line << ": " << row.reason.toStdString();
    }

    // A file without the patient columns is refused as a whole.
    EXPECT_FALSE(ImportPatientsCsv(db, "patient_number,name\r\nX,Y\r\n", report, &error));
    EXPECT_TRUE(error.contains("sex"));
}
