// tavctl export, import and gdt run as processes: the FHIR bundle through an
// independent validator, a GDT request round trip, CSV from one program folder
// into another.
#include "support/stored_tests.h"
#include "exchange_fixture.h"
#include "support/run_tool.h"

#include "core/exchange/gdt_record.h"
#include "core/records/diagnosis.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonDocument>
#include <QStandardPaths>

namespace {

QByteArray line(const char* field, const QByteArray& content)
{
    return QByteArray::number(9 + content.size()).rightJustified(3, '0') + field + content + "\r\n";
}

QJsonObject readJson(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

QStringList entryIds(const QJsonObject& bundle)
{
    QStringList ids;
    for (const QJsonValue& e : bundle["entry"].toArray())
        ids << e["fullUrl"].toString() + " " + e["resource"]["id"].toString();
    return ids;
}

} // namespace

class ExchangeCliTest : public ExchangeTest {
  protected:
    ToolResult tavctl(const QStringList& args, const QString& homePath = QString())
    {
        return RunTool(TAVCTL_PATH, QStringList{"--home", homePath.isEmpty() ? home.path() : homePath} + args);
    }

    // The validator of tests/fhir, installed by the fhir_validator_setup test.
    ToolResult validate(const QStringList& bundles)
    {
        const QString dir = qEnvironmentVariable("TAV_FHIR_VALIDATOR_DIR");
        return RunTool("node", QStringList{dir + "/validate_bundle.mjs",
                                           qEnvironmentVariable("TAV_SOURCE_DIR") + "/docs/exchange.md"} +
                                   bundles);
    }
    bool validatorInstalled()
    {
        const QString dir = qEnvironmentVariable("TAV_FHIR_VALIDATOR_DIR");
        return !dir.isEmpty() && QFile::exists(dir + "/node_modules/@medplum/core/package.json") &&
               !QStandardPaths::findExecutable("node").isEmpty();
    }

    // A GLI Global 2022 patient with a session before and one after the bronchodilator.
    int addGliPatientWithBronchodilatorDay(const QString& day)
    {
        const ToolResult added = tavctl({"patient", "add", "--name", "Okafor, Ada", "--gender", "1", "--birth",
                                         "1968-03-21", "--height", "171", "--weight", "66", "--standard", "4"});
        EXPECT_EQ(added.exitCode, 0) << added.err.toStdString();
        const int id = added.out.trimmed().toInt();
        const PulseStream good = blowPulses(true);
        const float fev1[] = {2.31f, 2.36f, 2.28f};
        for (int i = 0; i < 3; ++i) {
            StoreSessionBlow(db, id, 1 + i, blowRecord(3.10f - 0.02f * i, fev1[i], good), good,
                             QString("%1 09:0%2:00").arg(day).arg(i), {1, i + 1, kPhasePre});
            StoreSessionBlow(db, id, 4 + i, blowRecord(3.25f - 0.02f * i, fev1[i] + 0.35f, good), good,
                             QString("%1 09:3%2:00").arg(day).arg(i), {4, i + 1, kPhasePost});
        }
        return id;
    }
};

TEST_F(ExchangeCliTest, FhirBundlesValidateAndKeepTheirIdsOnReexport)
{
    addDay("2026-07-01");
    DiagnosisRecord diagnosis;
    diagnosis.Result = "Normal spirometry.";
    ASSERT_TRUE(SaveDiagnosis(DiagnosisFile(AppPaths::PatientCaseFolder(patientId), "2026-07-01"), diagnosis));
    const QStringList args = {"export", "fhir", "--patient", QString::number(patientId), "--day", "2026-07-01", "--out"};
    const ToolResult first = tavctl(args + QStringList{home.path("first.json")});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(first.out)["observations"].toInt(), 9);
    const ToolResult second = tavctl(args + QStringList{home.path("second.json")});
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    const QJsonObject bundle = readJson(home.path("first.json"));
    EXPECT_EQ(entryIds(bundle), entryIds(readJson(home.path("second.json"))));
    EXPECT_EQ(entryIds(bundle).size(), 12);

    // The PDF inside is the day's report.
    QByteArray pdf;
    for (const QJsonValue& e : bundle["entry"].toArray())
        if (e["resource"]["resourceType"] == "DiagnosticReport")
            pdf = QByteArray::fromBase64(e["resource"]["presentedForm"][0]["data"].toString().toLatin1());
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    home.write("inside.pdf", pdf);
    if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
        const ToolResult text = RunTool("pdftotext", {home.path("inside.pdf"), "-"});
        EXPECT_EQ(text.exitCode, 0);
        EXPECT_TRUE(text.out.contains("Anna O'Brien"));
    }

    if (!validatorInstalled())
        GTEST_SKIP() << "the FHIR validator (node, tests/fhir) is not installed";
    // A GLI day before and after the bronchodilator: limits, interpretations and phase codes.
    const int gli = addGliPatientWithBronchodilatorDay("2026-02-17");
    ASSERT_EQ(tavctl({"export", "fhir", "--patient", QString::number(gli), "--day", "2026-02-17", "--out",
                      home.path("bd.json")})
                  .exitCode,
              0);
    const ToolResult valid = validate({home.path("first.json"), home.path("bd.json")});
    EXPECT_EQ(valid.exitCode, 0) << valid.out.toStdString() << valid.err.toStdString();
    EXPECT_TRUE(valid.out.contains("2 passed, 0 failed")) << valid.out.toStdString();

    // The validator is not a rubber stamp: a bundle missing a required element fails.
    QJsonObject broken = bundle;
    QJsonArray entries = broken["entry"].toArray();
    QJsonObject entry = entries[3].toObject();
    QJsonObject observation = entry["resource"].toObject();
    observation.remove("code");
    entry["resource"] = observation;
    entries[3] = entry;
    broken["entry"] = entries;
    home.write("broken.json", QJsonDocument(broken).toJson());
    const ToolResult invalid = validate({home.path("broken.json")});
    EXPECT_NE(invalid.exitCode, 0) << invalid.out.toStdString();
}

TEST_F(ExchangeCliTest, GdtRequestRoundTripCreatesThePatientAndReturnsTheDaysValues)
{
    QByteArray request = line("8000", "6302") + line("8315", "TAVSPIRO") + line("8316", "PRAXIS") +
                         line("9206", "2") + line("3000", "98765") + line("3101", "Gr\x94\xE1") +
                         line("3102", "Ren\x82") + line("3103", "02021970") + line("3110", "2") +
                         line("3622", "165") + line("3623", "58") + line("8402", "FVC");
    home.write("gdt/TAVSPRAX.GDT", request);
    const ToolResult imported = tavctl({"gdt", "import", home.path("gdt/TAVSPRAX.GDT")});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(imported.out).object();
    const int id = json["patient"].toInt();
    EXPECT_TRUE(json["created"].toBool());
    EXPECT_EQ(json["test"].toString(), "fvc");
    PatientRecord created;
    ASSERT_TRUE(LoadPatient(db, id, created));
    EXPECT_EQ(created.Name, QString::fromUtf8("Größ, René"));
    EXPECT_EQ(created.PatientNumber, "98765");

    // The tests of that day, then the result file.
    const int fixturePatient = patientId;
    patientId = id;
    addDay("2026-07-05");
    patientId = fixturePatient;
    const QString out = home.path("gdt/PRAXTAVS.GDT");
    const ToolResult exported =
        tavctl({"gdt", "export", "--patient", QString::number(id), "--day", "2026-07-05", "--out", out});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const QByteArray bytes = home.read("gdt/PRAXTAVS.GDT");
    GdtRecord result;
    QString error;
    ASSERT_TRUE(ParseGdt(bytes, result, &error)) << error.toStdString();
    EXPECT_EQ(result.Value(GdtField::kPatientNumber), "98765");
    EXPECT_EQ(result.Value(GdtField::kSurname), QString::fromUtf8("Größ"));
    QStringList values;
    for (const GdtLine& l : result.lines)
        if (l.field == GdtField::kResultValue)
            values << l.value;
    EXPECT_TRUE(values.contains("4.80")) << values.join(' ').toStdString();
    QFile pdf(result.Value(GdtField::kFileReference));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << pdf.fileName().toStdString();
    EXPECT_TRUE(pdf.read(5) == "%PDF-");

    // A malformed request, and another person under the same number: refused
    // (the second with its own exit code and nothing on stdout), nothing stored.
    const int before = patientCount();
    QByteArray bad = request;
    bad.replace(line("3000", "98765"), "0173000" "98765\r\n");
    home.write("bad.gdt", bad);
    const ToolResult refused = tavctl({"gdt", "import", home.path("bad.gdt")});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.err.contains("line 5:")) << refused.err.toStdString();
    QByteArray stranger = request;
    stranger.replace(line("3102", "Ren\x82"), line("3102", "Anna"));
    home.write("other.gdt", stranger);
    const ToolResult other = tavctl({"gdt", "import", home.path("other.gdt")});
    EXPECT_EQ(other.exitCode, 2) << other.err.toStdString();
    EXPECT_TRUE(other.out.isEmpty()) << other.out.toStdString();
    EXPECT_TRUE(other.err.contains("Anna")) << other.err.toStdString();
    EXPECT_EQ(patientCount(), before);
}

TEST_F(ExchangeCliTest, CsvExportOfOneFolderImportsIntoAnother)
{
    addDay("2026-07-01");
    const ToolResult exported = tavctl({"export", "csv", "--out", home.path("tests.csv"), "--from", "2026-07-01"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(exported.out)["rows"].toInt(), 4);
    EXPECT_NE(tavctl({"export", "csv", "--out", home.path("x.csv"), "--from", "1.7.2026"}).exitCode, 0);

    TempHome other;
    {
        Database seeded; // makes the other folder's data.mdb
        ASSERT_TRUE(seeded.Open(other.path("data.mdb")));
    }
    const ToolResult imported = tavctl({"import", "csv", "--patients", home.path("tests.csv")}, other.path());
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(imported.out).object();
    EXPECT_EQ(report["taken"].toArray().size(), 1);
    EXPECT_EQ(report["refused"].toArray().size(), 0);
    EXPECT_EQ(report["repeated"].toInt(), 3);
    EXPECT_NE(tavctl({"import", "csv", "--patients", home.path("missing.csv")}, other.path()).exitCode, 0);
}
