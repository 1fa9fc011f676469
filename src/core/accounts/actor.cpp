#include "core/accounts/actor.h"

#include "core/app/login_name.h"

#include <QSysInfo>

Actor Actor::Unchecked()
{
    return Actor{LoginName(), Role::None, WorkstationName(), false};
}

QString Actor::Refusal(Action action) const
{
    if (!accountsOn || RoleMay(role, action))
        return QString();
    return QString("%1 needs the role %2; %3 is %4")
        .arg(ActionText(action), RolesThatMay(action), name,
             role == Role::None ? QString("not logged in") : "a " + RoleName(role));
}

QString WorkstationName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QString("unknown") : host;
}
