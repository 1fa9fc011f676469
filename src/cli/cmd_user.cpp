// tavctl user add | list | reset: the program's accounts. The first account,
// an administrator, turns accounts on; from then an administrator manages them.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"
#include "password_prompt.h"

#include "core/accounts/account_store.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

const char kUsage[] = "usage: tavctl user add --name N --role technician|physician|admin\n"
                      "       tavctl user reset --name N\n"
                      "       tavctl user list\n"
                      "  the new password comes from TAV_NEW_PASSWORD or the terminal";

// The new password, asked twice at a terminal.
bool newPassword(QString& password)
{
    QString error, again;
    if (!ReadPassword("TAV_NEW_PASSWORD", "New password: ", password, &error)) {
        CliContext::Fail(error);
        return false;
    }
    if (qEnvironmentVariableIsSet("TAV_NEW_PASSWORD"))
        return true;
    if (!ReadPassword("TAV_NEW_PASSWORD", "Again: ", again, &error) || again != password) {
        CliContext::Fail("the two passwords differ");
        return false;
    }
    return true;
}

int add(CliContext& context, QStringList& args)
{
    const QString name = CliContext::TakeOption(args, "--name");
    const QString roleName = CliContext::TakeOption(args, "--role");
    const Role role = RoleFromName(roleName);
    context.TakeUser(args);
    if (name.isEmpty() || role == Role::None || !args.isEmpty())
        return CliContext::Fail(kUsage);
    if (!context.SignIn(args, Action::ManageAccounts))
        return 2;
    QString password, error;
    if (!newPassword(password))
        return 2;
    AccountStore accounts(context.Db());
    if (!accounts.Add(context.User(), name, role, password, &error))
        return CliContext::Fail(error, 1);
    PrintJson(QJsonObject{{"name", name}, {"role", RoleName(role)}});
    return 0;
}

int reset(CliContext& context, QStringList& args)
{
    const QString name = CliContext::TakeOption(args, "--name");
    context.TakeUser(args);
    if (name.isEmpty() || !args.isEmpty())
        return CliContext::Fail(kUsage);
    if (!context.SignIn(args, Action::ManageAccounts))
        return 2;
    if (!context.User().accountsOn)
        return CliContext::Fail("there are no accounts yet: add an administrator first", 1);
    QString password, error;
    if (!newPassword(password))
        return 2;
    if (!AccountStore(context.Db()).ResetPassword(context.User(), name, password, &error))
        return CliContext::Fail(error, 1);
    PrintJson(QJsonObject{{"name", name}, {"reset", true}});
    return 0;
}

int list(CliContext& context, QStringList& args)
{
    context.TakeUser(args);
    if (!args.isEmpty())
        return CliContext::Fail(kUsage);
    if (!context.SignIn(args, Action::ManageAccounts))
        return 2;
    QJsonArray rows;
    for (const AccountInfo& a : AccountStore(context.Db()).List())
        rows.append(QJsonObject{{"name", a.name},
                                {"role", RoleName(a.role)},
                                {"failedLogins", a.failedLogins},
                                {"lockedUntil", a.lockedUntil},
                                {"created", a.createdAt}});
    PrintJson(QJsonObject{{"accountsOn", !rows.isEmpty()}, {"accounts", rows}});
    return 0;
}

} // namespace

int CmdUser(CliContext& context, QStringList& args)
{
    const QString verb = args.isEmpty() ? QString() : args.takeFirst();
    if (verb == "add")
        return add(context, args);
    if (verb == "reset")
        return reset(context, args);
    if (verb == "list")
        return list(context, args);
    return CliContext::Fail(kUsage);
}
