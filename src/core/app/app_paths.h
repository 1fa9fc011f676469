#pragma once
#include <QProcessEnvironment>
#include <QString>

// Process-wide folders and files derived from the program folder.
// All paths use '/' and the folders end in '/'.
//
// The program folder holds what the program writes (System.ini, data.mdb,
// Case/). It is, in this order: the folder given on the command line, $TAV_HOME,
// the executable's folder when it already is a program folder (the portable
// layout: Language/, System.ini, data.mdb or Case/ next to the executable),
// and, for an installed program, the user's own folder under the XDG data
// directory. The shared folder holds the files an installed program ships
// read-only (<prefix>/share/tav-spirometer: language files, help documents,
// settings template); a file missing from the program folder is taken from it.
class AppPaths {
public:
    static constexpr const char* kPackageName = "tav-spirometer";

    struct Folders {
        QString programFolder; // ends in '/'; empty when no folder can be named
        QString sharedFolder;  // ends in '/'; empty when the program is not installed
        bool perUser = false;  // the user's folder of an installed program
    };

    // The folders for an executable in `exeFolder`, given --home and the environment.
    static Folders Resolve(const QString& exeFolder, const QString& overrideHome,
                           const QProcessEnvironment& environment);

    // Resolves the folders from the process environment and makes them current.
    static void Init(const QString& exeFolder, const QString& overrideHome = QString());
    // Makes `folders` current (Init with folders resolved elsewhere).
    static void Use(const Folders& folders);

    // On the first start of an installed program, creates the user's folder
    // (owner only: it holds patient data) with Case/ and a copy of the shipped
    // settings template. Files already there are never replaced. False with a
    // message in `error` when the folder cannot be made ready.
    static bool PrepareProgramFolder(QString* error = nullptr);

    static QString ProgramFolder();  // ends in '/'
    static QString SharedFolder();   // ends in '/', or empty
    static bool PerUserFolder();
    static QString LanguageFolder(); // ProgramFolder + "Language/", else the shared one when only it exists
    // LanguageFolder + LANGUAGE + ".txt", formed on every call; empty (the
    // built-in texts) when LANGUAGE is not a plain file name.
    static QString LanguageFile();
    static QString SettingsFile();   // ProgramFolder + "System.ini"
    static QString DatabaseFile();   // ProgramFolder + "data.mdb"
    // A shipped file by name: in the program folder when it is there, else in the
    // shared folder when it is there, else the program folder's path.
    static QString ShippedFile(const QString& name);

    // ProgramFolder + "Case", or ProgramFolder + "Case/<patient ID>" once a patient is chosen.
    static QString CaseFolder();
    static void SetCaseFolder(const QString& folder);
    static QString CaseRoot(); // ProgramFolder + "Case"
    static QString PatientCaseFolder(int patientId);
    // Where the start-up check puts what interrupted saves left: ProgramFolder + "Recovered".
    static QString RecoveryFolder();

    // Creates `path` with its missing parents, each readable by the owner only
    // whatever the umask (they hold patient data); true when it is a folder.
    static bool MakePrivateFolder(const QString& path);
    // The program folder, Case/, Recovered/ and data.mdb where they exist and
    // people other than their owner may read them.
    static QStringList OpenToOthers();

    // A name without any folder part ("English", not "../x/evil").
    static bool IsPlainFileName(const QString& name);
    // True when `path` exists and, with every link resolved, lies inside CaseRoot
    // (itself resolved): a link in the case store never leads a file elsewhere.
    static bool IsWithinCaseRoot(const QString& path);

private:
    static Folders s_folders;
    static QString s_caseFolder;
};
