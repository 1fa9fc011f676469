// tavctl sign | amend: a physician's sign-off of a day, and an amendment of a
// signed day with its reason.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/accounts/day_signoff.h"

#include <QJsonObject>

int CmdSign(CliContext& context, QStringList& args)
{
    static const char kUsage[] = "usage: tavctl sign --patient ID --day YYYY-MM-DD --user NAME";
    int patient = 0;
    QString day;
    context.TakeUser(args);
    if (!CliContext::TakePatientDay(args, patient, day) || !args.isEmpty())
        return CliContext::Fail(kUsage);
    if (!context.SignIn(args, Action::Sign))
        return 2;
    int version = 0;
    QString error;
    DaySignOff signoff(context.Db());
    if (!signoff.Sign(context.User(), patient, day, version, &error))
        return CliContext::Fail(error, 1);
    PrintJson(QJsonObject{
        {"patient", patient}, {"day", day}, {"version", version}, {"signer", context.User().name}});
    return 0;
}

int CmdAmend(CliContext& context, QStringList& args)
{
    static const char kUsage[] =
        "usage: tavctl amend --patient ID --day YYYY-MM-DD --reason TEXT --user NAME";
    int patient = 0;
    QString day;
    context.TakeUser(args);
    const QString reason = CliContext::TakeOption(args, "--reason");
    if (!CliContext::TakePatientDay(args, patient, day) || !args.isEmpty())
        return CliContext::Fail(kUsage);
    if (!context.SignIn(args, Action::Amend))
        return 2;
    int version = 0;
    QString error;
    if (!DaySignOff(context.Db()).Amend(context.User(), patient, day, reason, version, &error))
        return CliContext::Fail(error, 1);
    PrintJson(
        QJsonObject{{"patient", patient}, {"day", day}, {"version", version}, {"open", true}});
    return 0;
}
