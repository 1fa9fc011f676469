#pragma once
#include <QString>
#include <QStringList>
#include <QVector>

class Database;
struct PatientRecord;

// A nation group of the Race table: its key and the name shown for it.
struct NationGroup {
    int ID = 0;
    QString Name;
};

// One (group, parameter) correction of the Nation table as the editor's grid shows it.
struct CorrectionRow {
    int Group = 0;     // Race.ID
    int Parameter = 0; // 1 to 23
    QString GroupName;
    QString ParameterName;
    double Multiply = 1;
    double Additive = 0;
    QString MultiplyText; // as the database layer formats the stored real
    QString AdditiveText;
};

struct CorrectionGrid {
    QVector<NationGroup> Groups;
    QStringList Parameters; // parameter p (0-based) is number p + 1
    QVector<CorrectionRow> Rows;
};

inline constexpr int kBuiltinGroupCount = 10;
inline constexpr int kUndefinedGroup = 10; // "Not defined"
inline constexpr int kCorrectedParameterCount = 23;

// The groups in table order: the first ten by their language names (section
// "USER MANAGE", 1181 to 1190), the others by the name the user typed.
QVector<NationGroup> LoadNationGroups(Database& db);

// True when a group is already called `name` (trimmed, letter case ignored), by its
// shown name or by the name stored for it.
bool NationGroupNameTaken(Database& db, const QString& name);

// The group's display name, or an empty text when the group does not exist.
QString NationGroupName(Database& db, int group);

// Groups, parameter names and every (group, parameter) row that exists in Nation,
// group-major in the order of the group list, then by parameter number.
CorrectionGrid RefreshGrid(Database& db);

// When the patient's group has gone, moves the patient to group 10 in the record
// and in the database. Returns true when the group was changed.
bool EnsurePatientGroup(Database& db, PatientRecord& patient);

// Stores a factor and an offset typed as text (atof rule) for one group and parameter.
bool EditCorrection(Database& db, int group, int parameter, const QString& multiply,
                    const QString& additive);

enum class AddGroupResult {
    EmptyName,    // message 1237 of section "PredictDlg"
    NameTaken,    // message 2204 of section "PredictDlg": a group of that name exists
    NoGroups,     // Race is empty: nothing done, no message
    InsertFailed, // the group row could not be added: no message
    Added,        // message 1236
    Failed,       // message 1258: the corrections could not be added, nothing kept
};
// Adds a group and, when Nation holds rows, its 23 corrections with the column
// defaults. The new key is read back from the database into `newGroup`. The name
// is stored trimmed; a name that any group already has, as shown or as stored,
// compared without letter case, is refused.
AddGroupResult AddGroup(Database& db, const QString& name, int* newGroup = nullptr);

enum class DeleteGroupResult {
    BuiltIn, // groups 1 to 10: message 1249 of section "MESSAGE"
    Deleted, // message 1259 of section "PredictDlg"
    Failed,
};
// Deletes a user-added group and its corrections in one transaction; when
// `current` belongs to it, the current patient moves to group 10.
DeleteGroupResult DeleteGroup(Database& db, int group, PatientRecord* current = nullptr);
