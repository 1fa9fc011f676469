// tavctl calibrate: calibrates the configured device's flow sensor with a
// 2 L or 3 L syringe and prints the verdicts it gave.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/app/lang_text.h"
#include "core/session/calibration_session.h"
#include "core/session/measurement_parts.h"

#include <QJsonArray>

#include <mutex>

namespace {

// The text the calibration dialog shows for a verdict, if any.
QString verdictText(int verdict)
{
    static const int keys[] = {1152, 1240, 1156, 1154, 1179, 0, 1157, 1153, 1264, 1333, 0};
    if (verdict < 0 || verdict > 10 || keys[verdict] == 0)
        return QString();
    return GetLangText("MESSAGE", keys[verdict]);
}

} // namespace

int CmdCalibrate(CliContext& context, QStringList& args)
{
    const QString volume = CliContext::TakeOption(args, "--volume");
    context.TakeUser(args);
    if ((volume != "2" && volume != "3") || !args.isEmpty())
        return CliContext::Fail("usage: tavctl calibrate --volume 2|3");
    // The accounts are in the database: it tells who may calibrate.
    if (!context.SignIn(args, Action::Calibrate))
        return 2;

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

    std::lock_guard lock(mutex);
    QJsonObject json;
    json["verdicts"] = verdicts;
    json["texts"] = texts;
    json["success"] = session.Success();
    if (!context.Audit("calibrate", 0, "syringe " + volume + " L", QString(),
                       session.Success() ? "passed" : "failed"))
        return 1;
    PrintJson(json);
    return session.Success() ? 0 : 1;
}
