// tavctl calibrate: calibrates the configured device's flow sensor with a
// 2 L or 3 L syringe and prints the verdicts it gave and the coefficient
// before and after; with --verify, checks the sensor with syringe strokes
// at the flows asked for. Both are logged. tavctl calibration log: the log.
#include "cli_context.h"
#include "commands.h"
#include "fault_options.h"
#include "json_out.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/records/calibration_log.h"
#include "core/session/calibration_check.h"
#include "core/session/calibration_session.h"
#include "core/session/measurement_parts.h"

#include <QJsonArray>
#include <QTextStream>

#include <mutex>

namespace {

const char kUsage[] = "usage: tavctl calibrate --volume 2|3 [--drift P]\n"
                      "       tavctl calibrate --verify --volume 2|3 --flows low,mid,high [--drift P] --json";

// The text the calibration dialog shows for a verdict, if any.
QString verdictText(int verdict)
{
    static const int keys[] = {1152, 1240, 1156, 1154, 1179, 0, 1157, 1153, 1264, 1333, 0};
    if (verdict < 0 || verdict > 10 || keys[verdict] == 0)
        return QString();
    return GetLangText("MESSAGE", keys[verdict]);
}

// Logs the entry (with the signed-in user) and audits it like other actions.
bool logEntry(CliContext& context, CalibrationLogEntry& entry)
{
    entry.at = QDateTime::currentDateTime();
    if (context.User().accountsOn)
        entry.operatorName = context.User().name;
    if (!AppendCalibrationLog(context.Db(), entry)) {
        CliContext::Fail("cannot log the calibration: " + context.Db().LastError(), 1);
        return false;
    }
    return context.Audit(entry.calibration ? "calibrate" : "calibration check", 0,
                         QString("syringe %1 L").arg(entry.syringeVolume), QString(),
                         entry.passed ? "passed" : "failed");
}

int verify(CliContext& context, double volume, const std::vector<FlowBand>& bands)
{
    CalibrationCheck check(context.Parts(), volume, bands);
    // What to push next, for the operator at a real device.
    const auto say = [](const QString& text) {
        if (!text.isEmpty())
            QTextStream(stderr) << "tavctl: " << text << '\n';
    };
    QObject::connect(&check, &CalibrationCheck::asked, say);
    say(check.Prompt());
    switch (check.Run()) {
    case LiveTestSession::kStarted:
        break;
    case LiveTestSession::kNoDevice:
        return CliContext::Fail(GetLangText("MESSAGE", 138));
    default:
        return CliContext::Fail(check.Session().StartError());
    }
    const SyringeCheck& result = check.Check();
    CalibrationLogEntry entry;
    entry.device = check.DeviceName();
    entry.syringeVolume = volume;
    entry.strokes = result.Strokes();
    entry.passed = result.Passed();
    if (!logEntry(context, entry))
        return 1;
    QJsonObject json;
    json["pass"] = entry.passed;
    json["strokes"] = CalibrationStrokesJson(entry.strokes);
    json["complete"] = result.Done();
    PrintJson(json);
    return entry.passed ? 0 : 1;
}

} // namespace

int CmdCalibrate(CliContext& context, QStringList& args)
{
    const bool verifyMode = args.removeAll("--verify") > 0;
    const bool json = args.removeAll("--json") > 0;
    const QString volume = CliContext::TakeOption(args, "--volume");
    bool hasFlows = false;
    const QString flows = CliContext::TakeOption(args, "--flows", &hasFlows);
    double drift = 0;
    bool hasDrift = false;
    QString error;
    if (!TakeDriftOption(args, drift, hasDrift, error))
        return CliContext::Fail(error + "\n" + kUsage);
    context.TakeUser(args);
    std::vector<FlowBand> bands;
    if ((volume != "2" && volume != "3") || !args.isEmpty() || hasFlows != verifyMode ||
        (verifyMode && !json) || (verifyMode && !SyringeCheck::ParseBands(flows, bands)))
        return CliContext::Fail(kUsage);
    const int simulator = Settings().simulator.load();
    if (hasDrift && simulator == 0)
        return CliContext::Fail("--drift needs the virtual device (SIMULATOR)");
    // The accounts are in the database: it tells who may calibrate.
    if (!context.SignIn(args, Action::Calibrate))
        return 2;
    if (hasDrift) {
        SimConfig config = SimConfig::ForSetting(simulator, SimTest::Fvc);
        config.drift = drift;
        context.Parts().devices.SetSimulatorConfig(config);
    }
    if (verifyMode)
        return verify(context, volume.toDouble(), bands);

    CalibrationSession session(context.Parts().devices);
    std::mutex mutex;
    QJsonArray verdicts, texts;
    QObject::connect(&session, &CalibrationSession::verdict, [&](int code) {
        std::lock_guard lock(mutex);
        verdicts.append(code);
        texts.append(verdictText(code));
    });
    if (!session.Start(CalibrationSession::VolumeCode(volume == "3" ? 1 : 0)))
        return CliContext::Fail(GetLangText("MESSAGE", 138));
    session.Join();

    CalibrationLogEntry entry;
    entry.calibration = true;
    entry.device = context.Parts().devices.SimulatedDevice()
                       ? QString("virtual")
                       : QString::fromLatin1(context.Parts().devices.CurrentProtocol()->DeviceId());
    entry.syringeVolume = volume.toDouble();
    entry.passed = session.Success() != 0;
    entry.factorBefore = session.FactorBefore();
    entry.factorAfter = session.FactorAfter();
    if (!logEntry(context, entry))
        return 1;
    std::lock_guard lock(mutex);
    QJsonObject out;
    out["verdicts"] = verdicts;
    out["texts"] = texts;
    out["success"] = session.Success();
    out["factorBefore"] = entry.factorBefore;
    out["factorAfter"] = entry.factorAfter;
    out["measuredVolume"] =
        CalibrationSession::MeasuredVolume(entry.syringeVolume, entry.factorBefore, entry.factorAfter);
    PrintJson(out);
    return session.Success() ? 0 : 1;
}

int CmdCalibrationLog(CliContext& context, QStringList& args)
{
    const bool json = args.removeAll("--json") > 0;
    if (args.value(0) != "log" || args.size() != 1 || !json)
        return CliContext::Fail("usage: tavctl calibration log --json");
    if (!context.OpenDatabase())
        return 1;
    QJsonArray list;
    for (const CalibrationLogEntry& e : LoadCalibrationLog(context.Db())) {
        QJsonObject o{{"at", e.at.toString("yyyy-MM-dd HH:mm:ss")},
                      {"operator", e.operatorName},
                      {"device", e.device},
                      {"volume", e.syringeVolume},
                      {"kind", e.calibration ? "calibration" : "check"},
                      {"pass", e.passed}};
        if (e.calibration) {
            o["factorBefore"] = e.factorBefore;
            o["factorAfter"] = e.factorAfter;
        } else {
            o["strokes"] = CalibrationStrokesJson(e.strokes);
        }
        list.append(o);
    }
    PrintJson(QJsonDocument(list));
    return 0;
}
