#pragma once
#include <QDate>
#include <QString>
#include <QStringList>

class Database;

// The current patient's demographic data, as the UserInfo row holds them.
struct PatientRecord {
    int ID = 0;
    QString PatientNumber; // ptID, "%08d" as created
    int Gender = 0;        // 0 male, 1 female
    int Age = 0;           // current calendar year minus the birth year
    QDate Birthdate;
    QDate AgeDay; // the day `Age` is counted on (set by PatientOnDay); invalid means today
    int Height = 0; // cm
    int Weight = 0; // kg
    int Nation = 0; // Race.ID of the nation group
    bool Smoker = false;
    QString Address;
    QString Postalcode;
    QString City;
    QString Job;
    int Standard = 0; // 0 "ERS", 1 "Knudson", 2 "USA", 3 GLI-2012, 4 GLI Global 2022
    int Ethnic = 0;   // GLI-2012 ethnic group 1-5; 0 not chosen
    QString Name;
    QString Password;
    int PasswordFlag = 0;

    static constexpr int kAddressLength = 99;
    static constexpr int kPostalcodeLength = 9;
    static constexpr int kCityLength = 49;
    static constexpr int kJobLength = 49;
    static constexpr int kNameLength = 40;
    static constexpr int kPasswordLength = 22;

    // Back to the empty record the patient page starts from.
    void Clear() { *this = PatientRecord(); }
    // Cuts every text to the length the record holds.
    void ClipTexts();
};

// Current year minus the birth year (no month/day correction), as the whole program counts age.
int AgeFromBirthdate(const QDate& birthdate, const QDate& today = QDate::currentDate());

// The patient as of `day`: the age is the one the patient had in the year of `day`, the
// age every reference equation means for a test of that day. An invalid day keeps the record.
PatientRecord PatientOnDay(const PatientRecord& patient, const QDate& day);

// Fills `record` from the UserInfo row `id`; leaves it unchanged and returns false without a row.
bool LoadPatient(Database& db, int id, PatientRecord& record);

// Writes birth date, gender, sizes, group, smoker, standard, address fields and ptID.
bool SavePatientDemographics(Database& db, int id, const PatientRecord& record);

// Saves `changed` (demographics and name, as the two functions above and
// below) only when the stored row still holds what `read` holds, all in one
// transaction that locks the row while it compares: an edit another
// workstation saved meanwhile is never overwritten unseen. `ChangedMeanwhile`
// lists in `changes` what differs ("Height: 170 -> 172", field names in the
// user's language) and saves nothing; the caller lets the user choose.
enum class PatientSave { Saved, ChangedMeanwhile, Failed };
PatientSave SavePatientIfUnchanged(Database& db, int id, const PatientRecord& read,
                                   const PatientRecord& changed, QStringList& changes);

// Writes the name into both name columns with the password and its flag; nothing for id -1.
bool SavePatientName(Database& db, int id, const QString& name, int passwordFlag,
                     const QString& password);

struct PatientName {
    QString Name;
    int PasswordFlag = 0;
    QString Password;
};
// Name, password flag and password of the row `id`; false without a row.
bool ReadPatientName(Database& db, int id, PatientName& out);

// True when another patient than `id` already has the patient number `ptID`.
bool PatientNumberTaken(Database& db, const QString& ptID, int id);

// The key of the last UserInfo row in table order, 0 for an empty table.
int LastPatientId(Database& db);

// Inserts a new patient with the next key, the initial password "586" and flag 1.
// The number is `chosenNumber`, or, when that is empty, "%08d" of the key (or of
// the next key whose number is free). On success `record` carries the new ID,
// number, password and flag, and the new ID is returned; 0 on failure, also when
// the number is taken.
int CreatePatient(Database& db, PatientRecord& record, const QString& chosenNumber = QString());
