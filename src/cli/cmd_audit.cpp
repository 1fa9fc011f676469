// tavctl audit verify | list: the audit trail, checked link by link or listed.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/accounts/audit_log.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>

namespace {

const char kUsage[] =
    "usage: tavctl [--user ADMIN] audit verify\n"
    "       tavctl [--user ADMIN] audit list [--patient ID] [--user U] [--since YYYY-MM-DD] --json";

int verify(CliContext& context, QStringList& args)
{
    if (!args.isEmpty())
        return CliContext::Fail(kUsage);
    QString why;
    const qint64 broken = AuditLog(context.Db()).FirstBrokenRow(&why);
    if (broken < 0)
        return CliContext::Fail(why);
    if (broken > 0)
        return CliContext::Fail(
            QString("the audit trail is broken at row %1: %2").arg(broken).arg(why), 1);
    PrintJson(QJsonObject{{"intact", true}});
    return 0;
}

int list(CliContext& context, QStringList& args)
{
    args.removeAll("--json"); // JSON is the only form
    AuditFilter filter;
    bool hasPatient = false, hasSince = false, ok = true;
    const QString patient = CliContext::TakeOption(args, "--patient", &hasPatient);
    if (hasPatient)
        filter.patient = patient.toInt(&ok);
    if (!ok || (hasPatient && filter.patient < 1))
        return CliContext::Fail("--patient takes a patient ID: " + patient);
    filter.user = CliContext::TakeOption(args, "--user");
    const QString since = CliContext::TakeOption(args, "--since", &hasSince);
    const QDate sinceDay = QDate::fromString(since, "yyyy-MM-dd");
    if (hasSince && !sinceDay.isValid())
        return CliContext::Fail("--since must be a date YYYY-MM-DD, not \"" + since + "\"");
    if (hasSince)
        filter.since = sinceDay.startOfDay();
    if (!args.isEmpty())
        return CliContext::Fail(kUsage);
    QJsonArray rows;
    for (const AuditEntry& e : AuditLog(context.Db()).List(filter)) {
        QJsonObject row{{"seq", e.seq},       {"at", e.at},
                        {"user", e.user},     {"workstation", e.workstation},
                        {"action", e.action}, {"target", e.target},
                        {"before", e.before}, {"after", e.after}};
        if (e.patient > 0)
            row["patient"] = e.patient;
        rows.append(row);
    }
    PrintJson(QJsonObject{{"entries", rows}});
    return 0;
}

} // namespace

int CmdAudit(CliContext& context, QStringList& args)
{
    const QString verb = args.isEmpty() ? QString() : args.takeFirst();
    if (verb != "verify" && verb != "list")
        return CliContext::Fail(kUsage);
    // The filter's --user is not a log-in: only the one before the command is.
    QStringList none;
    if (!context.SignIn(none, Action::ReadAudit))
        return 2;
    return verb == "verify" ? verify(context, args) : list(context, args);
}
