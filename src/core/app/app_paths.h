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
    // LanguageFolder + LANGUAGE + ".txt", formed on every call; empty (the
    // built-in texts) when LANGUAGE is not a plain file name.
    static QString LanguageFile();
    static QString SettingsFile();   // ProgramFolder + "System.ini"
    static QString DatabaseFile();   // ProgramFolder + "data.mdb"

    // ProgramFolder + "Case", or ProgramFolder + "Case/<patient ID>" once a patient is chosen.
    static QString CaseFolder();
    static void SetCaseFolder(const QString& folder);
    static QString CaseRoot(); // ProgramFolder + "Case"
    static QString PatientCaseFolder(int patientId);

    // A name without any folder part ("English", not "../x/evil").
    static bool IsPlainFileName(const QString& name);
    // True when `path` exists and, with every link resolved, lies inside CaseRoot
    // (itself resolved): a link in the case store never leads a file elsewhere.
    static bool IsWithinCaseRoot(const QString& path);

private:
    static QString s_programFolder;
    static QString s_caseFolder;
};
