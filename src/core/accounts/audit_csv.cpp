#include "core/accounts/audit_csv.h"

#include <QStringList>

namespace {
QString quoted(const QString& field)
{
    return '"' + QString(field).replace('"', "\"\"") + '"';
}
} // namespace

QByteArray AuditCsv(const std::vector<AuditEntry>& entries)
{
    QStringList lines{"seq,at,user,workstation,action,patient,target,before,after"};
    for (const AuditEntry& e : entries) {
        QStringList fields;
        for (const QString& f :
             {QString::number(e.seq), e.at, e.user, e.workstation, e.action,
              e.patient > 0 ? QString::number(e.patient) : QString(), e.target, e.before, e.after})
            fields << quoted(f);
        lines << fields.join(',');
    }
    return (lines.join("\r\n") + "\r\n").toUtf8();
}
