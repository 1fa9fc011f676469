#include "core/app/login_name.h"

#include <QtGlobal>

QString LoginName()
{
    for (const char* name : {"USER", "USERNAME", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(name).trimmed();
        if (!user.isEmpty())
            return user;
    }
    return "unknown";
}
