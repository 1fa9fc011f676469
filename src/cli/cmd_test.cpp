// tavctl test: one whole live test without a window, through the device
// manager (the virtual spirometer in demo mode), the protocol, the writer and
// the database row.
#include "cli_context.h"
#include "fault_options.h"
#include "commands.h"
#include "device_json.h"
#include "json_out.h"

#include "core/accounts/day_signoff.h"
#include "core/accounts/test_attribution.h"
#include "core/app/app_paths.h"
#include "core/app/durable_file.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/device/bluetooth_port.h"
#include "core/device/device_manager.h"
#include "core/device/real_link_factories.h"
#include "core/device/simulated_bluetooth.h"
#include "core/measure/measurement_store.h"
#include "core/records/calibration_log.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/session_records.h"
#include "core/session/blow_coach.h"
#include "core/session/live_test_session.h"
#include "core/session/measurement_parts.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QTextStream>
#include <QTimer>


namespace {

const char kUsage[] =
    "usage: tavctl test --patient ID --type fvc|vc|mvv [--profile P] [--timeout SECONDS]\n"
    "                   [--fault drop:N|drop-end|lost:N|noise:P|pause:MS[@N]|split:N]... [--seed S]\n"
    "                   [--link bluetooth] [--record STREAM-FILE] [--phase pre|post]\n"
    "                   [--maneuvers N] [--drift P]";

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
    case SaveOutcome::NotRecorded:
        return "not-recorded";
    case SaveOutcome::NotUsable:
        return "not-usable";
    case SaveOutcome::DataLost:
        return "data-lost";
    case SaveOutcome::NothingToSave:
        break;
    }
    return "nothing-to-save";
}

bool validProfile(int p)
{
    return p >= 1 && p <= 20;
}

// One --fault KIND into `faults`; false when KIND is not understood.
// A dialog stand-in for the headless Bluetooth connect: picks the first device.
int pickFirstDevice(BluetoothLink& link)
{
    link.blueTooth.EnumerateRadios();
    link.blueTooth.Inquire(true);
    link.chosenIndex = 0;
    return 1;
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
            "--profile must be 1..10 (checksum frames) or 11..20 (ascii commands)");
    bool hasTimeout = false;
    const int timeout = CliContext::TakeOption(args, "--timeout", &hasTimeout).toInt(&ok);
    if (hasTimeout && (!ok || timeout <= 0))
        return CliContext::Fail("--timeout must be a number of seconds");
    SimFaults faults;
    bool anyFault = false;
    QString faultError;
    if (!TakeFaultOptions(args, faults, anyFault, faultError))
        return CliContext::Fail(faultError + "\n" + kUsage);
    double drift = 0;
    bool hasDrift = false;
    if (!TakeDriftOption(args, drift, hasDrift, faultError))
        return CliContext::Fail(faultError + "\n" + kUsage);
    bool hasLink = false;
    const QString link = CliContext::TakeOption(args, "--link", &hasLink);
    if (hasLink && link != "bluetooth")
        return CliContext::Fail("--link must be bluetooth\n" + QString(kUsage));
    bool record = false;
    const QString recordFile = CliContext::TakeOption(args, "--record", &record);
    if (record && recordFile.isEmpty())
        return CliContext::Fail("--record needs a file name\n" + QString(kUsage));
    bool hasPhase = false;
    const QString phaseText = CliContext::TakeOption(args, "--phase", &hasPhase);
    if (hasPhase && phaseText != "pre" && phaseText != "post")
        return CliContext::Fail("--phase must be pre or post\n" + QString(kUsage));
    int phase = phaseText == "post" ? kPhasePost : kPhasePre;
    bool hasManeuvers = false;
    const int blows = CliContext::TakeOption(args, "--maneuvers", &hasManeuvers).toInt(&ok);
    if (hasManeuvers && (!ok || blows < 1 || blows > PatientModel::kMaxFvcBlows))
        return CliContext::Fail(QString("--maneuvers must be 1..%1\n").arg(PatientModel::kMaxFvcBlows) +
                                kUsage);
    context.TakeUser(args);
    if (!args.isEmpty())
        return CliContext::Fail("unexpected argument " + args.first() + "\n" + kUsage);
    if (!context.SignIn(args, Action::RunTest))
        return 2;
    Database& db = context.Db();
    PatientRecord patient;
    if (!LoadPatient(db, patientId, patient))
        return CliContext::Fail(QString("no patient with ID %1").arg(patientId));
    // A new test on a signed day would change what was signed.
    const QString frozen =
        DaySignOff(db).FrozenRefusal(patientId, QDate::currentDate().toString("yyyy-MM-dd"));
    if (!frozen.isEmpty())
        return CliContext::Fail(frozen, 1);
    if (hasProfile)
        Settings().simulator = profile; // this run only; System.ini is not touched
    const int simulator = Settings().simulator.load();
    if ((anyFault || hasLink || hasManeuvers || hasDrift) && !validProfile(simulator))
        return CliContext::Fail(
            "--fault, --link, --maneuvers and --drift need the virtual device: give --profile");
    // The syringe check reminder, on stderr so that the JSON stays as it is.
    if (CheckDue(db, QDateTime::currentDateTime(), Settings().checkHours))
        QTextStream(stderr) << "tavctl: " << GetLangText("MESSAGE", 3183).arg(Settings().checkHours)
                            << '\n';

    MeasurementParts& parts = context.Parts();
    SimConfig config = SimConfig::ForSetting(simulator, SimTest(type));
    config.faults = faults;
    config.drift = drift;
    if (hasManeuvers)
        config.fvcBlows = blows;
    // The Bluetooth port code with the virtual device behind a played module,
    // at a person's pace.
    BluetoothLink bluetooth;
    std::shared_ptr<VirtualSpirometer> radioDevice;
    BluetoothLinkFactory bluetoothFactory(bluetooth);
    // The port and the dialog refer to the link above: both go before it does.
    struct LinkGuard {
        MeasurementParts& parts;
        bool active;
        ~LinkGuard()
        {
            if (!active)
                return;
            parts.devices.Disconnect();
            parts.devices.SetFactory(LinkKind::Bluetooth, nullptr);
            BluetoothPort::SetSetupDialog({});
        }
    } guardLink{parts, hasLink};
    if (hasLink) {
        config.protocol = SimProtocol::Checksum; // Bluetooth devices speak checksum frames
        config.realTime = true;
        radioDevice = VirtualSpirometer::Make(config);
        bluetooth.blueTooth.SetTransport(std::make_unique<SimulatedBluetooth>(radioDevice));
        parts.devices.SetFactory(LinkKind::Bluetooth, &bluetoothFactory);
        BluetoothPort::SetSetupDialog([&bluetooth] { return pickFirstDevice(bluetooth); });
        Settings().simulator = 0;
        Settings().communication = 0;
    } else if (anyFault || hasManeuvers || hasDrift) {
        parts.devices.SetSimulatorConfig(config);
    }

    LiveTestSession session(parts);
    QByteArray stream; // the device's bytes, for --record
    if (record)
        session.RecordStream(&stream);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&session, &LiveTestSession::deviceFinished, &loop, [&](int) {
        finished = true;
        loop.quit();
    });
    // Time-out, lost device, the device's own stop: Ending() says which.
    QObject::connect(&session, &LiveTestSession::endedEarly, &loop, &QEventLoop::quit);
    // --timeout: the user's own limit; the worker times out silence by itself.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { session.Stop(TestEnd::Closed); });

    switch (session.Start(type)) {
    case LiveTestSession::kStarted:
        break;
    case LiveTestSession::kNoDevice:
        return CliContext::Fail(GetLangText("MESSAGE", 138));
    case LiveTestSession::kLowBattery:
        return CliContext::Fail(GetLangText("COMMBTH", 1331));
    default:
        return CliContext::Fail(session.StartError());
    }
    if (hasTimeout)
        guard.start(timeout * 1000);
    loop.exec();
    session.Join();
    const TestEnding ending = session.Ending();
    if (!finished) {
        const QString what = ending.end == TestEnd::Closed
                                 ? QString("stopped after --timeout %1 s").arg(timeout)
                                 : ending.Message();
        if (ending.kept == 0) {
            parts.devices.ClosePort();
            return CliContext::Fail(what, 1);
        }
        // The whole blows so far are saved like a finished session's.
        QTextStream(stderr) << "tavctl: "
                            << CliContext::Terminal(what + "\n" +
                                                    GetLangText("MESSAGE", 3115).arg(ending.kept))
                            << '\n';
    }

    SaveContext save;
    save.patientId = patientId;
    save.caseFolder = AppPaths::PatientCaseFolder(patientId);
    save.heightCm = patient.Height;
    save.gender = patient.Gender;
    save.now = QDateTime::currentDateTime();
    // Without --phase the day decides: post once it has a pre session.
    if (!hasPhase)
        phase = DefaultPhaseForDay(db, patientId, save.now.date().toString("yyyy-MM-dd"));
    save.phase = phase;
    save.basis = PatientTestBasis(patient);
    save.sessionRows =
        SessionAttribution(db, context.User(), patientId, save.now.date().toString("yyyy-MM-dd"));
    const SaveResult result = session.Save(1, save, db);
    // The stream as it came, for `tavctl replay` (coefficients below in "cexp"/"cinsp").
    QString recordError;
    if (record && !DurableFile::Write(recordFile, stream, &recordError))
        return CliContext::Fail("cannot write " + recordFile + ": " + recordError, 1);

    QJsonObject json;
    json["outcome"] = outcomeName(result.outcome);
    json["ended"] = ending.Name();
    json["kept"] = ending.kept;
    json["testType"] = type;
    json["dataName"] = result.dataName;
    json["path"] = result.path;
    json["testTime"] = result.testTime;
    json["record"] = ManeuverJson(result.record);
    json["cexp"] = result.header.expCoefficient;
    json["cinsp"] = result.header.inspCoefficient;
    json["standard"] = save.basis.standard;
    json["setVersion"] = save.basis.setVersion;
    json["btps"] = result.place.basis.btps;
    if (type == kTestFvc) {
        json["acceptance"] = AcceptanceJson(result.acceptance);
        json["best"] = result.bestIndex;
        json["phase"] = phase == kPhasePost ? "post" : "pre";
        // "given": --phase; "day": chosen by the day's earlier sessions.
        json["phaseFrom"] = hasPhase ? "given" : "day";
        // Every manoeuvre kept, in the order blown; the session is the first one's number.
        QJsonArray stored;
        for (const KeptManeuver& kept : result.stored)
            stored.append(QJsonObject{{"file", kept.dataName}, {"maneuver", kept.index + 1}});
        json["stored"] = stored;
        json["session"] = result.stored.empty() ? 0 : result.stored.front().number;
    }
    const ManeuverList maneuvers = parts.store.Maneuvers();
    const std::vector<ManeuverStatus> statuses = parts.store.Statuses();
    const PulseStream pulses = parts.store.Pulses();
    QJsonArray perManeuver;
    bool complete = true;
    for (size_t i = 0; i < maneuvers.size(); ++i) {
        const bool whole = i >= statuses.size() || statuses[i].complete;
        complete = complete && whole;
        QJsonObject m;
        m["FVC"] = maneuvers[i].FVC;
        m["FEV1"] = maneuvers[i].FEV1;
        m["PEF"] = maneuvers[i].PEF;
        m["complete"] = whole;
        m["failedChecks"] = QJsonArray::fromStringList(
            i < statuses.size() ? FailedCheckNames(statuses[i].failedChecks) : QStringList());
        // The coaching cues of the blow, from its own pulses, as its row keeps them.
        m["cues"] = CuesJson(ManeuverCues(type, session.ExpCoefficient(), maneuvers, pulses, int(i)));
        perManeuver.append(m);
    }
    json["maneuvers"] = int(maneuvers.size());
    json["maneuverResults"] = perManeuver;
    json["complete"] = complete;
    json["resends"] = session.ResendRequests();
    json["prompts"] = QJsonArray::fromStringList(result.prompts);
    const auto device = radioDevice ? radioDevice : parts.devices.SimulatedDevice();
    if (device) {
        json["profile"] = device->Config().profile;
        json["truth"] = TruthJson(device->Truth());
    }

    PrintJson(json);
    return result.outcome == SaveOutcome::Saved ? 0 : 1;
}
