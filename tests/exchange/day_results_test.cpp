// A day's values as they leave the program, checked against the GLI Global
// 2022 oracle (an independent implementation, in tests/clinical/data) at the
// age of each test's day; the equations themselves, and the patient's ethnic
// group, are the clinical and records tests' business. Also: values no
// acceptable blow gave.
#include "day_results_fixture.h"
#include "support/data_table.h"

#include "core/exchange/csv_export.h"
#include "core/exchange/csv_table.h"
#include "core/exchange/day_results.h"
#include "core/exchange/fhir_bundle.h"
#include "core/exchange/gdt_exchange.h"
#include "core/records/schema_upgrade.h"

#include <QJsonArray>
#include <QJsonObject>

#include <map>

namespace {

std::vector<DataRow> oracleRows(const QString& file)
{
    return ReadDataTable(QString(GLI_ORACLE_DIR "/") + file);
}

// The data rows of an export, parsed as any reader of the file would.
std::vector<QStringList> csvRows(const QByteArray& csv)
{
    CsvRows parsed;
    EXPECT_TRUE(ParseCsv(csv, parsed));
    if (!parsed.rows.empty())
        parsed.rows.erase(parsed.rows.begin());
    return parsed.rows;
}

// Rounded to two decimals on the way out, plus the oracles' own precision.
constexpr double kTwoDecimals = 0.0051 + 0.0015;

} // namespace

// A GLI Global man tested at 25 and 65 and a woman at 45 (the oracle's rows of
// their sex, age and height), and the fixture's patient of an older set tested
// twenty years apart: each day's values, and its rows of the CSV, are compared
// with that day's age.
TEST_F(DayResultsTest, EachDayIsComparedAtItsOwnAgeInTheValuesAndTheCsv)
{
    const QDate birth(1930, 1, 1);
    const int man = addPatient(4, true, birth, 170);
    const int woman = addPatient(4, false, birth, 155);
    std::vector<DataRow> rows;
    for (const auto& row : oracleRows("gli_global_2022_oracle.csv")) {
        const bool male = row["sex"] == "M";
        const double age = row.number("age");
        if (row.number("height") == (male ? 170 : 155) &&
            (male ? age == 25 || age == 65 : age == 45))
            rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 3u);
    const auto dayOf = [&](const DataRow& row) {
        return birth.addDays(qRound64(row.number("age") * 365.25));
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line());
        const int id = row["sex"] == "M" ? man : woman;
        storeSession(id, nextNumber, kPhasePre, dayOf(row).toString("yyyy-MM-dd"), 9,
                     row.number("fev1_measured"), row.number("fvc_measured"));
        const DayResults r = collect(id, dayOf(row));
        for (const char* name : {"FEV1", "FVC"}) {
            const QString prefix = QString(name).toLower();
            const ParameterResult* v = find(r, name);
            ASSERT_NE(v, nullptr) << name;
            ASSERT_TRUE(v->predicted && v->lln && v->zScore && v->percentPredicted) << name;
            EXPECT_NEAR(*v->predicted, row.number(prefix + "_pred_2022"), kTwoDecimals) << name;
            EXPECT_NEAR(*v->lln, row.number(prefix + "_lln_2022"), kTwoDecimals) << name;
            EXPECT_NEAR(*v->zScore, row.number(prefix + "_zscore_2022"), kTwoDecimals) << name;
            EXPECT_EQ(*v->percentPredicted, row.number(prefix + "_pctpred_2022")) << name;
            EXPECT_FALSE(v->BelowLln()) << name; // 85 % of predicted is above the LLN here
        }
        // FEV1/FVC leaves in percent, as the record keeps it; GLI's fraction times 100.
        const ParameterResult* ratio = find(r, "FEV1/FVC");
        ASSERT_TRUE(ratio && ratio->predicted && ratio->lln && ratio->zScore);
        EXPECT_NEAR(ratio->measured, 100 * row.number("fev1_measured") / row.number("fvc_measured"),
                    0.0051);
        EXPECT_NEAR(*ratio->predicted, 100 * row.number("fev1fvc_pred_2022"), 100 * kTwoDecimals / 10);
        EXPECT_NEAR(*ratio->lln, 100 * row.number("fev1fvc_lln_2022"), 100 * kTwoDecimals / 10);
        // The ratio of the two 85 % values is near its predicted one: so is its z-score.
        EXPECT_NEAR(*ratio->zScore, 0, 0.5);
        // GLI Global predicts nothing else: no value borrowed from another parameter or set.
        for (const char* none : {"PEF", "FET"}) {
            const ParameterResult* v = find(r, none);
            ASSERT_NE(v, nullptr) << none;
            EXPECT_FALSE(v->predicted || v->lln || v->zScore || v->percentPredicted) << none;
        }
        // A value the blows did not give (stored as 0) leaves as missing, never as 0.00.
        for (const char* missing : {"FEF2575", "FEV6"})
            EXPECT_EQ(find(r, missing), nullptr) << missing;
    }
    addTest(kTestFvc, "2000-05-01 10:00:00", FvcRecord(4.0f, 3.2f, 8.0f), FvcPulses(4.0, 8.0));
    addTest(kTestFvc, "2020-05-01 10:00:00", FvcRecord(4.0f, 3.2f, 8.0f), FvcPulses(4.0, 8.0));

    QByteArray csv;
    CsvExportResult counts;
    ASSERT_TRUE(BuildTestsCsv(db, QDate(), QDate(), csv, counts));
    const QStringList columns = CsvExportColumns();
    const auto text = [&](const QStringList& cells, const QString& column) {
        return cells.value(columns.indexOf(column));
    };
    // The first (largest) blow and the reported row of each GLI day; the older set's blows.
    std::map<QString, QStringList> firstBlow, reported;
    std::vector<QStringList> older;
    for (const QStringList& cells : csvRows(csv)) {
        const QString day = text(cells, "test_time").left(10);
        if (text(cells, "reference_set") != "GLI Global 2022") {
            if (text(cells, "row_kind") == "blow")
                older.push_back(cells);
        } else if (text(cells, "row_kind") == "reported") {
            reported[day] = cells;
        } else if (text(cells, "test_time").endsWith("T09:00:00")) {
            firstBlow[day] = cells;
        }
    }
    ASSERT_EQ(firstBlow.size(), 3u);
    ASSERT_EQ(reported.size(), 3u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line());
        const QString day = dayOf(row).toString("yyyy-MM-dd");
        const QStringList& first = firstBlow[day];
        EXPECT_NEAR(text(first, "FEV1_pred").toDouble(), row.number("fev1_pred_2022"),
                    kTwoDecimals);
        EXPECT_NEAR(text(first, "FEV1_lln").toDouble(), row.number("fev1_lln_2022"), kTwoDecimals);
        EXPECT_NEAR(text(first, "FEV1_z").toDouble(), row.number("fev1_zscore_2022"), kTwoDecimals);
        EXPECT_EQ(text(first, "FEV1_pctpred"), "85");
        EXPECT_NEAR(text(first, "FVC_lln").toDouble(), row.number("fvc_lln_2022"), kTwoDecimals);
        EXPECT_NEAR(text(reported[day], "FEV1/FVC_lln").toDouble(),
                    100 * row.number("fev1fvc_lln_2022"), 0.011);
        EXPECT_TRUE(text(first, "PEF_pred").isEmpty()); // GLI has no PEF equation
        EXPECT_EQ(text(first, "phase"), "pre");
    }
    // ECCS women of 168 cm, 4.43 H - 0.026 A - 2.89, at the ages in calendar years of
    // 2000 (24, where the equations take 25) and 2020 (44).
    const std::map<QString, QString> fvcPredicted = {{"2000-05-01", "3.90"},
                                                     {"2020-05-01", "3.41"}};
    ASSERT_EQ(older.size(), 2u);
    for (const QStringList& cells : older) {
        EXPECT_EQ(text(cells, "FVC_pred"), fvcPredicted.at(text(cells, "test_time").left(10)));
        EXPECT_TRUE(text(cells, "FVC_lln").isEmpty()); // the older sets have no LLN
    }
}

TEST_F(DayResultsTest, NoLimitIsGivenOutsideTheEquations)
{
    // GLI ends at 95: a 96-year-old gets no GLI values at all, not extrapolated ones.
    const QDate day(2024, 4, 9);
    const int old = addPatient(4, true, day.addYears(-96), 170);
    storeSession(old, 1, kPhasePre, day.toString("yyyy-MM-dd"), 9, 2.0, 2.9);
    const DayResults r = collect(old, day);
    for (const char* name : {"FEV1", "FVC", "FEV1/FVC"}) {
        const ParameterResult* v = find(r, name);
        ASSERT_NE(v, nullptr) << name;
        EXPECT_FALSE(v->predicted || v->lln || v->zScore || v->percentPredicted) << name;
    }
}

TEST_F(DayResultsTest, AValueNoAcceptableBlowGaveIsMarkedInEveryForm)
{
    // Every blow starts below full lungs (a larger inspiration after it): usable, not acceptable.
    const QDate day(2025, 1, 14);
    const int id = addPatient(4, true, QDate(1980, 7, 7), 180);
    const PulseStream good = blowPulses(true);
    for (int i = 0; i < 3; ++i) {
        ManeuverResult r = blowRecord(float(4.2 - 0.05 * i), float(3.4 - 0.05 * i), good);
        r.FIVC = r.FVC + 0.6f;
        StoreSessionBlow(db, id, 1 + i, r, good, QString("2025-01-14 09:0%1:00").arg(i), {1, i + 1, kPhasePre});
    }
    storeSession(patientId, 1, kPhasePre, "2025-01-14", 9, 3.1, 3.9); // another patient's good day
    const DayResults r = collect(id, day);
    const ParameterResult* fev1 = find(r, "FEV1");
    ASSERT_NE(fev1, nullptr);
    EXPECT_TRUE(fev1->usableOnly);
    EXPECT_EQ(fev1->measured, 3.4);
    EXPECT_TRUE(find(r, "PEF")->usableOnly);
    const QJsonObject bundle = BuildFhirBundle(r, {});
    int marked = 0;
    for (const QJsonValue& e : bundle["entry"].toArray())
        marked += e["resource"]["note"][0]["text"].toString() == kUsableOnlyNote;
    EXPECT_EQ(marked, 5); // every FVC value the day gave: FEV1, FVC, FEV1/FVC, PEF, FET
    int named = 0;
    for (const GdtLine& l : BuildGdtResult(r, ExchangeSettings()).lines)
        named += l.field == GdtField::kTestName && l.value.endsWith(kUsableOnlyNote);
    EXPECT_EQ(named, 5);

    const DayResults acceptable = collect(patientId, day);
    for (const ParameterResult& v : acceptable.values)
        EXPECT_FALSE(v.usableOnly) << v.parameter->name;
}
