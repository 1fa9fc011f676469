#include "core/accounts/test_attribution.h"

#include "core/accounts/audit_log.h"
#include "core/records/database.h"
#include "core/records/test_operator.h"

bool AttributeStoredTests(Database& db, const Actor& actor, int patient, const QString& day,
                          const QStringList& dataNames, QString* error)
{
    if (!actor.accountsOn || dataNames.isEmpty())
        return true;
    if (!SaveTestOperators(db, patient, dataNames, TestOperator{actor.name, actor.workstation})) {
        if (error)
            *error = "the test is stored, but its operator is not: " + db.LastError();
        return false;
    }
    return AuditLog(db).Append(actor, "session-stored", patient, "day " + day, QString(),
                               dataNames.join(' '), error);
}
