// tavctl grade | diagnosis: a physician's review of a day, the override of a
// blow's verdict and the day's diagnosis.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/accounts/day_diagnosis.h"
#include "core/accounts/grade_review.h"

#include <QFile>
#include <QJsonObject>

namespace {

int takeNumber(QStringList& args, const QString& name)
{
    bool ok = false;
    const int n = CliContext::TakeOption(args, name).toInt(&ok);
    return ok && n >= 1 ? n : 0;
}

QJsonObject diagnosisJson(int patient, const QString& day, const DiagnosisRecord& d)
{
    return QJsonObject{{"patient", patient},
                       {"day", day},
                       {"physician", d.Physician},
                       {"text", QString(d.Result).replace("\r\n", "\n")}};
}

} // namespace

int CmdGrade(CliContext& context, QStringList& args)
{
    static const char kUsage[] =
        "usage: tavctl grade --patient ID --day YYYY-MM-DD --session S --maneuver M "
        "--acceptable yes|no [--grade A-F --phase fvc|vc|mvv] --reason TEXT [--json] --user NAME";
    int patient = 0;
    QString day;
    context.TakeUser(args);
    args.removeAll("--json"); // the override is printed as JSON
    BlowReview review;
    review.session = takeNumber(args, "--session");
    review.maneuver = takeNumber(args, "--maneuver");
    const QString acceptable = CliContext::TakeOption(args, "--acceptable");
    bool hasGrade = false, hasPhase = false;
    const QString grade = CliContext::TakeOption(args, "--grade", &hasGrade).toUpper();
    const QString phase = CliContext::TakeOption(args, "--phase", &hasPhase);
    review.reason = CliContext::TakeOption(args, "--reason");
    if (!CliContext::TakePatientDay(args, patient, day) || !review.session || !review.maneuver ||
        (acceptable != "yes" && acceptable != "no") || !args.isEmpty() ||
        (hasGrade && (grade.size() != 1 || grade[0] < 'A' || grade[0] > 'F')) ||
        hasGrade != hasPhase || (hasPhase && phase != "fvc" && phase != "vc" && phase != "mvv"))
        return CliContext::Fail(kUsage);
    review.acceptable = acceptable == "yes";
    if (hasGrade) {
        review.grade = grade[0].toLatin1();
        review.gradeType = QStringList{"fvc", "vc", "mvv"}.indexOf(phase);
    }
    if (!context.SignIn(args, Action::OverrideGrade))
        return 2;
    GradeOverride stored;
    QString error;
    if (!OverrideGrade(context.Db(), context.User(), patient, day, review, stored, &error))
        return CliContext::Fail(error, 1);
    QJsonObject json{{"patient", patient},         {"day", day},
                     {"session", stored.session},  {"maneuver", stored.maneuver},
                     {"test", stored.dataName},    {"acceptable", stored.acceptable},
                     {"reason", stored.reason},    {"user", stored.user},
                     {"at", stored.at}};
    if (stored.grade)
        json["grade"] = QString(QChar(*stored.grade));
    PrintJson(json);
    return 0;
}

int CmdDiagnosis(CliContext& context, QStringList& args)
{
    static const char kUsage[] =
        "usage: tavctl diagnosis show --patient ID --day YYYY-MM-DD\n"
        "       tavctl diagnosis set --patient ID --day YYYY-MM-DD (--text TEXT | --file F) "
        "--user NAME";
    const QString verb = args.isEmpty() ? QString() : args.takeFirst();
    int patient = 0;
    QString day;
    context.TakeUser(args);
    bool hasText = false, hasFile = false;
    QString text = CliContext::TakeOption(args, "--text", &hasText);
    const QString file = CliContext::TakeOption(args, "--file", &hasFile);
    const bool set = verb == "set";
    if ((verb != "show" && !set) || !CliContext::TakePatientDay(args, patient, day) || !args.isEmpty() ||
        (set && hasText == hasFile) || (!set && (hasText || hasFile)))
        return CliContext::Fail(kUsage);
    if (hasFile) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return CliContext::Fail("cannot read " + file + ": " + in.errorString());
        text = QString::fromUtf8(in.readAll()).trimmed();
    }
    if (!set) {
        if (!context.OpenDatabase())
            return 2;
        DiagnosisRecord d;
        LoadDiagnosis(context.Db(), patient, day, d);
        PrintJson(diagnosisJson(patient, day, d));
        return 0;
    }
    if (!context.SignIn(args, Action::EditDiagnosis))
        return 2;
    DiagnosisRecord stored;
    QString error;
    if (!WriteDayDiagnosis(context.Db(), context.User(), patient, day, text, stored, &error))
        return CliContext::Fail(error, 1);
    PrintJson(diagnosisJson(patient, day, stored));
    return 0;
}
