#include "core/report/day_sessions.h"

#include "core/clinical/gli_patient.h"
#include "core/clinical/maneuver_measures.h"
#include "core/records/case_file_store.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/schema_upgrade.h"
#include "core/records/session_records.h"

#include <QSqlQuery>

#include <algorithm>
#include <map>

std::vector<StoredSession> LoadDaySessions(Database& db, int patientId, const QString& day, double ageYears)
{
    int y = 0, m = 0, d = 0;
    if (patientId < 1 || !SplitDay(day, y, m, d))
        return {};
    QSqlQuery query(db.Connection());
    query.prepare("SELECT DataName, TestTime, Session, Maneuver, Phase, RefStandard, RefVersion, Btps "
                  "FROM CaseInfo "
                  "WHERE ID = ? AND TestType = ? AND YEAR(TestTime) = ? AND MONTH(TestTime) = ? "
                  "AND DAY(TestTime) = ? ORDER BY TestTime, Maneuver");
    for (const QVariant& value : {QVariant(patientId), QVariant(int(kTestFvc)), QVariant(y), QVariant(m), QVariant(d)})
        query.addBindValue(value);
    if (!query.exec())
        return {};

    std::vector<StoredSession> sessions;
    std::map<int, std::size_t> bySession;
    while (query.next()) {
        StoredManeuver maneuver;
        maneuver.dataName = query.value(0).toString();
        maneuver.testTime = query.value(1).toString();
        if (!IsTestFileName(maneuver.dataName))
            continue;
        // A row the program's own writer made without a session is a session of its own.
        const int session = query.value(2).isNull() ? TestFileNumber(maneuver.dataName) : query.value(2).toInt();
        maneuver.maneuver = query.value(3).isNull() ? 1 : query.value(3).toInt();
        const int phase = query.value(4).toInt() == kPhasePost ? kPhasePost : kPhasePre;
        QByteArray bytes;
        if (!db.Files().Read(patientId, maneuver.dataName, bytes) ||
            !ParseTestFile(bytes, maneuver.file))
            continue;
        const TestFile& f = maneuver.file;
        maneuver.measures = MeasuresFromRecord(f.record, f.samples.data(), int(f.samples.size()),
                                               f.header.expCoefficient);
        auto it = bySession.find(session);
        if (it == bySession.end()) {
            it = bySession.emplace(session, sessions.size()).first;
            StoredSession stored;
            stored.session = session;
            stored.phase = phase;
            // NULL (a row from before) and numbers outside the sets read as not stored.
            const int standard = query.value(5).isNull() ? -1 : query.value(5).toInt();
            stored.standard = standard >= 0 && standard < kStandardCount ? standard : -1;
            stored.setVersion = query.value(6).toString().left(kSetVersionLength);
            const int btps = query.value(7).isNull() ? -1 : query.value(7).toInt();
            stored.btps = btps == 0 || btps == 1 ? btps : -1;
            sessions.push_back(std::move(stored));
        }
        sessions[it->second].maneuvers.push_back(std::move(maneuver));
    }
    for (StoredSession& s : sessions) {
        std::stable_sort(s.maneuvers.begin(), s.maneuvers.end(),
                         [](const StoredManeuver& a, const StoredManeuver& b) { return a.maneuver < b.maneuver; });
        std::vector<ManeuverMeasures> measures;
        for (const StoredManeuver& maneuver : s.maneuvers)
            measures.push_back(maneuver.measures);
        s.assessment = AssessSession(measures, ageYears);
        const SessionDetail detail = LoadSessionDetail(db, patientId, s.session);
        s.drug = detail.drug;
        s.dose = detail.dose;
        s.doseTime = detail.doseTime;
        s.referrer = detail.referrer;
    }
    return sessions;
}
