#include "core/app/app_paths.h"

#include "core/app/system_settings.h"

#include <QDir>

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
QString AppPaths::LanguageFile() { return LanguageFolder() + Settings().language + ".txt"; }
QString AppPaths::SettingsFile() { return s_programFolder + "System.ini"; }
QString AppPaths::DatabaseFile() { return s_programFolder + "data.mdb"; }
QString AppPaths::CaseFolder() { return s_caseFolder; }
void AppPaths::SetCaseFolder(const QString& folder) { s_caseFolder = folder; }
QString AppPaths::CaseRoot() { return s_programFolder + "Case"; }
QString AppPaths::PatientCaseFolder(int patientId)
{
    return CaseRoot() + '/' + QString::number(patientId);
}
