// A day's values as they leave the program, checked against references made
// elsewhere: the GLI Global 2022 oracle (an independent implementation) and
// the official GLI calculator's grid for GLI-2012, both in tests/clinical/data.
// Also: the age of the test's day, one value per bronchodilator phase, and the
// phase's best acceptable blow when every blow was stored as its own session.
#include "support/data_table.h"
#include "support/stored_tests.h"
#include "support/test_patient.h"
#include "day_results_fixture.h"

#include "core/report/day_result.h"
#include "core/exchange/csv_export.h"
#include "core/exchange/csv_table.h"
#include "core/exchange/day_results.h"
#include "core/exchange/fhir_bundle.h"
#include "core/exchange/gdt_exchange.h"
#include "core/records/predicted_values.h"
#include "core/records/schema_upgrade.h"

#include <QJsonArray>
#include <QJsonObject>

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

TEST_F(DayResultsTest, GliGlobalValuesMatchTheOracleAtTheAgeOfEachTestDay)
{
    // One man and one woman, tested at 25, 45, 65 and 85: the oracle's rows of their height.
    const QDate birth(1920, 1, 1);
    const int man = addPatient(4, true, birth, 185);
    const int woman = addPatient(4, false, birth, 155);
    int checked = 0;
    for (const auto& row : oracleRows("gli_global_2022_oracle.csv")) {
        const bool male = row["sex"] == "M";
        const int height = int(row.number("height"));
        if ((male && height != 185) || (!male && height != 155) || row.number("age") < 20)
            continue;
        const int id = male ? man : woman;
        const QDate day = birth.addDays(qRound64(row.number("age") * 365.25));
        storeSession(id, nextNumber, kPhasePre, day.toString("yyyy-MM-dd"), 9, row.number("fev1_measured"),
                     row.number("fvc_measured"));
        const DayResults r = collect(id, day);
        SCOPED_TRACE(QString("%1 %2").arg(row["sex"], row["age"]).toStdString());
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
        ASSERT_NE(ratio, nullptr);
        EXPECT_NEAR(ratio->measured, 100 * row.number("fev1_measured") / row.number("fvc_measured"), 0.0051);
        ASSERT_TRUE(ratio->predicted && ratio->lln);
        EXPECT_NEAR(*ratio->predicted, 100 * row.number("fev1fvc_pred_2022"), 100 * kTwoDecimals / 10);
        EXPECT_NEAR(*ratio->lln, 100 * row.number("fev1fvc_lln_2022"), 100 * kTwoDecimals / 10);
        // GLI Global predicts nothing else: no value borrowed from another parameter or set.
        for (const char* none : {"PEF", "FET"}) {
            const ParameterResult* v = find(r, none);
            ASSERT_NE(v, nullptr) << none;
            EXPECT_FALSE(v->predicted || v->lln || v->zScore || v->percentPredicted) << none;
        }
        // A value the blows did not give (stored as 0) leaves as missing, never as 0.00.
        for (const char* missing : {"FEF2575", "FEV6"})
            EXPECT_EQ(find(r, missing), nullptr) << missing;
        ++checked;
    }
    EXPECT_EQ(checked, 8);
}

TEST_F(DayResultsTest, Gli2012ValuesMatchTheCalculatorGridForEachEthnicGroup)
{
    // For each group the first grid row of an adult of ordinary height: FEV1 just
    // below its LLN, FVC and FEF25-75 at their predicted values.
    const QDate day(2024, 6, 3);
    int checked = 0;
    for (int ethnic = 1; ethnic <= 5; ++ethnic) {
        for (const auto& row : oracleRows("gli2012_calculator_oracle.csv")) {
            const double age = row.number("age"), height = row.number("height");
            if (row["ethnic"].toInt() != ethnic || age < 20 || age > 80 || height < 150 || height > 190 ||
                height != qRound(height))
                continue;
            SCOPED_TRACE(QString("ethnic %1 age %2 height %3").arg(ethnic).arg(age).arg(height).toStdString());
            const int id = addPatient(3, row["sex"] == "M", day.addDays(-qRound64(age * 365.25)), int(height),
                                      ethnic);
            ManeuverResult flows;
            flows.FEF2575 = float(row.number("fef2575_predicted"));
            const double fev1 = row.number("fev1_lln") - 0.05;
            storeSession(id, 1, kPhasePre, day.toString("yyyy-MM-dd"), 9, fev1, row.number("fvc_predicted"), flows);
            const DayResults r = collect(id, day);

            const ParameterResult* v = find(r, "FEV1");
            ASSERT_TRUE(v && v->lln && v->zScore && v->predicted);
            EXPECT_NEAR(*v->predicted, row.number("fev1_predicted"), kTwoDecimals);
            EXPECT_NEAR(*v->lln, row.number("fev1_lln"), kTwoDecimals);
            EXPECT_TRUE(v->BelowLln());
            EXPECT_LT(*v->zScore, kLlnZ);
            for (const char* name : {"FVC", "FEF2575"}) {
                const QString prefix = QString(name).toLower();
                const ParameterResult* atPredicted = find(r, name);
                ASSERT_TRUE(atPredicted && atPredicted->lln && atPredicted->zScore) << name;
                EXPECT_NEAR(*atPredicted->predicted, row.number(prefix + "_predicted"), kTwoDecimals) << name;
                EXPECT_NEAR(*atPredicted->lln, row.number(prefix + "_lln"), kTwoDecimals) << name;
                EXPECT_NEAR(*atPredicted->zScore, 0.0, 0.02) << name; // the median is z = 0
                EXPECT_EQ(*atPredicted->percentPredicted, 100) << name;
                EXPECT_FALSE(atPredicted->BelowLln()) << name;
            }
            const ParameterResult* ratio = find(r, "FEV1/FVC");
            ASSERT_TRUE(ratio && ratio->lln);
            EXPECT_NEAR(*ratio->predicted, 100 * row.number("fev1fvc_predicted"), 0.06);
            EXPECT_NEAR(*ratio->lln, 100 * row.number("fev1fvc_lln"), 0.06);

            // The FHIR observation says "low" for FEV1 and "normal" for FVC, with the LLN as range.
            const QJsonObject bundle = BuildFhirBundle(r, {});
            for (const QJsonValue& e : bundle["entry"].toArray()) {
                const QJsonObject o = e["resource"].toObject();
                const QString code = o["code"]["coding"][0]["code"].toString();
                if (code != "20150-9" && code != "19868-9")
                    continue;
                EXPECT_EQ(o["interpretation"][0]["coding"][0]["code"].toString(), code == "20150-9" ? "L" : "N");
                EXPECT_NEAR(o["referenceRange"][0]["low"]["value"].toDouble(),
                            row.number(code == "20150-9" ? "fev1_lln" : "fvc_lln"), kTwoDecimals);
            }
            ++checked;
            break;
        }
    }
    EXPECT_EQ(checked, 5);
}

TEST_F(DayResultsTest, ABronchodilatorDayGivesOneValuePerPhaseFromThePhasesBestAcceptableBlow)
{
    const QDate day(2025, 11, 20);
    const int id = addPatient(4, false, QDate(1970, 2, 2), 165);
    // Before: three blows stored one per session (as every day before sessions),
    // the best one in the middle; after: one session of three blows.
    const PulseStream good = blowPulses(true);
    const double preFev1[] = {2.40, 2.52, 2.45};
    for (int i = 0; i < 3; ++i) {
        const int number = nextNumber++;
        StoreSessionBlow(db, id, number, blowRecord(3.20f, float(preFev1[i]), good), good,
                         QString("2025-11-20 09:0%1:00").arg(i * 3), {number, 1, kPhasePre});
    }
    storeSession(id, 10, kPhasePost, "2025-11-20", 10, 2.90, 3.30);

    const DayResults r = collect(id, day);
    const ParameterResult* pre = find(r, "FEV1", SessionPhase::Pre);
    const ParameterResult* post = find(r, "FEV1", SessionPhase::Post);
    ASSERT_TRUE(pre && post);
    EXPECT_EQ(pre->measured, 2.52); // the largest acceptable, not the last blow
    EXPECT_EQ(pre->testTime, "2025-11-20 09:03:00");
    EXPECT_EQ(post->measured, 2.90);
    EXPECT_EQ(find(r, "FEV1"), nullptr); // a day with both phases names them
    // Both phases are compared with the same person's equations.
    EXPECT_EQ(*pre->predicted, *post->predicted);
    EXPECT_GT(*post->zScore, *pre->zScore);
    // The bronchodilator response compares the same phase values: the best pre blow,
    // not the last one (2.90 - 2.52, not 2.90 - 2.45).
    DayResult report;
    ASSERT_TRUE(LoadDayResult(db, id, day, report));
    ASSERT_TRUE(report.bdr.has_value());
    EXPECT_NEAR(report.bdr->fev1.litres, 2.90 - 2.52, 1e-3);

    // GDT: the phase in the test id.
    const GdtRecord gdt = BuildGdtResult(r, ExchangeSettings());
    QStringList ids;
    for (const GdtLine& l : gdt.lines)
        if (l.field == GdtField::kTestId && l.value.startsWith("FEV1_"))
            ids << l.value;
    EXPECT_TRUE(ids.contains("FEV1_PRE") && ids.contains("FEV1_POST_LLN") && ids.contains("FEV1_PRE_Z"))
        << ids.join(' ').toStdString();

    // CSV: one row per blow with its phase, then each phase's reported row (their
    // values are the one-answer test's).
    QByteArray csv;
    CsvExportResult counts;
    ASSERT_TRUE(BuildTestsCsv(db, day, day, csv, counts));
    const QStringList columns = CsvExportColumns();
    QStringList phases;
    for (const QStringList& row : csvRows(csv))
        phases << row.value(columns.indexOf("phase")) + ' ' + row.value(columns.indexOf("row_kind"));
    EXPECT_EQ(phases, QStringList({"pre blow", "pre blow", "pre blow", "post blow", "post blow", "post blow",
                                   "pre reported", "post reported"}));
}

TEST_F(DayResultsTest, CsvReferenceValuesAreThoseOfTheTestsDay)
{
    // A GLI Global man tested at 25 and at 65, and a patient of the older sets
    // tested twenty years apart: each row compares with its own day's age.
    const QDate birth(1930, 1, 1);
    const int man = addPatient(4, true, birth, 170);
    std::vector<DataRow> rows;
    for (const auto& row : oracleRows("gli_global_2022_oracle.csv"))
        if (row["sex"] == "M" && row.number("height") == 170 &&
            (row.number("age") == 25 || row.number("age") == 65))
            rows.push_back(row);
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& row : rows)
        storeSession(man, nextNumber, kPhasePre, birth.addDays(qRound64(row.number("age") * 365.25)).toString("yyyy-MM-dd"),
                     9, row.number("fev1_measured"), row.number("fvc_measured"));
    addTest(kTestFvc, "2000-05-01 10:00:00", FvcRecord(4.0f, 3.2f, 8.0f), FvcPulses(4.0, 8.0));
    addTest(kTestFvc, "2020-05-01 10:00:00", FvcRecord(4.0f, 3.2f, 8.0f), FvcPulses(4.0, 8.0));

    QByteArray csv;
    CsvExportResult counts;
    ASSERT_TRUE(BuildTestsCsv(db, QDate(), QDate(), csv, counts));
    const QStringList columns = CsvExportColumns();
    std::vector<QStringList> manRows, olderRows, manReported;
    for (const QStringList& cells : csvRows(csv)) {
        const bool man = cells.value(columns.indexOf("reference_set")) == "GLI Global 2022";
        if (cells.value(columns.indexOf("row_kind")) == "blow")
            (man ? manRows : olderRows).push_back(cells);
        else if (man)
            manReported.push_back(cells);
    }
    ASSERT_EQ(manReported.size(), 2u);
    ASSERT_EQ(manRows.size(), 6u);
    ASSERT_EQ(olderRows.size(), 2u);
    const auto cell = [&](const QStringList& cells, const QString& column) {
        return cells.value(columns.indexOf(column)).toDouble();
    };
    for (int k = 0; k < 2; ++k) {
        const QStringList& first = manRows[std::size_t(3 * k)]; // the largest blow of the day
        const auto& row = rows[std::size_t(k)];
        EXPECT_NEAR(cell(first, "FEV1_pred"), row.number("fev1_pred_2022"), kTwoDecimals);
        EXPECT_NEAR(cell(first, "FEV1_lln"), row.number("fev1_lln_2022"), kTwoDecimals);
        EXPECT_NEAR(cell(first, "FEV1_z"), row.number("fev1_zscore_2022"), kTwoDecimals);
        EXPECT_EQ(cell(first, "FEV1_pctpred"), 85);
        EXPECT_NEAR(cell(first, "FVC_lln"), row.number("fvc_lln_2022"), kTwoDecimals);
        EXPECT_NEAR(cell(manReported[std::size_t(k)], "FEV1/FVC_lln"), 100 * row.number("fev1fvc_lln_2022"), 0.011);
        EXPECT_TRUE(first.value(columns.indexOf("PEF_pred")).isEmpty()); // GLI has no PEF equation
        EXPECT_EQ(first.value(columns.indexOf("phase")), "pre");
    }
    for (const QStringList& older : olderRows) {
        const QDate day = QDate::fromString(older.value(columns.indexOf("test_time")).left(10), "yyyy-MM-dd");
        ManeuverResult predicted;
        ASSERT_TRUE(ComputePredictedValues(db, predicted, PatientOnDay(patient, day)));
        EXPECT_NEAR(cell(older, "FVC_pred"), predicted.FVC, 0.0051) << day.toString().toStdString();
        EXPECT_TRUE(older.value(columns.indexOf("FVC_lln")).isEmpty()); // the older sets have no LLN
    }
    EXPECT_GT(std::abs(cell(olderRows[0], "FVC_pred") - cell(olderRows[1], "FVC_pred")), 0.1);
}

TEST_F(DayResultsTest, NoLimitIsGivenOutsideTheEquationsOrOnTheOlderSets)
{
    // GLI ends at 95: a 96-year-old gets no GLI values at all, not extrapolated ones.
    const QDate day(2024, 4, 9);
    const int old = addPatient(4, true, day.addYears(-96), 170);
    storeSession(old, 1, kPhasePre, day.toString("yyyy-MM-dd"), 9, 2.0, 2.9);
    // The fixture's patient is on an older set: predicted and % predicted, no LLN or z-score.
    addDay(day.toString("yyyy-MM-dd"));
    for (const int id : {old, patientId}) {
        const DayResults r = collect(id, day);
        for (const char* name : {"FEV1", "FVC", "FEV1/FVC"}) {
            const ParameterResult* v = find(r, name);
            ASSERT_NE(v, nullptr) << name;
            EXPECT_FALSE(v->lln || v->zScore) << name;
            EXPECT_EQ(bool(v->predicted), id == patientId) << name;
            EXPECT_FALSE(v->BelowLln()) << name;
        }
        // Without an LLN the FHIR observation has no range and no low/normal.
        for (const QJsonValue& e : BuildFhirBundle(r, {})["entry"].toArray())
            EXPECT_FALSE(e["resource"].toObject().contains("referenceRange")) << e["resource"]["id"].toString().toStdString();
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
