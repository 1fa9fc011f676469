#include "core/accounts/test_attribution.h"

#include "core/accounts/audit_log.h"
#include "core/records/database.h"
#include "core/records/test_operator.h"

std::function<bool(const QStringList&, QString&)>
SessionAttribution(Database& db, const Actor& actor, int patient, const QString& day)
{
    if (!actor.accountsOn)
        return {};
    return [&db, actor, patient, day](const QStringList& dataNames, QString& error) {
        if (SaveTestOperators(db, patient, dataNames, TestOperator{actor.name, actor.workstation}) &&
            AuditLog(db).AppendInTransaction(actor, "session-stored", patient, "day " + day,
                                             QString(), dataNames.join(' ')))
            return true;
        error = "the session is not stored: its operator or audit row could not be written: " +
                db.LastError();
        return false;
    };
}
