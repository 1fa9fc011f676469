#include "core/accounts/roles.h"

#include <QStringList>

namespace {

struct Rule {
    Action action;
    const char* text;
    bool technician, physician, admin;
};

// The roles table. A physician does all a technician does and reads the day
// clinically; an administrator keeps the system (accounts, settings, nation
// groups, deletions, the audit trail) and exports, but measures and signs nothing.
constexpr Rule kRules[] = {
    {Action::RegisterPatient, "registering a patient", true, true, false},
    {Action::EditPatient, "editing a patient", true, true, false},
    {Action::RunTest, "running a test", true, true, false},
    {Action::Calibrate, "calibrating the device", true, true, false},
    {Action::EditSession, "changing a session", true, true, false},
    {Action::Import, "importing records", true, true, false},
    {Action::Export, "exporting records", true, true, true},
    {Action::EditDiagnosis, "writing the diagnosis", false, true, false},
    {Action::OverrideGrade, "overriding a grade", false, true, false},
    {Action::Sign, "signing a day", false, true, false},
    {Action::Amend, "amending a signed day", false, true, false},
    {Action::ManageAccounts, "managing accounts", false, false, true},
    {Action::ChangeSettings, "changing the settings", false, false, true},
    {Action::EditNationGroups, "editing nation groups", false, false, true},
    {Action::Delete, "deleting records", false, false, true},
    {Action::ReadAudit, "reading the audit trail", false, false, true},
};

const Rule& ruleOf(Action action)
{
    for (const Rule& rule : kRules)
        if (rule.action == action)
            return rule;
    return kRules[0]; // every action has a row
}

} // namespace

QString RoleName(Role role)
{
    switch (role) {
    case Role::Technician:
        return "technician";
    case Role::Physician:
        return "physician";
    case Role::Admin:
        return "admin";
    case Role::None:
        break;
    }
    return QString();
}

Role RoleFromName(const QString& name)
{
    for (Role role : {Role::Technician, Role::Physician, Role::Admin})
        if (name == RoleName(role))
            return role;
    return Role::None;
}

QString ActionText(Action action)
{
    return QString::fromLatin1(ruleOf(action).text);
}

bool RoleMay(Role role, Action action)
{
    const Rule& rule = ruleOf(action);
    switch (role) {
    case Role::Technician:
        return rule.technician;
    case Role::Physician:
        return rule.physician;
    case Role::Admin:
        return rule.admin;
    case Role::None:
        break;
    }
    return false;
}

QString RolesThatMay(Action action)
{
    QStringList names;
    for (Role role : {Role::Technician, Role::Physician, Role::Admin})
        if (RoleMay(role, action))
            names << RoleName(role);
    return names.join(" or ");
}
