#include "core/app/app_paths.h"

#include "core/app/system_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>

AppPaths::Folders AppPaths::s_folders;
QString AppPaths::s_caseFolder;

namespace {

QString asFolder(const QString& path)
{
    QString folder = QDir::fromNativeSeparators(QDir::cleanPath(QDir(path).absolutePath()));
    if (!folder.endsWith('/'))
        folder += '/';
    return folder;
}

// What the program or a user leaves in a program folder.
bool holdsProgramFiles(const QString& folder)
{
    const QDir dir(folder);
    return dir.exists("Language") || dir.exists("System.ini") || dir.exists("data.mdb") ||
           dir.exists("Case");
}

// <prefix>/share/tav-spirometer beside <prefix>/bin first, so that an unpacked
// copy finds its own files; then the XDG data directories.
QString findSharedFolder(const QString& exeFolder, const QProcessEnvironment& environment)
{
    QStringList candidates{QDir(exeFolder).absoluteFilePath(QStringLiteral("../share/")) +
                           AppPaths::kPackageName};
    QString dataDirs = environment.value(QStringLiteral("XDG_DATA_DIRS"));
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            candidates << dir + '/' + AppPaths::kPackageName;
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isDir())
            return asFolder(candidate);
    return QString();
}

// $XDG_DATA_HOME when it is absolute (a relative one is to be ignored), else ~/.local/share.
QString userDataHome(const QProcessEnvironment& environment)
{
    const QString dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (QDir::isAbsolutePath(dataHome))
        return dataHome;
    const QString home = environment.value(QStringLiteral("HOME"));
    if (QDir::isAbsolutePath(home))
        return home + QStringLiteral("/.local/share");
    return QString();
}

// Copies `from` to `to` through a temporary name, so that `to` is either whole or absent.
bool copyWhole(const QString& from, const QString& to)
{
    const QString temporary = to + QStringLiteral(".new");
    QFile::remove(temporary);
    if (!QFile::copy(from, temporary))
        return false;
    QFile copy(temporary);
    const bool complete = copy.size() == QFileInfo(from).size() &&
                          copy.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
                          copy.rename(to);
    if (!complete)
        QFile::remove(temporary);
    return complete;
}

} // namespace

AppPaths::Folders AppPaths::Resolve(const QString& exeFolder, const QString& overrideHome,
                                    const QProcessEnvironment& environment)
{
    Folders folders;
    folders.sharedFolder = findSharedFolder(exeFolder, environment);
    QString chosen = overrideHome;
    if (chosen.isEmpty())
        chosen = environment.value(QStringLiteral("TAV_HOME"));
    if (chosen.isEmpty() && (folders.sharedFolder.isEmpty() || holdsProgramFiles(exeFolder)))
        chosen = exeFolder;
    if (!chosen.isEmpty()) {
        folders.programFolder = asFolder(chosen);
        return folders;
    }
    folders.perUser = true;
    const QString dataHome = userDataHome(environment);
    if (!dataHome.isEmpty())
        folders.programFolder = asFolder(dataHome + '/' + kPackageName);
    return folders;
}

void AppPaths::Init(const QString& exeFolder, const QString& overrideHome)
{
    Use(Resolve(exeFolder, overrideHome, QProcessEnvironment::systemEnvironment()));
}

void AppPaths::Use(const Folders& folders)
{
    s_folders = folders;
    s_caseFolder = CaseRoot();
}

bool AppPaths::PrepareProgramFolder(QString* error)
{
    auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (!s_folders.perUser)
        return true;
    const QString folder = s_folders.programFolder;
    if (folder.isEmpty())
        return fail(QStringLiteral("No folder for the user's data: neither XDG_DATA_HOME nor "
                                   "HOME is set (TAV_HOME names a program folder)."));
    if (!MakePrivateFolder(folder))
        return fail(QStringLiteral("Cannot create the folder ") + folder);
    if (!MakePrivateFolder(CaseRoot()))
        return fail(QStringLiteral("Cannot create the folder ") + CaseRoot());
    const QString shippedSettings = s_folders.sharedFolder + QStringLiteral("System.ini");
    if (!s_folders.sharedFolder.isEmpty() && QFileInfo(shippedSettings).isFile() &&
        !QFileInfo::exists(SettingsFile()) && !copyWhole(shippedSettings, SettingsFile()))
        return fail(QStringLiteral("Cannot copy ") + shippedSettings + QStringLiteral(" to ") +
                    SettingsFile());
    return true;
}

QString AppPaths::ProgramFolder() { return s_folders.programFolder; }
QString AppPaths::SharedFolder() { return s_folders.sharedFolder; }
bool AppPaths::PerUserFolder() { return s_folders.perUser; }

QString AppPaths::LanguageFolder()
{
    const QString own = ProgramFolder() + QStringLiteral("Language/");
    if (s_folders.sharedFolder.isEmpty() || QFileInfo(own).isDir())
        return own;
    return s_folders.sharedFolder + QStringLiteral("Language/");
}

QString AppPaths::LanguageFile()
{
    const QString& name = Settings().language;
    // An empty name (an empty language list) still names a file inside the folder.
    return name.isEmpty() || IsPlainFileName(name) ? LanguageFolder() + name + ".txt"
                                                   : QString();
}

bool AppPaths::IsPlainFileName(const QString& name)
{
    // No folder part of any platform, nothing that names the folder itself or its parent.
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\\') && !name.contains(QChar(0)) && !name.contains(':');
}

bool AppPaths::IsWithinCaseRoot(const QString& path)
{
    const QString root = QFileInfo(CaseRoot()).canonicalFilePath();
    const QString target = QFileInfo(path).canonicalFilePath();
    return !root.isEmpty() && !target.isEmpty() &&
           (target == root || target.startsWith(root + '/'));
}
QString AppPaths::SettingsFile() { return ProgramFolder() + "System.ini"; }
QString AppPaths::DatabaseFile() { return ProgramFolder() + "data.mdb"; }

QString AppPaths::ShippedFile(const QString& name)
{
    const QString own = ProgramFolder() + name;
    if (s_folders.sharedFolder.isEmpty() || QFileInfo::exists(own))
        return own;
    const QString shared = s_folders.sharedFolder + name;
    return QFileInfo::exists(shared) ? shared : own;
}

QString AppPaths::CaseFolder() { return s_caseFolder; }
void AppPaths::SetCaseFolder(const QString& folder) { s_caseFolder = folder; }
QString AppPaths::CaseRoot() { return ProgramFolder() + "Case"; }
QString AppPaths::PatientCaseFolder(int patientId)
{
    return CaseRoot() + '/' + QString::number(patientId);
}

QString AppPaths::RecoveryFolder() { return ProgramFolder() + QStringLiteral("Recovered"); }

bool AppPaths::MakePrivateFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    QStringList missing;
    QString folder = QDir::cleanPath(QDir(path).absolutePath());
    while (!QFileInfo::exists(folder)) {
        missing.prepend(folder);
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            break;
        folder = parent;
    }
    for (const QString& each : missing)
        if (::mkdir(QFile::encodeName(each).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    return QFileInfo(path).isDir();
}

QStringList AppPaths::OpenToOthers()
{
    QStringList open;
    const QString program = ProgramFolder();
    for (const QString& path : {program, CaseRoot(), RecoveryFolder(), DatabaseFile()}) {
        struct stat info {};
        if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
            continue;
        if (info.st_mode & (S_IRWXG | S_IRWXO))
            open << QDir::cleanPath(path);
    }
    return open;
}
