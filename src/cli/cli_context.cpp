#include "cli_context.h"

#include "password_prompt.h"

#include "core/accounts/account_store.h"
#include "core/accounts/audit_log.h"
#include "core/app/app_paths.h"
#include "core/app/system_settings.h"
#include "core/app/text_rule.h"
#include "core/records/database.h"
#include "core/records/database_location.h"
#include "core/records/patient_numbers.h"
#include "core/session/measurement_parts.h"

#include <QCoreApplication>
#include <QDate>
#include <QTextStream>

CliContext::~CliContext() = default;

CliContext::CliContext(QStringList& args) : m_parts(std::make_unique<MeasurementParts>())
{
    const QString home = TakeOption(args, "--home");
    m_givenDatabase = TakeOption(args, "--database");
    // Only before the command: after it, --user may be a command's own option
    // (audit list --user filters by user).
    if (args.size() >= 2 && args.first() == "--user") {
        m_givenUser = args.at(1);
        args.remove(0, 2);
    }
    AppPaths::Init(QCoreApplication::applicationDirPath(), home);
    if (AppPaths::PrepareProgramFolder(&m_folderError))
        Settings().Load(AppPaths::SettingsFile());
}

QString CliContext::DatabaseTarget(QString* error) const
{
    QString target;
    // Opening the default database instead would hide the records the file may point to.
    if (m_givenDatabase.isEmpty() && !Settings().unreadable.isEmpty()) {
        if (error)
            *error = "the settings are not read: " + Settings().unreadable +
                     "; which database to open is unknown (give --database)";
        return QString();
    }
    if (!ChooseDatabase(m_givenDatabase, Settings().database, AppPaths::DatabaseFile(), target,
                        error))
        return QString();
    return target;
}

bool CliContext::OpenDatabase()
{
    if (m_db.IsOpen())
        return true;
    QString error;
    const QString target = DatabaseTarget(&error);
    if (target.isEmpty()) {
        Fail(error);
        return false;
    }
    if (m_db.Open(target, Database::kPassword)) {
        const std::vector<SharedPatientNumber> shared = FindSharedPatientNumbers(m_db);
        if (!shared.empty())
            QTextStream(stderr) << "tavctl: warning: " << SharedPatientNumbersText(shared) << '\n';
        return true;
    }
    DatabaseLocation shown;
    ParseDatabaseLocation(target, shown, nullptr);
    // A server that wants a password the password file did not give: asked on
    // the terminal, never taken from the command line.
    QString password;
    if (m_db.NeedsPassword() && shown.server &&
        ReadPassword("PGPASSWORD", "Password of the database user " + shown.Display() + ": ",
                     password, nullptr) &&
        m_db.OpenServer(shown, password))
        return true;
    Fail("Cannot open the database " + shown.Display() + ": " + m_db.LastError());
    return false;
}

void CliContext::TakeUser(QStringList& args)
{
    if (m_givenUser.isEmpty())
        m_givenUser = TakeOption(args, "--user");
}

bool CliContext::SignIn(QStringList& args, Action action)
{
    TakeUser(args);
    const QString user = m_givenUser;
    if (!OpenDatabase())
        return false;
    AccountStore accounts(m_db);
    if (!accounts.AccountsOn()) {
        m_actor = Actor::Unchecked();
        return true;
    }
    if (user.isEmpty()) {
        Fail("accounts are on: name your account with --user NAME (" + ActionText(action) +
             " needs the role " + RolesThatMay(action) + ")");
        return false;
    }
    QString password, error;
    if (!ReadPassword("TAV_PASSWORD", "Password for " + user + ": ", password, &error)) {
        Fail(error);
        return false;
    }
    if (!accounts.LogIn(user, password, WorkstationName(), m_actor, &error)) {
        Fail(error);
        return false;
    }
    const QString refusal = m_actor.Refusal(action);
    if (!refusal.isEmpty()) {
        Audit("refused", 0, ActionText(action));
        Fail(refusal);
        return false;
    }
    return true;
}

bool CliContext::Audit(const QString& action, int patient, const QString& target,
                       const QString& before, const QString& after)
{
    if (!m_actor.accountsOn)
        return true;
    QString error;
    if (AuditLog(m_db).Append(m_actor, action, patient, target, before, after, &error))
        return true;
    Fail(error, 1);
    return false;
}

int CliContext::Fail(const QString& message, int code)
{
    QTextStream(stderr) << "tavctl: " << Terminal(message) << '\n';
    return code;
}

QString CliContext::Terminal(const QString& text)
{
    QStringList lines = text.split('\n');
    for (QString& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        QStringList cells = line.split('\t');
        for (QString& cell : cells)
            cell = TextRule::Escaped(cell);
        line = cells.join('\t');
    }
    return lines.join('\n');
}

void CliContext::Print(const QString& text)
{
    QTextStream out(stdout);
    out << Terminal(text);
    if (!text.endsWith('\n'))
        out << '\n';
}

bool CliContext::TakePatientDay(QStringList& args, int& patient, QString& day)
{
    bool ok = false;
    patient = TakeOption(args, "--patient").toInt(&ok);
    day = TakeOption(args, "--day");
    return ok && patient >= 1 && QDate::fromString(day, "yyyy-MM-dd").isValid();
}

QString CliContext::TakeOption(QStringList& args, const QString& name, bool* found)
{
    if (found)
        *found = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == name && i + 1 < args.size()) {
            const QString value = args[i + 1];
            args.remove(i, 2);
            if (found)
                *found = true;
            return value;
        }
        if (args[i].startsWith(name + '=')) {
            const QString value = args[i].mid(name.size() + 1);
            args.removeAt(i);
            if (found)
                *found = true;
            return value;
        }
    }
    return QString();
}
