#include "core/app/app_paths.h"

#include "core/app/system_settings.h"

#include <QDir>
#include <QFileInfo>

QString AppPaths::s_programFolder;
QString AppPaths::s_caseFolder;

void AppPaths::Init(const QString& exeFolder, const QString& overrideHome)
{
    QString folder = overrideHome;
    if (folder.isEmpty())
        folder = qEnvironmentVariable("TAV_HOME");
    if (folder.isEmpty())
        folder = exeFolder;
    folder = QDir::fromNativeSeparators(QDir(folder).absolutePath());
    if (!folder.endsWith('/'))
        folder += '/';
    s_programFolder = folder;
    s_caseFolder = CaseRoot();
}

QString AppPaths::ProgramFolder() { return s_programFolder; }
QString AppPaths::LanguageFolder() { return s_programFolder + "Language/"; }
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
QString AppPaths::SettingsFile() { return s_programFolder + "System.ini"; }
QString AppPaths::DatabaseFile() { return s_programFolder + "data.mdb"; }
QString AppPaths::CaseFolder() { return s_caseFolder; }
void AppPaths::SetCaseFolder(const QString& folder) { s_caseFolder = folder; }
QString AppPaths::CaseRoot() { return s_programFolder + "Case"; }
QString AppPaths::PatientCaseFolder(int patientId)
{
    return CaseRoot() + '/' + QString::number(patientId);
}
