// The hospital links against real servers on loopback ports: an HL7 receiver
// written with python3-hl7 (AA, AE, silence, nobody listening), Orthanc as the
// archive (checked through its REST API) with dciodvfy on the exported file,
// and DCMTK's wlmscpfs serving worklist files made with dump2dcm. A test is
// skipped only when its server program is not installed.
#include "exchange/exchange_fixture.h"
#include "support/loopback_server.h"
#include "support/run_tool.h"

#include "core/app/ini_file.h"
#include "core/exchange/exchange_parameters.h"
#include "core/hospital/hospital_settings.h"
#include "core/report/day_result.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dctk.h"

#include <cmath>

namespace {

QJsonObject json(const QByteArray& bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

const char kPython[] = "/usr/bin/python3";

bool pythonHl7Installed()
{
    return RunTool(kPython, {"-c", "import hl7"}).exitCode == 0;
}

} // namespace

class HospitalTest : public ExchangeTest {
  protected:
    ToolResult tavctl(const QStringList& args, int timeoutMs = 60000)
    {
        return RunTool(TAVCTL_PATH, QStringList{"--home", home.path()} + args, {}, timeoutMs);
    }
    QStringList day(const QString& date, int id = 0) const
    {
        return {"--patient", QString::number(id ? id : patientId), "--day", date};
    }
    QJsonArray outbox()
    {
        return json(tavctl({"outbox", "list", "--json"}).out)["entries"].toArray();
    }
    bool startReceiver(LoopbackServer& server, quint16 port, const QString& mode)
    {
        return server.Start(kPython,
                            {QString(HOSPITAL_TEST_DIR) + "/mllp_receiver.py",
                             QString::number(port), mode, home.path("received.json")},
                            port);
    }
};

TEST_F(HospitalTest, Hl7ResultReachesTheReceiverAsTheDayReportsItOrWaitsInTheOutbox)
{
    if (!QFile::exists(kPython) || !pythonHl7Installed())
        GTEST_SKIP() << "python3-hl7 is not installed";
    addDay("2026-07-01");
    // Every HL7 delimiter in the name: escaped on the way, the same name on arrival.
    patient.Name = "Smith|Jones^~\\&, Ann";
    ASSERT_TRUE(SavePatientName(db, patientId, patient.Name, 0, QString()));

    const quint16 port = LoopbackServer::FreePort();
    {
        LoopbackServer receiver;
        ASSERT_TRUE(startReceiver(receiver, port, "AA"));
        const ToolResult sent =
            tavctl(QStringList{"hl7", "send", "--to", QString("127.0.0.1:%1").arg(port)} +
                   day("2026-07-01"));
        ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
        EXPECT_TRUE(json(sent.out)["sent"].toBool());
    }
    const QJsonObject message = json(home.read("received.json"));
    EXPECT_EQ(message["family"].toString(), "Smith|Jones^~\\&");
    EXPECT_EQ(message["given"].toString(), "Ann");
    EXPECT_EQ(message["charset"].toString(), "UNICODE UTF-8");

    // Each value the day reports is one OBX with the same figure, code, unit and flag; no other NM
    // OBX.
    DayResult result;
    ASSERT_TRUE(LoadDayResult(db, patientId, QDate(2026, 7, 1), result));
    int expected = 0;
    for (const PhaseValues& phase : result.phases) {
        ASSERT_FALSE(phase.withheld);
        for (const auto& [name, value] : phase.reported.values) {
            const ExchangeParameter* p = FindExchangeParameter(name.toLatin1().constData());
            if (!p)
                continue;
            ++expected;
            const double figure = name == "FEV1/FVC" ? value.value * 100 : value.value;
            bool found = false;
            for (const QJsonValue& obx : message["obx"].toArray()) {
                if (obx["code"].toString() != (p->loinc.Exists() ? p->loinc.code : p->slug))
                    continue;
                found = true;
                EXPECT_NEAR(obx["value"].toString().toDouble(), figure, 0.005)
                    << name.toStdString();
                EXPECT_EQ(obx["units"].toString(), p->ucum);
                if (value.Referenced()) {
                    EXPECT_EQ(obx["flag"].toString(),
                              value.value < value.reference.lln ? "L" : "N");
                }
            }
            EXPECT_TRUE(found) << name.toStdString();
        }
    }
    int numeric = 0, pdf = 0;
    for (const QJsonValue& obx : message["obx"].toArray()) {
        numeric += obx["type"] == "NM";
        if (obx["type"] == "ED")
            pdf += QByteArray::fromBase64(obx["value"].toString().toLatin1()).startsWith("%PDF");
    }
    EXPECT_EQ(numeric,
              expected + (result.vcResult.bestTest >= 0) + (result.mvvResult.bestTest >= 0));
    EXPECT_EQ(pdf, 1);

    // An AE answer, silence and nobody listening: errors with the reason, each kept in the outbox.
    const quint16 silentPort = LoopbackServer::FreePort();
    const quint16 downPort = LoopbackServer::FreePort();
    LoopbackServer refusing, silent;
    ASSERT_TRUE(startReceiver(refusing, port, "AE"));
    ASSERT_TRUE(startReceiver(silent, silentPort, "silent"));
    const ToolResult error = tavctl(
        QStringList{"hl7", "send", "--to", QString("127.0.0.1:%1").arg(port)} + day("2026-07-01"));
    EXPECT_EQ(error.exitCode, 1);
    EXPECT_TRUE(error.err.contains("(AE): Patient unknown | at this ward"))
        << error.err.toStdString();
    const ToolResult timeout = tavctl(QStringList{"hl7", "send", "--timeout", "1", "--to",
                                                  QString("127.0.0.1:%1").arg(silentPort)} +
                                      day("2026-07-01"));
    EXPECT_EQ(timeout.exitCode, 1);
    EXPECT_TRUE(timeout.err.contains("no acknowledgement")) << timeout.err.toStdString();
    const ToolResult down =
        tavctl(QStringList{"hl7", "send", "--to", QString("127.0.0.1:%1").arg(downPort)} +
               day("2026-07-01"));
    EXPECT_EQ(down.exitCode, 1);
    EXPECT_FALSE(json(down.out)["sent"].toBool());
    ASSERT_EQ(outbox().size(), 3);

    // Retried: the one whose receiver now accepts leaves the outbox, the others wait, counted.
    ASSERT_TRUE(IniFile::WriteString(AppPaths::SettingsFile(), kHospitalSection, "TIMEOUT", "1"));
    LoopbackServer back;
    ASSERT_TRUE(startReceiver(back, downPort, "AA"));
    const ToolResult retry = tavctl({"outbox", "retry"});
    EXPECT_EQ(retry.exitCode, 1);
    EXPECT_EQ(json(retry.out)["sent"].toInt(), 1);
    EXPECT_EQ(json(retry.out)["waiting"].toInt(), 2);
    const QJsonArray waiting = outbox();
    ASSERT_EQ(waiting.size(), 2);
    for (const QJsonValue& e : waiting)
        EXPECT_EQ(e["attempts"].toInt(), 2);
}

TEST_F(HospitalTest, ReportReachesTheArchiveWithTheSamePdfAfterTheArchiveWasDown)
{
    if (!LoopbackServer::Installed("Orthanc"))
        GTEST_SKIP() << "Orthanc is not installed";
    addDay("2026-07-01");
    const QString file = home.path("day.dcm");
    const ToolResult exported = tavctl(
        QStringList{"dicom", "export", "--out", file, "--accession", "ACC-7"} + day("2026-07-01"));
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    if (LoopbackServer::Installed("dciodvfy")) {
        const ToolResult verified = RunTool("dciodvfy", {file});
        EXPECT_FALSE(verified.err.contains("Error") || verified.out.contains("Error"))
            << verified.err.toStdString();
    }

    // Sent while the archive is down: kept, with the exact instance.
    const quint16 dicomPort = LoopbackServer::FreePort();
    const QString to = QString("ARCHIVE@127.0.0.1:%1").arg(dicomPort);
    const ToolResult down = tavctl(
        QStringList{"dicom", "send", "--to", to, "--accession", "ACC-7"} + day("2026-07-01"));
    EXPECT_EQ(down.exitCode, 1);
    const QJsonArray queued = outbox();
    ASSERT_EQ(queued.size(), 1);
    DcmFileFormat kept;
    ASSERT_TRUE(kept.loadFile(home.path("Hospital/outbox/" + queued[0]["id"].toString() + ".dcm")
                                  .toLocal8Bit()
                                  .constData())
                    .good());
    const Uint8* bytes = nullptr;
    unsigned long size = 0;
    Uint32 pdfLength = 0;
    kept.getDataset()->findAndGetUint8Array(DCM_EncapsulatedDocument, bytes, &size);
    kept.getDataset()->findAndGetUint32(DCM_EncapsulatedDocumentLength, pdfLength);
    const QByteArray pdf(reinterpret_cast<const char*>(bytes), int(pdfLength));
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    OFString keptStudy, exportedStudy;
    kept.getDataset()->findAndGetOFString(DCM_StudyInstanceUID, keptStudy);
    DcmFileFormat exportedFile;
    ASSERT_TRUE(exportedFile.loadFile(file.toLocal8Bit().constData()).good());
    exportedFile.getDataset()->findAndGetOFString(DCM_StudyInstanceUID, exportedStudy);
    EXPECT_EQ(keptStudy, exportedStudy); // one study per patient and day, however often built

    const quint16 httpPort = LoopbackServer::FreePort();
    home.write("orthanc/config.json",
               QJsonDocument(QJsonObject{{"Name", "TAV test archive"},
                                         {"StorageDirectory", home.path("orthanc/db")},
                                         {"IndexDirectory", home.path("orthanc/db")},
                                         {"DicomAet", "ARCHIVE"},
                                         {"DicomPort", dicomPort},
                                         {"HttpPort", httpPort},
                                         {"RemoteAccessAllowed", false},
                                         {"AuthenticationEnabled", false},
                                         {"Plugins", QJsonArray()}})
                   .toJson());
    LoopbackServer archive;
    ASSERT_TRUE(archive.Start("Orthanc", {home.path("orthanc/config.json")}, dicomPort))
        << archive.Output().toStdString();
    const ToolResult retry = tavctl({"outbox", "retry"});
    ASSERT_EQ(retry.exitCode, 0) << retry.out.toStdString();
    EXPECT_EQ(outbox().size(), 0);

    const QString rest = QString("http://127.0.0.1:%1").arg(httpPort);
    const QJsonArray instances =
        QJsonDocument::fromJson(RunTool("curl", {"-sf", rest + "/instances"}).out).array();
    ASSERT_EQ(instances.size(), 1);
    const QString instance = rest + "/instances/" + instances[0].toString();
    const QJsonObject tags = json(RunTool("curl", {"-sf", instance + "/simplified-tags"}).out);
    EXPECT_EQ(tags["PatientID"].toString(), patient.PatientNumber);
    EXPECT_EQ(tags["AccessionNumber"].toString(), "ACC-7");
    EXPECT_EQ(tags["SOPClassUID"].toString(), "1.2.840.10008.5.1.4.1.1.104.1");
    const QByteArray stored = RunTool("curl", {"-sf", instance + "/content/0042-0011"}).out;
    EXPECT_EQ(stored.left(pdf.size()), pdf);
}

TEST_F(HospitalTest, WorklistOrdersSelectOrCreatePatientsOnlyWhenTheIdentityAgrees)
{
    if (!LoopbackServer::Installed("wlmscpfs") || !LoopbackServer::Installed("dump2dcm"))
        GTEST_SKIP() << "DCMTK's wlmscpfs and dump2dcm are not installed";
    // Two orders: a new patient, and one under our patient's number but born on another day.
    auto order = [&](const QString& accession, const QString& number, const QString& name,
                     const QString& birth) {
        const QString dump = home.path("wl/" + accession + ".dump");
        home.write(
            "wl/" + accession + ".dump",
            QString(
                "(0008,0005) CS [ISO_IR 192]\n(0008,0050) SH [%1]\n(0010,0010) PN [%2]\n"
                "(0010,0020) LO [%3]\n(0010,0030) DA [%4]\n(0010,0040) CS [F]\n(0010,1020) DS "
                "[1.68]\n"
                "(0010,1030) DS [61]\n(0010,2000) LO\n(0010,2110) LO\n"
                "(0020,000d) UI [1.2.826.0.1.3680043.2.1143.%5]\n(0032,1032) PN\n"
                "(0032,1060) LO [Spirometry pre and post]\n(0040,0100) SQ\n(fffe,e000) -\n"
                "(0008,0060) CS [OT]\n(0032,1070) LO\n(0040,0001) AE [SPIRO1]\n(0040,0002) DA "
                "[20261207]\n"
                "(0040,0003) TM [0930]\n(0040,0006) PN\n(0040,0007) LO [Spirometry]\n(0040,0009) "
                "SH [SPS%5]\n"
                "(0040,0010) SH\n(0040,0011) SH\n(0040,0012) LO\n(0040,0400) LT\n(fffe,e00d) -\n"
                "(fffe,e0dd) -\n(0040,1001) SH [RP%5]\n(0040,1003) SH\n")
                .arg(accession, name, number, birth)
                .arg(accession.right(1))
                .toUtf8());
        return RunTool("dump2dcm", {dump, home.path("wl/WORKLIST/" + accession + ".wl")})
                   .exitCode == 0;
    };
    home.write("wl/WORKLIST/lockfile", "");
    ASSERT_TRUE(order("ACC1", "P1001", "Muster^Erika", "19700412"));
    ASSERT_TRUE(order("ACC2", patient.PatientNumber, "O'Brien^Anna", "19800101"));
    const quint16 port = LoopbackServer::FreePort();
    LoopbackServer worklist;
    ASSERT_TRUE(worklist.Start("wlmscpfs", {"-dfp", home.path("wl"), QString::number(port)}, port));
    const QString server = QString("WORKLIST@127.0.0.1:%1").arg(port);

    const ToolResult listed =
        tavctl({"worklist", "--server", server, "--date", "2026-12-07", "--json"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    const QJsonArray orders = json(listed.out)["orders"].toArray();
    ASSERT_EQ(orders.size(), 2);
    const QJsonObject erika =
        orders[0]["accession"] == "ACC1" ? orders[0].toObject() : orders[1].toObject();
    EXPECT_EQ(erika["name"].toString(), "Muster, Erika");
    EXPECT_EQ(erika["birthDate"].toString(), "1970-04-12");
    EXPECT_EQ(erika["height"].toInt(), 168);
    EXPECT_EQ(erika["time"].toString(), "09:30");
    EXPECT_EQ(json(tavctl({"worklist", "--server", server, "--date", "2026-12-08", "--json"})
                       .out)["orders"]
                  .toArray()
                  .size(),
              0);

    // Taken: the patient is created, and the day's results carry the accession number.
    const ToolResult taken =
        tavctl({"worklist", "take", "--server", server, "--accession", "ACC1"});
    ASSERT_EQ(taken.exitCode, 0) << taken.err.toStdString();
    const int erikaId = json(taken.out)["patient"].toInt();
    PatientRecord created;
    ASSERT_TRUE(LoadPatient(db, erikaId, created));
    EXPECT_EQ(created.PatientNumber, "P1001");
    EXPECT_EQ(created.Height, 168);
    WriteRegisteredTest(home, db, erikaId, kTestFvc, "2026-12-07 09:41:00",
                        FvcRecord(3.4f, 2.8f, 6.5f), FvcPulses(3.4, 6.5));
    ASSERT_EQ(tavctl(QStringList{"hl7", "export", "--out", home.path("erika.hl7")} +
                     day("2026-12-07", erikaId))
                  .exitCode,
              0);
    EXPECT_TRUE(home.read("erika.hl7").contains("\rORC|RE||ACC1||CM\r"));
    const ToolResult again =
        tavctl({"worklist", "take", "--server", server, "--accession", "ACC1"});
    EXPECT_EQ(json(again.out)["patient"].toInt(), erikaId);
    EXPECT_FALSE(json(again.out)["created"].toBool());

    // Another person under a number held here: refused, naming both, and nobody changed.
    const int before = patientCount();
    const ToolResult clash =
        tavctl({"worklist", "take", "--server", server, "--accession", "ACC2"});
    EXPECT_EQ(clash.exitCode, 1);
    EXPECT_TRUE(clash.err.contains("is held here by")) << clash.err.toStdString();
    PatientRecord ours;
    ASSERT_TRUE(LoadPatient(db, patientId, ours));
    EXPECT_EQ(ours.Birthdate, patient.Birthdate);
    EXPECT_EQ(patientCount(), before);
}
