// The FHIR bundle of a day: stable ids, codes per phase, reference ranges and
// interpretation from the lower limit of normal, the PDF inside.
#include "exchange_fixture.h"

#include "core/exchange/fhir_bundle.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonObject resourceWithId(const QJsonObject& bundle, const QString& id)
{
    for (const QJsonValue& e : bundle["entry"].toArray())
        if (e["resource"]["id"].toString() == id)
            return e["resource"].toObject();
    return {};
}

double measured(const QJsonObject& bundle, const QString& id)
{
    const QJsonObject observation = resourceWithId(bundle, id);
    return observation["valueQuantity"]["value"].toDouble();
}

ParameterResult value(const char* name, double measured, SessionPhase phase = SessionPhase::Unspecified)
{
    ParameterResult r;
    r.parameter = FindExchangeParameter(name);
    r.measured = measured;
    r.phase = phase;
    r.testTime = "2026-07-01 10:04:00";
    return r;
}

DayResults handMadeDay()
{
    DayResults day;
    day.patient.PatientNumber = "00000042";
    day.patient.Name = "Meier, Eva";
    day.patient.Gender = 1;
    day.patient.Birthdate = QDate(1960, 3, 1);
    day.day = "2026-07-01";
    day.referenceSet = "GLI-2012";
    day.lastTestTime = "2026-07-01 10:40:00";
    ParameterResult fev1 = value("FEV1", 1.80, SessionPhase::Pre);
    fev1.predicted = 2.60;
    fev1.lln = 2.05;
    fev1.zScore = -2.31;
    fev1.percentPredicted = 69;
    day.values.push_back(fev1);
    ParameterResult post = value("FEV1", 2.20, SessionPhase::Post);
    post.lln = 2.05;
    day.values.push_back(post);
    day.values.push_back(value("MVV", 98.5));
    return day;
}

} // namespace

TEST(FhirBundleTest, IdsAreStableFhirIdsThatNeverCollide)
{
    EXPECT_EQ(FhirResourceId("obs", {"00000042", "20260701", "FEV1"}), "obs-00000042-20260701-FEV1");
    EXPECT_EQ(FhirResourceId("obs", {"a b"}), FhirResourceId("obs", {"a b"}));
    EXPECT_NE(FhirResourceId("obs", {"a b"}), FhirResourceId("obs", {"a-b"}));
    const QString longId = FhirResourceId("obs", {QString(80, '7'), "20260701", "FEV1"});
    EXPECT_LE(longId.size(), 64);
    EXPECT_NE(longId, FhirResourceId("obs", {QString(80, '7'), "20260701", "FVC"}));
    for (const QString& id : {longId, FhirResourceId("patient", {QString::fromUtf8("王/芳 ü")})})
        EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9\\-.]{1,64}$").match(id).hasMatch()) << id.toStdString();
    EXPECT_EQ(FhirFullUrl("Patient", "patient-1"), FhirFullUrl("Patient", "patient-1"));
    EXPECT_NE(FhirFullUrl("Patient", "patient-1"), FhirFullUrl("Device", "patient-1"));
}

TEST(FhirBundleTest, ObservationsCarryPhaseCodesLimitsAndInterpretation)
{
    FhirExportOptions options;
    options.reportPdf = "%PDF-1.4 test";
    options.demoMode = true;
    const QJsonObject bundle = BuildFhirBundle(handMadeDay(), options);
    EXPECT_EQ(QJsonDocument(bundle).toJson(), QJsonDocument(BuildFhirBundle(handMadeDay(), options)).toJson());

    const QJsonObject pre = resourceWithId(bundle, "obs-00000042-20260701-FEV1-pre");
    ASSERT_FALSE(pre.isEmpty());
    EXPECT_EQ(pre["code"]["coding"][0]["code"].toString(), "20157-4");
    EXPECT_EQ(pre["valueQuantity"]["value"].toDouble(), 1.80);
    EXPECT_EQ(pre["referenceRange"][0]["low"]["value"].toDouble(), 2.05);
    EXPECT_EQ(pre["interpretation"][0]["coding"][0]["code"].toString(), "L");
    const QJsonArray components = pre["component"].toArray();
    ASSERT_EQ(components.size(), 3);
    EXPECT_EQ(components[0]["code"]["coding"][0]["code"].toString(), "20149-1");
    EXPECT_EQ(components[0]["valueQuantity"]["value"].toDouble(), 2.60);
    EXPECT_EQ(components[1]["code"]["coding"][0]["system"].toString(), kLocalCodeSystem);
    EXPECT_EQ(components[1]["valueQuantity"]["value"].toDouble(), -2.31);
    EXPECT_EQ(components[2]["code"]["coding"][0]["code"].toString(), "20152-5");

    const QJsonObject post = resourceWithId(bundle, "obs-00000042-20260701-FEV1-post");
    EXPECT_EQ(post["code"]["coding"][0]["code"].toString(), "20155-8");
    EXPECT_EQ(post["interpretation"][0]["coding"][0]["code"].toString(), "N");
    EXPECT_FALSE(post.contains("component"));

    // MVV has no LOINC code and no limits here: local code, no range, no interpretation.
    const QJsonObject mvv = resourceWithId(bundle, "obs-00000042-20260701-MVV");
    EXPECT_EQ(mvv["code"]["coding"][0]["system"].toString(), kLocalCodeSystem);
    EXPECT_EQ(mvv["valueQuantity"]["code"].toString(), "L/min");
    EXPECT_FALSE(mvv.contains("referenceRange"));
    EXPECT_FALSE(mvv.contains("interpretation"));

    const QJsonObject report = resourceWithId(bundle, "report-00000042-20260701");
    EXPECT_EQ(QByteArray::fromBase64(report["presentedForm"][0]["data"].toString().toLatin1()),
              options.reportPdf);
    EXPECT_EQ(report["result"].toArray().size(), 3);
    const QJsonObject device = resourceWithId(bundle, "device-virtual");
    EXPECT_EQ(device["deviceName"][0]["name"].toString(), "virtual spirometer");
    const QJsonObject patient = resourceWithId(bundle, "patient-00000042");
    EXPECT_EQ(patient["name"][0]["family"].toString(), "Meier");
    EXPECT_EQ(patient["gender"].toString(), "female");
    // Every reference points at an entry of the bundle.
    QSet<QString> urls;
    for (const QJsonValue& e : bundle["entry"].toArray())
        urls.insert(e["fullUrl"].toString());
    for (const QJsonValue& r : report["result"].toArray())
        EXPECT_TRUE(urls.contains(r["reference"].toString()));
    EXPECT_TRUE(urls.contains(pre["subject"]["reference"].toString()));
    EXPECT_TRUE(urls.contains(pre["device"]["reference"].toString()));
}

class FhirDayTest : public ExchangeTest {};

TEST_F(FhirDayTest, StoredDayGivesTheBestValuesAndTheDiagnosisAsConclusion)
{
    addDay("2026-07-01");
    DiagnosisRecord diagnosis;
    diagnosis.Physician = "Dr. Vance";
    diagnosis.Result = "Mild restrictive pattern.";
    ASSERT_TRUE(SaveDiagnosis(DiagnosisFile(AppPaths::PatientCaseFolder(patientId), "2026-07-01"), diagnosis));
    DayResults day;
    QString error;
    ASSERT_TRUE(CollectDayResults(db, patientId, "2026-07-01", day, &error)) << error.toStdString();
    const QJsonObject bundle = BuildFhirBundle(day, {});
    const QString number = patient.PatientNumber;
    EXPECT_EQ(measured(bundle, "obs-" + number + "-20260701-FVC"), 4.80);
    EXPECT_EQ(measured(bundle, "obs-" + number + "-20260701-MVV"), 142.5);
    const QJsonObject report = resourceWithId(bundle, "report-" + number + "-20260701");
    EXPECT_EQ(report["conclusion"].toString(), "Mild restrictive pattern.");
    EXPECT_FALSE(report.contains("presentedForm"));
    EXPECT_EQ(resourceWithId(bundle, "device-TAV-TEST")["serialNumber"].toString(), "TAV-TEST");

    DayResults empty;
    EXPECT_FALSE(CollectDayResults(db, patientId, "2026-07-02", empty, &error));
    EXPECT_FALSE(CollectDayResults(db, patientId, "2026-7-2", empty, &error));
    EXPECT_FALSE(CollectDayResults(db, 999, "2026-07-01", empty, &error));
}
