// One answer per day: the screen's tables, the printed page 1, the exchanged
// values (GDT, FHIR, CSV) all carry what the day-result model reports for
// each phase; a failed phase and a damaged record never become figures; a
// past day keeps the set and BTPS it was measured with.
#include "day_results_fixture.h"

#include "core/app/system_settings.h"
#include "core/clinical/gli_patient.h"
#include "core/exchange/csv_export.h"
#include "core/exchange/csv_table.h"
#include "core/exchange/fhir_bundle.h"
#include "core/exchange/gdt_exchange.h"
#include "core/records/schema_upgrade.h"
#include "core/report/clinical_summary.h"
#include "core/report/pdf_export.h"
#include "core/report/report_data.h"
#include "support/run_tool.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QString pageText(const QString& pdf, int page)
{
    const ToolResult r = RunTool("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QString::fromUtf8(r.out);
}

// Every number a FHIR bundle states as a measured quantity.
QList<double> fhirValues(const QJsonObject& bundle)
{
    QList<double> values;
    for (const QJsonValue& e : bundle["entry"].toArray()) {
        const QJsonObject resource = e["resource"].toObject();
        if (resource.contains("valueQuantity"))
            values << resource["valueQuantity"]["value"].toDouble();
    }
    return values;
}

// The value GDT gives test `id` ("FEV1_PRE"), NaN when it gives none.
double gdtValue(const GdtRecord& record, const QString& id)
{
    for (std::size_t i = 0; i + 1 < record.lines.size(); ++i)
        if (record.lines[i].field == GdtField::kTestId && record.lines[i].value == id)
            for (std::size_t k = i + 1; k < record.lines.size() && record.lines[k].field != GdtField::kTestId; ++k)
                if (record.lines[k].field == GdtField::kResultValue)
                    return record.lines[k].value.toDouble();
    return std::nan("");
}

} // namespace

class OneAnswerTest : public DayResultsTest {
  protected:
    void SetUp() override
    {
        DayResultsTest::SetUp();
        basis.standard = kStandardGliGlobal2022;
        basis.setVersion = "2022";
        basis.btps = 1;
        id = addPatient(kStandardGliGlobal2022, true, QDate(1970, 3, 1), 175);
    }
    void TearDown() override { Settings().Reset(); }

    DayResult load(const QDate& day)
    {
        DayResult r;
        EXPECT_TRUE(LoadDayResult(db, id, day, r));
        return r;
    }
    // Page 1 of the day's report as text; empty without pdftotext.
    QString firstPage(const QString& day)
    {
        ReportData data;
        EXPECT_TRUE(LoadReportData(db, id, day, data));
        const QString out = home.path(day + ".pdf");
        PdfPrinterSettings settings;
        settings.SetOutput(out);
        QString error;
        EXPECT_TRUE(WriteReportPdf(data, settings, &error)) << error.toStdString();
        return pageText(out, 1);
    }
    bool canReadPdf() const { return !QStandardPaths::findExecutable("pdftotext").isEmpty(); }

    int id = 0;
};

TEST_F(OneAnswerTest, ABronchodilatorDayIsTheSameOnScreenOnPageOneAndInEveryExchangedFile)
{
    // Obstructed before the bronchodilator, opened after it. Before: three blows
    // stored one per session (as every day before sessions), the best FEV1 in the
    // middle, the best FVC last; after: one session of three blows.
    const QDate day(2026, 4, 14);
    const PulseStream good = blowPulses(true);
    const double preFev1[] = {1.74, 1.80, 1.77}, preFvc[] = {3.84, 3.85, 3.90};
    for (int i = 0; i < 3; ++i) {
        const int number = nextNumber++;
        StoreSessionBlow(db, id, number, blowRecord(float(preFvc[i]), float(preFev1[i]), good),
                         good, QString("2026-04-14 09:0%1:00").arg(i * 3),
                         {number, 1, kPhasePre, basis});
    }
    storeSession(id, 10, kPhasePost, "2026-04-14", 10, 2.60, 4.10);
    const DayResult model = load(day);
    ASSERT_EQ(model.phases.size(), 2u);
    EXPECT_EQ(model.setName, "GLI Global 2022");
    const PhaseValues& pre = model.phases[0];
    const PhaseValues& post = model.phases[1];
    ASSERT_FALSE(pre.withheld || post.withheld);
    EXPECT_FLOAT_EQ(pre.record.FEV1, 1.80f);
    EXPECT_FLOAT_EQ(post.record.FVC, 4.10f);
    // The ratio is the phase's own: never a post FEV1 over a pre FVC.
    EXPECT_NEAR(pre.record.FEV1_FVC, 100.0 * 1.80 / 3.90, 1e-4);
    EXPECT_NEAR(post.record.FEV1_FVC, 100.0 * 2.60 / 4.10, 1e-4);
    // The response compares the best pre blow, not the last one (2.60 - 1.80, not 2.60 - 1.77).
    ASSERT_TRUE(model.bdr.has_value());
    EXPECT_NEAR(model.bdr->fev1.litres, 2.60 - 1.80, 1e-3);

    struct Value {
        const char* name;
        const char* gdt;
        double pre, post;
    };
    const Value values[] = {{"FEV1", "FEV1", pre.record.FEV1, post.record.FEV1},
                            {"FVC", "FVC", pre.record.FVC, post.record.FVC},
                            {"FEV1/FVC", "FEV1-FVC", pre.record.FEV1_FVC, post.record.FEV1_FVC}};

    // GDT and FHIR.
    DayResults exchanged;
    ASSERT_TRUE(CollectDayResults(db, id, "2026-04-14", exchanged));
    EXPECT_EQ(exchanged.referenceSet, "GLI Global 2022");
    const ParameterResult* preFev1Value = find(exchanged, "FEV1", SessionPhase::Pre);
    const ParameterResult* postFev1Value = find(exchanged, "FEV1", SessionPhase::Post);
    ASSERT_TRUE(preFev1Value && postFev1Value);
    EXPECT_EQ(preFev1Value->testTime, "2026-04-14 09:03:00");
    EXPECT_EQ(find(exchanged, "FEV1"), nullptr); // a day with both phases names them
    // Both phases are compared with the same person's equations.
    EXPECT_EQ(*preFev1Value->predicted, *postFev1Value->predicted);
    EXPECT_GT(*postFev1Value->zScore, *preFev1Value->zScore);
    const GdtRecord gdt = BuildGdtResult(exchanged, ExchangeSettings());
    EXPECT_NEAR(gdtValue(gdt, "FEV1_POST_LLN"), *postFev1Value->lln, 0.005);
    EXPECT_NEAR(gdtValue(gdt, "FEV1_PRE_Z"), *preFev1Value->zScore, 0.005);
    const QList<double> fhir = fhirValues(BuildFhirBundle(exchanged, {}));
    for (const Value& v : values) {
        EXPECT_NEAR(gdtValue(gdt, QString(v.gdt) + "_PRE"), v.pre, 0.005) << v.name;
        EXPECT_NEAR(gdtValue(gdt, QString(v.gdt) + "_POST"), v.post, 0.005) << v.name;
        EXPECT_TRUE(fhir.contains(RoundedValue(v.pre))) << v.name;
        EXPECT_TRUE(fhir.contains(RoundedValue(v.post))) << v.name;
    }

    // The CSV: one row per blow with its phase, then each phase's reported row.
    QByteArray csv;
    CsvExportResult counts;
    ASSERT_TRUE(BuildTestsCsv(db, day, day, csv, counts));
    CsvRows rows;
    ASSERT_TRUE(ParseCsv(csv, rows));
    const QStringList header = rows.rows.front();
    QStringList phases;
    for (const QStringList& row : rows.rows) {
        phases << row.value(header.indexOf("phase")) + ' ' + row.value(header.indexOf("row_kind"));
        if (row.value(header.indexOf("row_kind")) != "reported")
            continue;
        const bool isPost = row.value(header.indexOf("phase")) == "post";
        for (const Value& v : values)
            EXPECT_EQ(row.value(header.indexOf(v.name)),
                      QString::number(isPost ? v.post : v.pre, 'f', 2))
                << v.name;
    }
    phases.removeFirst(); // the header
    EXPECT_EQ(phases, QStringList({"pre blow", "pre blow", "pre blow", "post blow", "post blow",
                                   "post blow", "pre reported", "post reported"}));

    // Page 1: the set named exactly, both phases' values, no "best of all loops".
    if (!canReadPdf())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QString page = firstPage("2026-04-14");
    EXPECT_TRUE(page.contains("GLI Global 2022")) << page.toStdString();
    for (const Value& v : values) {
        EXPECT_TRUE(page.contains(QString::number(v.pre, 'f', 2))) << v.name << " pre";
        EXPECT_TRUE(page.contains(QString::number(v.post, 'f', 2))) << v.name << " post";
    }
    // The mixed ratio of the old best-of-all-loops table must not appear.
    EXPECT_FALSE(page.contains(QString::number(100.0 * 2.60 / 3.90, 'f', 2)));
    EXPECT_FALSE(page.contains("Not defined"));
}

TEST_F(OneAnswerTest, AFailedPhaseAndADamagedRecordNeverBecomeFigures)
{
    // A session whose every blow breathed in far more than it blew out: nothing
    // acceptable or usable. And a record read back with an FEV1 of 3e38.
    const PulseStream good = blowPulses(true);
    for (int i = 0; i < 3; ++i) {
        ManeuverResult r = blowRecord(float(3.61 - 0.02 * i), float(2.93 - 0.02 * i), good);
        r.FIVC = r.FVC + 1.5f;
        r.EVOL = 900; // a slow start as well
        StoreSessionBlow(db, id, nextNumber++, r, good, QString("2026-04-15 09:0%1:00").arg(i), {1, i + 1, kPhasePre, basis});
    }
    ManeuverResult damaged = blowRecord(3.9f, 3e38f, good);
    StoreSessionBlow(db, id, 77, damaged, good, "2026-04-15 09:30:00", {2, 1, kPhasePre, basis});

    const DayResult model = load(QDate(2026, 4, 15));
    ASSERT_EQ(model.damaged.size(), 1u);
    EXPECT_EQ(model.damaged[0].dataName, "77.dt");
    EXPECT_TRUE(model.damaged[0].reason.startsWith("FEV1")) << model.damaged[0].reason.toStdString();
    EXPECT_EQ(model.fvc.size(), 3u); // the damaged test is no column of the list either
    ASSERT_EQ(model.phases.size(), 1u);
    EXPECT_TRUE(model.phases[0].withheld);
    EXPECT_EQ(model.phases[0].reported.fvcGrade, 'F');
    EXPECT_FALSE(model.interpretation.has_value());
    EXPECT_FALSE(model.interpretationNote.isEmpty());

    // Nothing of the failed phase leaves the program (GDT and FHIR write only
    // these values), and 3e38 nowhere.
    DayResults exchanged;
    ASSERT_TRUE(CollectDayResults(db, id, "2026-04-15", exchanged));
    for (const ParameterResult& v : exchanged.values)
        EXPECT_NE(v.parameter->testType, int(kTestFvc)) << v.parameter->name;
    QByteArray csv;
    CsvExportResult counts;
    ASSERT_TRUE(BuildTestsCsv(db, QDate(2026, 4, 15), QDate(2026, 4, 15), csv, counts));
    EXPECT_EQ(counts.skipped, 1);
    EXPECT_FALSE(csv.contains("reported"));
    EXPECT_FALSE(csv.contains("e+38") || csv.contains("00000000000000"));

    if (!canReadPdf())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QString page = firstPage("2026-04-15");
    EXPECT_FALSE(page.contains("3.61")) << "a grade-F value printed as a result";
    EXPECT_TRUE(page.contains("Grade FEV1 F, FVC F")) << page.toStdString();
    EXPECT_FALSE(page.contains("00000000000") || page.contains("e+38"));
    EXPECT_FALSE(page.contains("Within normal limits"));
}

TEST_F(OneAnswerTest, APastDayKeepsTheSetAndBtpsItWasMeasuredWith)
{
    storeSession(id, 1, kPhasePre, "2026-04-16", 9, 3.10, 4.00);
    if (!canReadPdf())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QString before = firstPage("2026-04-16");
    EXPECT_TRUE(before.contains("Volumes and flows at BTPS"));
    EXPECT_TRUE(before.contains("GLI Global 2022"));

    // The patient moves to an older set and BTPS is turned off: the day does not change.
    PatientRecord p;
    ASSERT_TRUE(LoadPatient(db, id, p));
    p.Standard = 0;
    ASSERT_TRUE(SavePatientDemographics(db, id, p));
    Settings().btps = 0;
    const QString after = firstPage("2026-04-16");
    EXPECT_EQ(after.section("Reference", 1), before.section("Reference", 1));
    EXPECT_EQ(load(QDate(2026, 4, 16)).setName, "GLI Global 2022");

    // A day stored without BTPS says nothing of BTPS.
    basis.btps = 0;
    storeSession(id, 7, kPhasePre, "2026-04-17", 9, 3.10, 4.00);
    EXPECT_FALSE(firstPage("2026-04-17").contains("BTPS"));
}

TEST_F(OneAnswerTest, ValuesThatCannotBeReadNormallySaySo)
{
    // Grade D: the two largest FVCs 0.22 L apart. The values lie in the normal range.
    const PulseStream good = blowPulses(true);
    const double fvcs[] = {4.40, 4.18, 4.10};
    for (int i = 0; i < 3; ++i)
        StoreSessionBlow(db, id, nextNumber++, blowRecord(float(fvcs[i]), float(fvcs[i] * 0.8), good), good,
                         QString("2026-04-18 09:0%1:00").arg(i), {1, i + 1, kPhasePre, basis});
    const DayResult poor = load(QDate(2026, 4, 18));
    ASSERT_EQ(poor.phases[0].reported.fvcGrade, 'D');
    ASSERT_TRUE(poor.interpretation.has_value());
    EXPECT_FALSE(poor.interpretation->caveat.isEmpty());
    const QString suggestion = SuggestionText(*poor.interpretation);
    EXPECT_FALSE(suggestion.contains(PatternText(SpirometryPattern::Normal))) << suggestion.toStdString();
    EXPECT_TRUE(suggestion.contains("D"));

    // An eight-year-old blowing like an adult: an FEV1 z far above +5.
    const int child = addPatient(kStandardGliGlobal2022, false, QDate(2018, 1, 10), 128);
    storeSession(child, 1, kPhasePre, "2026-04-18", 11, 3.30, 3.60);
    DayResult r;
    ASSERT_TRUE(LoadDayResult(db, child, QDate(2026, 4, 18), r));
    ASSERT_TRUE(r.interpretation.has_value());
    EXPECT_GT(r.interpretation->fev1.z, 5);
    EXPECT_TRUE(r.interpretation->caveat.contains("FEV1")) << r.interpretation->caveat.toStdString();
    EXPECT_FALSE(SuggestionText(*r.interpretation).contains(PatternText(SpirometryPattern::Normal)));
    // The bar marks it off the scale rather than at its end as if it were +3.
    EXPECT_TRUE(ZOffScale(r.interpretation->fev1.z));
}
