#pragma once
// The roles of the program's accounts and what each may do. With accounts on,
// every change to the records is checked against this one table, by the
// desktop program and tavctl alike.
#include <QString>

enum class Role { None = 0, Technician = 1, Physician = 2, Admin = 3 };

enum class Action {
    RegisterPatient,
    EditPatient,
    RunTest,
    Calibrate,
    EditSession, // relabel a session's phase, its bronchodilator details
    Import,
    Export,
    EditDiagnosis,
    OverrideGrade,
    Sign,
    Amend,
    ManageAccounts,
    ChangeSettings,
    EditNationGroups,
    Delete,
    ReadAudit,
};

// "technician", "physician", "admin"; empty for None.
QString RoleName(Role role);
// The role of a name RoleName gives; None for anything else.
Role RoleFromName(const QString& name);
// What the action is called in messages: "signing a day".
QString ActionText(Action action);

bool RoleMay(Role role, Action action);
// The roles that may, as a message names them: "physician", "technician or physician".
QString RolesThatMay(Action action);
