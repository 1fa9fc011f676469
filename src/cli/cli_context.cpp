#include "cli_context.h"

#include "core/app/app_paths.h"
#include "core/app/system_settings.h"
#include "core/records/database.h"
#include "core/records/database_location.h"
#include "core/records/patient_numbers.h"
#include "core/session/measurement_parts.h"

#include <QCoreApplication>
#include <QTextStream>

#include <termios.h>
#include <unistd.h>

CliContext::~CliContext() = default;

CliContext::CliContext(QStringList& args) : m_parts(std::make_unique<MeasurementParts>())
{
    const QString home = TakeOption(args, "--home");
    m_givenDatabase = TakeOption(args, "--database");
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
    if (m_db.NeedsPassword() && shown.server) {
        const QString password = PromptHidden("Password of the database user " + shown.Display());
        if (!password.isEmpty() && m_db.OpenServer(shown, password))
            return true;
    }
    Fail("Cannot open the database " + shown.Display() + ": " + m_db.LastError());
    return false;
}

QString CliContext::PromptHidden(const QString& prompt)
{
    if (!::isatty(STDIN_FILENO))
        return QString();
    QTextStream(stderr) << prompt << ": " << Qt::flush;
    termios saved {};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios hidden = saved;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    QTextStream in(stdin);
    const QString line = in.readLine();
    if (quiet)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    QTextStream(stderr) << '\n';
    return line;
}

int CliContext::Fail(const QString& message, int code)
{
    QTextStream(stderr) << "tavctl: " << message << '\n';
    return code;
}

void CliContext::Print(const QString& text)
{
    QTextStream out(stdout);
    out << text;
    if (!text.endsWith('\n'))
        out << '\n';
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
