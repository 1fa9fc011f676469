#pragma once
#include <QString>

#include <vector>

class Database;

// One row of the patient list page, texts ready to show.
struct PatientListRow {
    int id = 0;     // UserInfo.ID, the only key the page uses
    QString number; // ptID
    QString name;   // FirstName
    QString gender; // CASE 122 "male" / 123 "female"
    int age = 0;    // current year - birth year, never below 0
    int height = 0;
    int weight = 0;
    QString nation; // built-in groups by their language name, others by Race.Nation
};

// Every patient in table order ("SELECT * FROM UserInfo"). Reads the group
// names once and the patients in one forward pass, so 100,000 rows stay quick.
// With `onlyId` > 0 only that patient's row is read.
std::vector<PatientListRow> ReadPatientList(Database& db, int onlyId = 0);

// Column headers of the patient list: texts of CASE 104, 105, 106, 107, 108,
// 109 and 110 with the trailing colon removed, after a blank first column.
QStringList PatientListHeaders();
