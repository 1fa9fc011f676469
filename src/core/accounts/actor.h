#pragma once
// Who is acting: a logged-in account, or, while accounts are off, the system
// login with no role (and no check).
#include "core/accounts/roles.h"

#include <QString>

struct Actor {
    QString name;
    Role role = Role::None;
    QString workstation;
    bool accountsOn = false;

    // The system login on this computer, accounts off.
    static Actor Unchecked();
    // Empty when the actor may do `action`; else the refusal, naming the role it needs.
    QString Refusal(Action action) const;
};

// This computer's name as the records keep it.
QString WorkstationName();
