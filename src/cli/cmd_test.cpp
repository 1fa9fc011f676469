// tavctl test: one whole live test without a window, through the device
// manager (the virtual spirometer in demo mode), the protocol, the writer and
// the database row.
#include "cli_context.h"
#include "commands.h"
#include "device_json.h"
#include "json_out.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/measure/measurement_store.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/session/live_test_session.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>

namespace {

const char kUsage[] =
    "usage: tavctl test --patient ID --type fvc|vc|mvv [--profile P] [--timeout SECONDS]";

const char* outcomeName(SaveOutcome outcome)
{
    switch (outcome) {
    case SaveOutcome::Saved:
        return "saved";
    case SaveOutcome::InvalidMvv:
        return "invalid-mvv";
    case SaveOutcome::InvalidVc:
        return "invalid-vc";
    case SaveOutcome::FileNotCreated:
        return "file-not-created";
    case SaveOutcome::NothingToSave:
        break;
    }
    return "nothing-to-save";
}

bool validProfile(int p)
{
    return (p >= 1 && p <= 5) || (p >= 11 && p <= 15);
}

} // namespace

int CmdTest(CliContext& context, QStringList& args)
{
    bool ok = false, hasProfile = false;
    const int patientId = CliContext::TakeOption(args, "--patient").toInt(&ok);
    if (!ok || patientId <= 0)
        return CliContext::Fail(QString("--patient ID is required\n") + kUsage);
    const int type = ParseTestType(CliContext::TakeOption(args, "--type"));
    if (type < 0)
        return CliContext::Fail(QString("--type must be fvc, vc or mvv\n") + kUsage);
    const QString profileText = CliContext::TakeOption(args, "--profile", &hasProfile);
    const int profile = profileText.toInt(&ok);
    if (hasProfile && (!ok || !validProfile(profile)))
        return CliContext::Fail(
            "--profile must be 1..5 (checksum frames) or 11..15 (ascii commands)");
    bool hasTimeout = false;
    const int timeout = CliContext::TakeOption(args, "--timeout", &hasTimeout).toInt(&ok);
    if (hasTimeout && (!ok || timeout <= 0))
        return CliContext::Fail("--timeout must be a number of seconds");
    if (!args.isEmpty())
        return CliContext::Fail("unexpected argument " + args.first() + "\n" + kUsage);
    if (!context.OpenDatabase())
        return 2;
    Database& db = context.Db();
    PatientRecord patient;
    if (!LoadPatient(db, patientId, patient))
        return CliContext::Fail(QString("no patient with ID %1").arg(patientId));
    if (hasProfile)
        Settings().simulator = profile; // this run only; System.ini is not touched

    LiveTestSession session;
    QEventLoop loop;
    enum class End { None, Finished, Aborted, TimedOut, Stopped } end = End::None;
    QObject::connect(&session, &LiveTestSession::deviceFinished, &loop, [&](int) {
        end = End::Finished;
        loop.quit();
    });
    QObject::connect(&session, &LiveTestSession::deviceAborted, &loop, [&] {
        end = End::Aborted;
        loop.quit();
    });
    QObject::connect(&session, &LiveTestSession::timedOut, &loop, [&] {
        end = End::TimedOut;
        loop.quit();
    });
    // A wired device that falls silent is not timed out by the worker.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] {
        end = End::Stopped;
        session.Stop();
        loop.quit();
    });

    switch (session.Start(type)) {
    case LiveTestSession::kStarted:
        break;
    case LiveTestSession::kNoDevice:
        return CliContext::Fail(GetLangText("MESSAGE", 138));
    case LiveTestSession::kLowBattery:
        return CliContext::Fail(GetLangText("COMMBTH", 1331));
    default:
        return CliContext::Fail(GetLangText("MESSAGE", 1207));
    }
    guard.start((hasTimeout ? timeout : 600) * 1000);
    loop.exec();
    session.Join();
    if (end != End::Finished) {
        DeviceManager::Instance().ClosePort();
        return CliContext::Fail(end == End::Aborted ? QString("the device stopped the test")
                                                    : GetLangText("MESSAGE", 1207),
                                1);
    }

    SaveContext save;
    save.patientId = patientId;
    save.caseFolder = AppPaths::PatientCaseFolder(patientId);
    save.heightCm = patient.Height;
    save.gender = patient.Gender;
    save.now = QDateTime::currentDateTime();
    const SaveResult result = session.Save(1, save, db);

    QJsonObject json;
    json["outcome"] = outcomeName(result.outcome);
    json["testType"] = type;
    json["dataName"] = result.dataName;
    json["path"] = result.path;
    json["testTime"] = result.testTime;
    json["record"] = ManeuverJson(result.record);
    if (type == kTestFvc) {
        json["acceptance"] = AcceptanceJson(result.acceptance);
        json["best"] = result.bestIndex;
    }
    json["maneuvers"] = MeasurementStore::Instance().ManeuverCount();
    json["resends"] = session.ResendRequests();
    json["prompts"] = QJsonArray::fromStringList(result.prompts);
    if (const auto device = DeviceManager::Instance().SimulatedDevice()) {
        json["profile"] = device->Config().profile;
        json["truth"] = TruthJson(device->Truth());
    }
    PrintJson(json);
    return result.outcome == SaveOutcome::Saved ? 0 : 1;
}
