#include "core/report/day_session_values.h"

#include "core/app/lang_text.h"
#include "core/clinical/gli_patient.h"
#include "core/records/predicted_values.h"
#include "core/records/schema_upgrade.h"

#include <algorithm>
#include <cmath>

namespace {

class Predictor {
public:
    Predictor(std::optional<GliSet> set, const GliSubject& subject) : m_set(set), m_subject(subject) {}

    GliPrediction operator()(const QString& name) const
    {
        const std::optional<GliParameter> parameter = GliParameterFromName(name);
        if (!m_set || !parameter)
            return {};
        return GliEquations::BuiltIn().Predict(*m_set, *parameter, m_subject);
    }

private:
    std::optional<GliSet> m_set;
    GliSubject m_subject;
};

// `maneuvers` in the order `a` judged them.
ReportedValues reportedOf(const SessionAssessment& a, const std::vector<const StoredManeuver*>& maneuvers,
                          const Predictor& predict)
{
    ReportedValues r;
    r.fev1Grade = a.fev1Grade.grade;
    r.fvcGrade = a.fvcGrade.grade;
    const auto timeOf = [&](int index) {
        return index >= 0 && index < int(maneuvers.size()) ? maneuvers[std::size_t(index)]->testTime : QString();
    };
    const auto add = [&](const char* name, double value, bool usableOnly, int maneuver) {
        r.values.emplace_back(name, ReferencedValue{value, usableOnly, predict(name), timeOf(maneuver)});
    };
    if (a.fev1.present)
        add("FEV1", a.fev1.value, a.fev1.usableOnly, a.fev1.maneuver);
    if (a.fvc.present)
        add("FVC", a.fvc.value, a.fvc.usableOnly, a.fvc.maneuver);
    if (std::isfinite(a.fev1Fvc()))
        add("FEV1/FVC", a.fev1Fvc(), a.fev1.usableOnly || a.fvc.usableOnly, std::max(a.fev1.maneuver, a.fvc.maneuver));
    if (a.flowsManeuver >= 0 && a.flowsManeuver < int(maneuvers.size())) {
        const ManeuverResult& flows = maneuvers[std::size_t(a.flowsManeuver)]->file.record;
        add("PEF", flows.PEF, a.flowsUsableOnly, a.flowsManeuver);
        add("FEF2575", flows.FEF2575, a.flowsUsableOnly, a.flowsManeuver);
        add("FEV6", flows.FEV6, a.flowsUsableOnly, a.flowsManeuver);
        add("FET", flows.FET, a.flowsUsableOnly, a.flowsManeuver);
    }
    return r;
}

bool complete(const SessionAssessment& a)
{
    return a.fev1.present && a.fvc.present;
}

} // namespace

const ReferencedValue* ReportedValues::Find(const QString& name) const
{
    for (const auto& [key, value] : values)
        if (key == name)
            return &value;
    return nullptr;
}

bool DaySessionReport::HasPost() const
{
    for (const PhaseValues& p : phases)
        if (p.phase == kPhasePost)
            return true;
    return false;
}

bool LoadDaySessionReport(Database& db, int patientId, const QDate& day, DaySessionReport& out)
{
    PatientRecord patient;
    if (!day.isValid() || !LoadPatient(db, patientId, patient))
        return false;
    DaySessionReport r;
    r.patient = PatientOnDay(patient, day);
    r.subject = GliSubjectOf(db, patient, day);
    r.set = GliSetOfStandard(patient.Standard);
    const Predictor predict(r.set, r.subject);
    r.sessions = LoadDaySessions(db, patientId, day.toString("yyyy-MM-dd"), r.subject.ageYears);

    const StoredSession* pre = nullptr;
    const StoredSession* post = nullptr;
    for (const StoredSession& s : r.sessions) {
        std::vector<const StoredManeuver*> maneuvers;
        for (const StoredManeuver& m : s.maneuvers)
            maneuvers.push_back(&m);
        r.sessionValues.push_back(reportedOf(s.assessment, maneuvers, predict));
        // The response compares the last session before the bronchodilator with the last one after it.
        if (s.phase == kPhasePre && complete(s.assessment))
            pre = &s;
        else if (s.phase == kPhasePost && complete(s.assessment) && pre)
            post = &s;
    }
    r.preSession = pre ? int(pre - r.sessions.data()) : -1;
    r.postSession = post ? int(post - r.sessions.data()) : -1;

    std::optional<SessionAssessment> prePool, postPool;
    for (const int phase : {kPhasePre, kPhasePost}) {
        std::vector<ManeuverMeasures> measures;
        std::vector<const StoredManeuver*> maneuvers;
        for (const StoredSession& s : r.sessions) {
            if (s.phase != phase)
                continue;
            for (const StoredManeuver& m : s.maneuvers) {
                measures.push_back(m.measures);
                maneuvers.push_back(&m);
            }
        }
        if (measures.empty())
            continue;
        const SessionAssessment pooled = AssessSession(measures, r.subject.ageYears);
        (phase == kPhasePre ? prePool : postPool) = pooled;
        r.phases.push_back(PhaseValues{phase, int(measures.size()), reportedOf(pooled, maneuvers, predict)});
    }
    // The response and the interpretation take each phase's values over all its
    // manoeuvres (the largest acceptable FEV1 and FVC), the values the phases
    // report: every writer stores a session per blow, so the last session alone
    // would be the day's last blow, not its best.
    const bool preWhole = prePool && complete(*prePool) && pre;
    const bool postWhole = postPool && complete(*postPool) && post;

    const GliPrediction fev1Pred = predict("FEV1"), fvcPred = predict("FVC");
    if (preWhole && postWhole && fev1Pred.available && fvcPred.available) {
        BronchodilatorResponse bdr;
        bdr.fev1 = ChangeAfterBronchodilator(prePool->fev1.value, postPool->fev1.value, fev1Pred.M);
        bdr.fvc = ChangeAfterBronchodilator(prePool->fvc.value, postPool->fvc.value, fvcPred.M);
        r.bdr = bdr;
    }
    std::optional<SessionAssessment> interpreted;
    if (preWhole)
        interpreted = prePool;
    else
        for (const StoredSession& s : r.sessions)
            if (complete(s.assessment))
                interpreted = s.assessment;
    if (!r.set) {
        r.interpretationNote = GetLangText("CLINICAL", 2520);
    } else if (interpreted) {
        std::optional<SpirometryValues> after;
        if (preWhole && postWhole)
            after = SpirometryValues{postPool->fev1.value, postPool->fvc.value};
        const Interpretation i = Interpret(GliEquations::BuiltIn(), *r.set, r.subject,
                                           {interpreted->fev1.value, interpreted->fvc.value},
                                           after);
        if (i.available)
            r.interpretation = i;
        else
            r.interpretationNote = i.unavailableReason;
    }
    out = std::move(r);
    return true;
}
