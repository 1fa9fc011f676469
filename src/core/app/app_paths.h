#pragma once
#include <QString>

// Process-wide folders and files derived from the program folder.
// All paths use '/' and the folders end in '/'.
class AppPaths {
public:
    // Resolves ProgramFolder: `overrideHome` when given, else $TAV_HOME, else `exeFolder`.
    static void Init(const QString& exeFolder, const QString& overrideHome = QString());

    static QString ProgramFolder();  // ends in '/'
    static QString LanguageFolder(); // ProgramFolder + "Language/"
    static QString LanguageFile();   // LanguageFolder + LANGUAGE + ".txt", formed on every call
    static QString SettingsFile();   // ProgramFolder + "System.ini"
    static QString DatabaseFile();   // ProgramFolder + "data.mdb"

    // ProgramFolder + "Case", or ProgramFolder + "Case/<patient ID>" once a patient is chosen.
    static QString CaseFolder();
    static void SetCaseFolder(const QString& folder);
    static QString CaseRoot(); // ProgramFolder + "Case"
    static QString PatientCaseFolder(int patientId);

private:
    static QString s_programFolder;
    static QString s_caseFolder;
};
