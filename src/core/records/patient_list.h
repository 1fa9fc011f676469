#pragma once
#include <QDate>
#include <QString>

#include <vector>

class Database;

// One row of the patient list: what the patient page shows of each patient.
struct PatientListRow {
    int ID = 0;
    QString PatientNumber;
    QString Name;
    int Gender = 0;
    int Age = 0; // current year minus birth year, never below 0
    int Height = 0;
    int Weight = 0;
    int Nation = 0;
    QString NationName; // as the group list names it; empty for a group that has gone
};

// Every patient in table order.
std::vector<PatientListRow> LoadPatientList(Database& db,
                                            const QDate& today = QDate::currentDate());
