// tavctl session relabel | edit: changes to a stored FVC session that leave
// its tests as they were measured. relabel moves a session between pre and
// post bronchodilator and keeps who did it and when; edit sets the
// bronchodilator given and the referring physician.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/accounts/day_signoff.h"
#include "core/app/login_name.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/session_records.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>

namespace {

const char kRelabelUsage[] =
    "usage: tavctl session relabel --patient ID --day YYYY-MM-DD --session N --phase pre|post "
    "[--by NAME]";
const char kEditUsage[] =
    "usage: tavctl session edit --patient ID --day YYYY-MM-DD --session N [--drug TEXT] "
    "[--dose TEXT] [--dose-time HH:MM] [--referrer TEXT]";

QString phaseName(int phase)
{
    return phase == kPhasePost ? "post" : "pre";
}

// --patient, --day and --session, checked; false after printing the error.
struct SessionKey {
    int patient = 0;
    QDate day;
    int session = 0;
};

bool takeKey(QStringList& args, const char* usage, SessionKey& key, int& failure)
{
    bool found = false, ok = false;
    key.patient = CliContext::TakeOption(args, "--patient", &found).toInt(&ok);
    if (!found || !ok || key.patient < 1) {
        failure = CliContext::Fail(QString("--patient ID is required\n") + usage);
        return false;
    }
    const QString dayText = CliContext::TakeOption(args, "--day", &found);
    key.day = QDate::fromString(dayText, "yyyy-MM-dd");
    if (!found || !key.day.isValid()) {
        failure = CliContext::Fail("--day must be a date YYYY-MM-DD, not \"" + dayText + "\"\n" + usage);
        return false;
    }
    key.session = CliContext::TakeOption(args, "--session", &found).toInt(&ok);
    if (!found || !ok || key.session < 1) {
        failure = CliContext::Fail(QString("--session N is required (the session's number)\n") + usage);
        return false;
    }
    return true;
}

// The patient and the session must both be there.
bool findSession(Database& db, const SessionKey& key, int& failure)
{
    PatientRecord patient;
    if (!LoadPatient(db, key.patient, patient)) {
        failure = CliContext::Fail(QString("there is no patient %1").arg(key.patient));
        return false;
    }
    if (!SessionOnDay(db, key.patient, key.day.toString("yyyy-MM-dd"), key.session)) {
        failure = CliContext::Fail(QString("patient %1 has no FVC session %2 on %3")
                                       .arg(key.patient)
                                       .arg(key.session)
                                       .arg(key.day.toString("yyyy-MM-dd")));
        return false;
    }
    return true;
}

QJsonObject detailJson(const SessionDetail& d)
{
    return QJsonObject{{"drug", d.drug},
                       {"dose", d.dose},
                       {"doseTime", d.doseTime.isValid() ? d.doseTime.toString("yyyy-MM-dd HH:mm") : QString()},
                       {"referrer", d.referrer}};
}

// Once the options are read: nothing left over, the database open and the
// session there. Null with `failure` set otherwise.
Database* openSession(CliContext& context, QStringList& args, const char* usage,
                      const SessionKey& key, int& failure)
{
    context.TakeUser(args);
    if (!args.isEmpty()) {
        failure = CliContext::Fail("unexpected arguments: " + args.join(' ') + "\n" + usage);
        return nullptr;
    }
    if (!context.SignIn(args, Action::EditSession)) {
        failure = 2;
        return nullptr;
    }
    // A signed day keeps its sessions as signed until an amendment is opened.
    const QString frozen =
        DaySignOff(context.Db()).FrozenRefusal(key.patient, key.day.toString("yyyy-MM-dd"));
    if (!frozen.isEmpty()) {
        failure = CliContext::Fail(frozen, 1);
        return nullptr;
    }
    return findSession(context.Db(), key, failure) ? &context.Db() : nullptr;
}

int relabel(CliContext& context, QStringList& args)
{
    SessionKey key;
    int failure = 0;
    if (!takeKey(args, kRelabelUsage, key, failure))
        return failure;
    bool found = false;
    const QString phaseText = CliContext::TakeOption(args, "--phase", &found);
    if (!found || (phaseText != "pre" && phaseText != "post"))
        return CliContext::Fail("--phase must be pre or post\n" + QString(kRelabelUsage));
    const int phase = phaseText == "post" ? kPhasePost : kPhasePre;
    bool hasBy = false;
    const QString givenBy = CliContext::TakeOption(args, "--by", &hasBy);
    if (hasBy && givenBy.trimmed().isEmpty())
        return CliContext::Fail("--by needs a name\n" + QString(kRelabelUsage));
    Database* session = openSession(context, args, kRelabelUsage, key, failure);
    if (!session)
        return failure;
    Database& db = *session;

    // With accounts on, the account that logged in is who relabelled.
    const QString by = context.User().accountsOn ? context.User().name
                       : hasBy                   ? givenBy
                                                 : LoginName();
    const QDateTime at = QDateTime::currentDateTime();
    QString error;
    const RelabelOutcome outcome =
        RelabelSession(db, key.patient, key.day.toString("yyyy-MM-dd"), key.session, phase, by, at, &error);
    if (outcome == RelabelOutcome::Failed)
        return CliContext::Fail("the session could not be relabelled: " + error, 1);
    if (outcome != RelabelOutcome::Changed && outcome != RelabelOutcome::Unchanged)
        return CliContext::Fail("the session could not be relabelled", 1);
    if (outcome == RelabelOutcome::Changed &&
        !context.Audit("session-relabelled", key.patient, QString("session %1").arg(key.session),
                       phaseName(phase == kPhasePost ? kPhasePre : kPhasePost), phaseName(phase)))
        return 1;
    QJsonObject json{{"patient", key.patient},
                     {"day", key.day.toString("yyyy-MM-dd")},
                     {"session", key.session},
                     {"phase", phaseName(phase)},
                     {"changed", outcome == RelabelOutcome::Changed}};
    if (outcome == RelabelOutcome::Changed) {
        const std::vector<PhaseChange> changes = LoadPhaseChanges(db, key.patient, key.session);
        if (!changes.empty()) {
            const PhaseChange& last = changes.back();
            json["from"] = phaseName(last.oldPhase);
            json["by"] = last.by;
            json["at"] = last.at;
        }
    }
    PrintJson(json);
    return 0;
}

int edit(CliContext& context, QStringList& args)
{
    SessionKey key;
    int failure = 0;
    if (!takeKey(args, kEditUsage, key, failure))
        return failure;
    bool hasDrug = false, hasDose = false, hasTime = false, hasReferrer = false;
    const QString drug = CliContext::TakeOption(args, "--drug", &hasDrug);
    const QString dose = CliContext::TakeOption(args, "--dose", &hasDose);
    const QString timeText = CliContext::TakeOption(args, "--dose-time", &hasTime);
    const QString referrer = CliContext::TakeOption(args, "--referrer", &hasReferrer);
    QDateTime doseTime;
    if (hasTime && !ParseDoseTime(timeText, key.day, doseTime))
        return CliContext::Fail("--dose-time must be a time HH:MM, not \"" + timeText + "\"\n" + kEditUsage);
    Database* session = openSession(context, args, kEditUsage, key, failure);
    if (!session)
        return failure;
    Database& db = *session;

    // Only what is given changes; an empty value clears that one field.
    SessionDetail detail = LoadSessionDetail(db, key.patient, key.session);
    if (hasDrug)
        detail.drug = drug;
    if (hasDose)
        detail.dose = dose;
    if (hasTime)
        detail.doseTime = doseTime;
    if (hasReferrer)
        detail.referrer = referrer;
    QString error;
    const SessionDetail before = LoadSessionDetail(db, key.patient, key.session);
    if (!SaveSessionDetail(db, key.patient, key.session, detail, &error))
        return CliContext::Fail("the session's details could not be saved: " + error, 1);
    const auto shown = [](const SessionDetail& d) {
        return QStringList{d.drug, d.dose, d.doseTime.toString("yyyy-MM-dd HH:mm"), d.referrer}
            .join(" | ");
    };
    if (!context.Audit("session-edited", key.patient, QString("session %1").arg(key.session),
                       shown(before), shown(LoadSessionDetail(db, key.patient, key.session))))
        return 1;
    QJsonObject json{{"patient", key.patient},
                     {"day", key.day.toString("yyyy-MM-dd")},
                     {"session", key.session}};
    json["detail"] = detailJson(LoadSessionDetail(db, key.patient, key.session));
    PrintJson(json);
    return 0;
}

} // namespace

int CmdSessionCommands(CliContext& context, QStringList& args)
{
    if (!args.isEmpty() && args.first() == "relabel") {
        args.removeFirst();
        return relabel(context, args);
    }
    if (!args.isEmpty() && args.first() == "edit") {
        args.removeFirst();
        return edit(context, args);
    }
    return CmdSession(context, args);
}
