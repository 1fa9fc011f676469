#pragma once
#include "core/records/patient_record.h"

#include <QDate>
#include <QString>

class Database;

// What the patient editor shows and the user types, before it reaches a PatientRecord.
struct PatientInput {
    QString Name;
    QString NumberText; // the ID field: ptID as "%08d"
    int Gender = 0;
    int Age = 25;
    QDate Birthdate;
    int Height = 160;
    int Weight = 50;
    int Nation = 10; // Race.ID
    int Standard = 0;
    int Ethnic = 0; // GLI-2012 ethnic group 1-5, 0 not chosen
    QString Password;
    int PasswordFlag = 1;
};

// The ages of the older sets; each set's own range is ReferenceSetAges (clinical/gli_patient.h).
inline constexpr int kMinAge = 6, kMaxAge = 100;
inline constexpr int kMinHeight = 80, kMaxHeight = 240;
inline constexpr int kMinWeight = 15, kMaxWeight = 250;

enum class PatientField { None, Name, Number, Age, Birthdate, Height, Weight, Ethnic };

// The first rule the input breaks: the field to focus, the message key (section
// "MESSAGE") and, for the ranges, the nearer bound the new-patient mode sets.
struct PatientInputCheck {
    PatientField Field = PatientField::None;
    int MessageKey = 0;
    int Bound = 0;
    // An age outside the reference set's range: the set and its range, for the message.
    int Standard = -1;
    int Low = 0, High = 0;
    // The whole message when the check made it (a name breaking TextRule).
    QString Text{};
    bool Ok() const { return Field == PatientField::None; }
};

// Message keys (section "MESSAGE") of an age outside the reference set's
// range: "%1 covers ages %2 to %3 years ..." for the age typed, and for the
// age its birth date gives.
inline constexpr int kAgeOutsideSetMessage = 3100;
inline constexpr int kBirthAgeOutsideSetMessage = 3101;

// The text of a failed check as the user reads it: the message of its key,
// with the set's name and range filled in where it has them.
QString PatientCheckText(const PatientInputCheck& check);

// The age check of a reference set (UserInfo.Standard): None inside the ages
// its equations cover, else the age field, the message naming the set and
// its range, and the nearer bound.
PatientInputCheck CheckAgeForSet(int age, int standard);

// (year, month, day) with the day lowered until the date exists (29 February in a common year ->
// 28).
QDate ValidDate(int year, int month, int day);

// The birth date that goes with `age`: the same month and day as `birthdate`, `age` years back.
QDate BirthdateForAge(int age, const QDate& birthdate, const QDate& today = QDate::currentDate());

// The age that goes with a changed birth date: the age that will be stored, never below 0.
int AgeForBirthdate(const QDate& birthdate, const QDate& today = QDate::currentDate());

// Range check of one numeric field: None when `value` is inside, else the field
// with its message (1175, 1176, 1177) and the nearer bound.
PatientInputCheck CheckRange(PatientField field, int value);

// The save rules: empty name (163), empty number (1172), a number the list cannot show
// back as typed (2200), a number another patient has (1245), then age (3100 outside
// the ages the chosen reference set covers), birth date (2201 in the future, 3101 an
// age outside the set's range), height and weight.
// The age checked is the one the birth date gives, which is the one stored.
// `storedBirthdate` is the birth date the patient already has (edit mode): a patient
// who has grown older than 100 since keeps it without retyping the age.
PatientInputCheck CheckNewPatient(Database& db, const PatientInput& input,
                                  const QDate& today = QDate::currentDate());
PatientInputCheck CheckEditedPatient(Database& db, const PatientInput& input, int currentId,
                                     const QDate& storedBirthdate,
                                     const QDate& today = QDate::currentDate());

// The fields of a new patient: the next free number from the next key, age 25, today's month and
// day 25 years back, 160 cm, 50 kg, the tenth nation group, male, "ERS".
// `standard` is the reference set new patients get (the settings' STANDARD key).
PatientInput NewPatientDefaults(Database& db, const QDate& today = QDate::currentDate(), int standard = 4);

// The fields of the editor in edit mode, from the current patient and its row.
PatientInput InputFromPatient(Database& db, const PatientRecord& record,
                              const QDate& today = QDate::currentDate());

// True when any field the editor shows differs from the current patient.
bool InputDiffers(const PatientInput& input, const PatientRecord& record);

// Copies the editor's fields into `record` (age recomputed from the birth date).
void ApplyInput(const PatientInput& input, PatientRecord& record,
                const QDate& today = QDate::currentDate());
