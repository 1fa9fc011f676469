#include "core/records/calibration_log.h"

#include "core/records/database.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>

namespace {

const char kTimeFormat[] = "yyyy-MM-dd HH:mm:ss";

QString strokesJson(const std::vector<SyringeStroke>& strokes)
{
    return QString::fromUtf8(
        QJsonDocument(CalibrationStrokesJson(strokes)).toJson(QJsonDocument::Compact));
}

std::vector<SyringeStroke> strokesFrom(const QString& text)
{
    std::vector<SyringeStroke> strokes;
    std::vector<FlowBand> band;
    for (const QJsonValue& v : QJsonDocument::fromJson(text.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        if (!SyringeCheck::ParseBands(o["flow"].toString(), band) || band.size() != 1)
            continue; // a stroke this program did not write
        strokes.push_back({band[0], o["volume"].toDouble(), o["meanFlow"].toDouble(),
                           o["error"].toDouble()});
    }
    return strokes;
}

const char kColumns[] = "Seq, LoggedAt, OperatorName, Device, SyringeVolume, Kind, Strokes, "
                        "Passed, FactorBefore, FactorAfter";

CalibrationLogEntry entryFrom(const QSqlQuery& q)
{
    CalibrationLogEntry e;
    e.seq = q.value(0).toInt();
    e.at = QDateTime::fromString(q.value(1).toString(), kTimeFormat);
    e.operatorName = q.value(2).toString();
    e.device = q.value(3).toString();
    e.syringeVolume = q.value(4).toDouble();
    e.calibration = q.value(5).toString() == "calibration";
    e.strokes = strokesFrom(q.value(6).toString());
    e.passed = q.value(7).toInt() != 0;
    e.factorBefore = q.value(8).toInt();
    e.factorAfter = q.value(9).toInt();
    return e;
}

} // namespace

QJsonArray CalibrationStrokesJson(const std::vector<SyringeStroke>& strokes)
{
    QJsonArray list;
    for (const SyringeStroke& s : strokes)
        list.append(QJsonObject{{"flow", SyringeCheck::BandName(s.band)},
                                {"volume", s.volume},
                                {"meanFlow", s.meanFlow},
                                {"error", s.error}});
    return list;
}

bool AppendCalibrationLog(Database& db, CalibrationLogEntry& e)
{
    // Two workstations may take the same number: the second try takes the next.
    for (int attempt = 0; attempt < 3; ++attempt) {
        QSqlQuery q(db.Connection());
        if (!q.exec("SELECT coalesce(max(Seq), 0) + 1 FROM CalibrationLog") || !q.next())
            return false;
        e.seq = q.value(0).toInt();
        q.finish();
        if (db.Execute(QString("INSERT INTO CalibrationLog (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                           .arg(kColumns),
                       {e.seq, e.at.toString(kTimeFormat), e.operatorName, e.device,
                        e.syringeVolume, e.calibration ? "calibration" : "check",
                        strokesJson(e.strokes), e.passed ? 1 : 0, e.factorBefore,
                        e.factorAfter}))
            return true;
    }
    return false;
}

std::vector<CalibrationLogEntry> LoadCalibrationLog(Database& db, int limit)
{
    std::vector<CalibrationLogEntry> entries;
    QSqlQuery q(db.Connection());
    QString sql = QString("SELECT %1 FROM CalibrationLog ORDER BY Seq DESC").arg(kColumns);
    if (limit > 0)
        sql += QString(" LIMIT %1").arg(limit);
    if (!q.exec(sql))
        return entries;
    while (q.next())
        entries.push_back(entryFrom(q));
    return entries;
}

std::optional<CalibrationLogEntry> LastCheckBefore(Database& db, const QDateTime& when)
{
    QSqlQuery q(db.Connection());
    // The times are fixed-width text: they sort as they compare.
    q.prepare(QString("SELECT %1 FROM CalibrationLog WHERE Kind = 'check' AND LoggedAt <= ? "
                      "ORDER BY LoggedAt DESC, Seq DESC LIMIT 1")
                  .arg(kColumns));
    q.addBindValue(when.toString(kTimeFormat));
    if (!q.exec() || !q.next())
        return std::nullopt;
    return entryFrom(q);
}

CheckFlag CheckFlagFor(const std::optional<CalibrationLogEntry>& last, const QDateTime& testTime,
                       int hours)
{
    if (!last || !last->at.isValid() || !testTime.isValid())
        return CheckFlag::None;
    if (!last->passed)
        return CheckFlag::Failed;
    return last->at.secsTo(testTime) > qint64(hours) * 3600 ? CheckFlag::Overdue : CheckFlag::None;
}

bool CheckDue(Database& db, const QDateTime& now, int hours)
{
    const std::optional<CalibrationLogEntry> last = LastCheckBefore(db, now);
    return !last || CheckFlagFor(last, now, hours) != CheckFlag::None;
}
