#include "core/accounts/audit_anchor.h"

#include "core/app/app_paths.h"
#include "core/app/durable_file.h"
#include "core/records/database.h"

#include <QFile>
#include <QStringList>

namespace {

// Tabs and line breaks cannot be in a line's key.
QString keyOf(const QString& database)
{
    return QString(database).replace('\t', ' ').replace('\n', ' ').replace('\r', ' ');
}

QString anchorFile()
{
    const QString folder = AppPaths::ProgramFolder();
    return folder.isEmpty() ? QString() : folder + "AuditAnchor";
}

QStringList linesOf(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

AuditAnchor::AuditAnchor(const Database& db) : AuditAnchor(anchorFile(), db.Identity()) {}

AuditAnchor::AuditAnchor(QString file, QString database)
    : m_file(std::move(file)), m_database(keyOf(database))
{
}

std::vector<AuditMark> AuditAnchor::Marks() const
{
    std::vector<AuditMark> marks;
    for (const QString& line : linesOf(m_file)) {
        const QStringList fields = line.split('\t');
        if (fields.size() == 3 && fields[0] == m_database)
            marks.push_back(AuditMark{fields[1].toLongLong(), fields[2]});
    }
    return marks;
}

bool AuditAnchor::Advance(const AuditMark& mark, QString* error)
{
    const std::vector<AuditMark> marks = Marks();
    if (m_file.isEmpty() || (!marks.empty() && mark.seq <= marks.back().seq))
        return true;
    QStringList lines;
    for (const QString& line : linesOf(m_file))
        if (!line.startsWith(m_database + '\t'))
            lines << line;
    for (std::size_t i = marks.size() >= kKept ? marks.size() - kKept + 1 : 0; i < marks.size(); ++i)
        lines << QString("%1\t%2\t%3").arg(m_database).arg(marks[i].seq).arg(marks[i].hash);
    lines << QString("%1\t%2\t%3").arg(m_database).arg(mark.seq).arg(mark.hash);
    return DurableFile::Write(m_file, (lines.join('\n') + '\n').toUtf8(), error);
}
