#include "core/report/day_result.h"

#include "core/app/system_settings.h"

#include "core/app/lang_text.h"
#include "core/clinical/gli_patient.h"
#include "core/measure/maneuver_fields.h"
#include "core/measure/stored_record_check.h"
#include "core/records/nation_groups.h"
#include "core/records/predicted_values.h"
#include "core/records/schema_upgrade.h"

#include <algorithm>
#include <cmath>
#include <set>

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
        // A value the link did not give (stored as 0) is not reported.
        for (const auto& [name, value] : {std::pair{"PEF", flows.PEF}, std::pair{"FEF2575", flows.FEF2575},
                                          std::pair{"FEV6", flows.FEV6}, std::pair{"FET", flows.FET}})
            if (value > 0)
                add(name, value, a.flowsUsableOnly, a.flowsManeuver);
    }
    return r;
}

bool complete(const SessionAssessment& a)
{
    return a.fev1.present && a.fvc.present;
}

// Index of the test named `dataName` in `tests`, -1 for none.
int indexOf(const DayTestList& tests, const QString& dataName)
{
    for (std::size_t i = 0; i < tests.size(); ++i)
        if (tests[i].dataName == dataName)
            return int(i);
    return -1;
}

// Moves the tests whose records no lung can blow from `tests` to `damaged`.
void setDamagedAside(DayTestList& tests, int testType, std::vector<DamagedTest>& damaged)
{
    DayTestList kept;
    for (DayTest& test : tests) {
        const QString fault = StoredRecordFault(test.file.record, testType);
        if (fault.isEmpty())
            kept.push_back(std::move(test));
        else
            damaged.push_back({test.dataName, testType, fault});
    }
    tests = std::move(kept);
}

// What a physician said of the blow in `dataName`; empty when nobody reviewed it.
using Reviews = std::vector<GradeOverride>;
std::optional<bool> reviewOf(const Reviews& reviews, const QString& dataName)
{
    for (const GradeOverride& r : reviews)
        if (r.dataName == dataName)
            return r.acceptable;
    return std::nullopt;
}

std::vector<std::optional<bool>> reviewsOf(const Reviews& reviews, const std::vector<const StoredManeuver*>& blows)
{
    std::vector<std::optional<bool>> said;
    for (const StoredManeuver* m : blows)
        said.push_back(reviewOf(reviews, m->dataName));
    return said;
}

// Drops the damaged blows from the sessions and judges what is left again,
// with the physician's reviews.
void reassessSessions(std::vector<StoredSession>& sessions, const std::vector<DamagedTest>& damaged,
                      const Reviews& reviews, double age)
{
    std::set<QString> names;
    for (const DamagedTest& d : damaged)
        names.insert(d.dataName);
    std::vector<StoredSession> kept;
    for (StoredSession& s : sessions) {
        std::erase_if(s.maneuvers, [&](const StoredManeuver& m) { return names.count(m.dataName) > 0; });
        if (s.maneuvers.empty())
            continue;
        std::vector<ManeuverMeasures> measures;
        std::vector<const StoredManeuver*> blows;
        for (const StoredManeuver& m : s.maneuvers) {
            measures.push_back(m.measures);
            blows.push_back(&m);
        }
        s.assessment = AssessSession(measures, age, reviewsOf(reviews, blows));
        kept.push_back(std::move(s));
    }
    sessions = std::move(kept);
}

// The largest test a physician did not set aside.
int largestOf(const DayTestList& tests, float ManeuverResult::*field, const Reviews& reviews)
{
    int best = -1;
    for (std::size_t i = 0; i < tests.size(); ++i)
        if (reviewOf(reviews, tests[i].dataName).value_or(true) &&
            (best < 0 || tests[i].file.record.*field > tests[std::size_t(best)].file.record.*field))
            best = int(i);
    return best;
}

TypeResult bestOf(const DayTestList& tests, float ManeuverResult::*field, const Reviews& reviews)
{
    TypeResult r;
    r.bestTest = largestOf(tests, field, reviews);
    if (r.bestTest >= 0)
        r.record = tests[std::size_t(r.bestTest)].file.record;
    return r;
}

// The phase's figures: the reported FVC and FEV1 over the record of the blow
// the other values come from.
void composeRecord(PhaseValues& phase, const SessionAssessment& a, const std::vector<const StoredManeuver*>& blows,
                   const DayTestList& fvc)
{
    phase.withheld = !complete(a);
    if (phase.withheld)
        return;
    if (a.flowsManeuver >= 0) {
        const StoredManeuver& flows = *blows[std::size_t(a.flowsManeuver)];
        phase.record = flows.file.record;
        phase.flowsTest = indexOf(fvc, flows.dataName);
    }
    phase.record.FVC = float(a.fvc.value);
    phase.record.FEV1 = float(a.fev1.value);
    phase.record.FEV1_FVC = float(a.fev1Fvc() * 100.0);
    phase.usableOnly = a.fev1.usableOnly || a.fvc.usableOnly || a.flowsUsableOnly;
}

// The tests' own record of their set and BTPS, where they keep one.
int agreed(const std::vector<int>& values)
{
    if (values.empty())
        return -1;
    for (int v : values)
        if (v != values.front())
            return -1;
    return values.front();
}

} // namespace

const ReferencedValue* ReportedValues::Find(const QString& name) const
{
    for (const auto& [key, value] : values)
        if (key == name)
            return &value;
    return nullptr;
}

bool PhaseValues::Graded(char worst) const
{
    const auto within = [worst](char grade) { return grade >= 'A' && grade <= worst; };
    return within(reported.fev1Grade) && within(reported.fvcGrade);
}

bool DayResult::HasPost() const
{
    return Phase(kPhasePost) != nullptr;
}

const PhaseValues* DayResult::Phase(int phase) const
{
    for (const PhaseValues& p : phases)
        if (p.phase == phase)
            return &p;
    return nullptr;
}

const ManeuverAcceptability* DayResult::Verdict(const QString& dataName) const
{
    for (const PhaseValues& p : phases)
        for (std::size_t i = 0; i < p.blows.size() && i < p.assessment.maneuvers.size(); ++i)
            if (p.blows[i] == dataName)
                return &p.assessment.maneuvers[i];
    return nullptr;
}

ValueReference DayResult::ReferenceOf(const QString& name, double measured) const
{
    ValueReference r;
    if (!std::isfinite(measured))
        return r;
    if (set) {
        if (const std::optional<GliParameter> parameter = GliParameterFromName(name)) {
            const GliPrediction p = GliEquations::BuiltIn().Predict(*set, *parameter, subject);
            if (!p.available)
                return r;
            // GLI takes FEV1/FVC as a fraction; the record keeps it in percent.
            const double scale = *parameter == GliParameter::FEV1FVC ? 100.0 : 1.0;
            r.predicted = p.M * scale;
            r.lln = p.lln * scale;
            r.uln = p.uln * scale;
            r.z = p.zScore(measured / scale);
            r.percentPredicted = p.percentPredicted(measured / scale);
            return r;
        }
    }
    // The older sets fill some fields with a copy of another's prediction (the
    // inspiratory values from the expiratory ones, IRV from ERV) or a fixed
    // figure (FET 6 s, RR 15/min): those predict nothing of their own.
    static const QStringList copies = {"FET", "EVOL", "FIVC", "FIV1", "FIV1/FIVC", "PIF", "IRV", "TV",
                                       "MV",  "RR",   "tI",   "tE",   "TV/tI",     "tI/ttot", "ttot"};
    if (copies.contains(name))
        return r;
    const auto& fields = ManeuverFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (name != fields[i].name)
            continue;
        const double predictedValue = ManeuverFieldValue(predicted, int(i));
        if (predictedValue > 0 && std::isfinite(predictedValue)) {
            r.predicted = predictedValue;
            r.percentPredicted = measured * 100.0 / predictedValue;
        }
    }
    return r;
}

bool LoadDayResult(Database& db, int patientId, const QDate& day, DayResult& out, std::optional<int> againstStandard)
{
    PatientRecord patient;
    if (!day.isValid() || !LoadPatient(db, patientId, patient))
        return false;
    DayResult r;
    r.day = day.toString("yyyy-MM-dd");
    r.nationName = NationGroupName(db, patient.Nation);
    r.fvc = LoadDayTestFiles(db, patientId, r.day, kTestFvc);
    r.vc = LoadDayTestFiles(db, patientId, r.day, kTestVc);
    r.mvv = LoadDayTestFiles(db, patientId, r.day, kTestMvv);

    // The set and BTPS the tests were measured with, where they keep them; a
    // past day keeps its set when the patient's changes.
    // Should the set have changed during the day, the last test's set is the day's.
    std::vector<int> btps;
    int stored = -1;
    QByteArray latest, latestChecked;
    for (const DayTestList* list : {&r.fvc, &r.vc, &r.mvv})
        for (const DayTest& test : *list) {
            const QByteArray time(test.file.header.testTime, int(qstrnlen(test.file.header.testTime, 32)));
            const QDateTime at = QDateTime::fromString(QString::fromLatin1(time), "yyyy-MM-dd HH:mm:ss");
            const std::optional<CalibrationLogEntry> check = LastCheckBefore(db, at);
            r.calibration.flag = std::max(r.calibration.flag, CheckFlagFor(check, at, Settings().checkHours));
            if (time >= latestChecked) {
                r.calibration.lastCheck = check;
                latestChecked = time;
            }
            if (test.standard >= 0 && time >= latest) {
                stored = test.standard;
                latest = time;
            }
            btps.push_back(test.btps);
        }
    r.standard = againstStandard ? *againstStandard : stored >= 0 ? stored : patient.Standard;
    if (r.standard < 0 || r.standard >= kStandardCount)
        r.standard = 0;
    r.btps = agreed(btps);
    patient.Standard = r.standard;
    r.patient = PatientOnDay(patient, day);
    r.set = GliSetOfStandard(r.standard);
    r.setName = ReferenceSetName(r.standard);
    r.setVersion = ReferenceSetVersion(r.standard);
    r.subject = GliSubjectOf(db, patient, day);
    r.predictedFound = ComputePredictedValues(db, r.predicted, r.patient);

    setDamagedAside(r.fvc, kTestFvc, r.damaged);
    setDamagedAside(r.vc, kTestVc, r.damaged);
    setDamagedAside(r.mvv, kTestMvv, r.damaged);
    const Reviews reviews = LoadGradeOverrides(db, patientId, r.day);
    r.vcResult = bestOf(r.vc, &ManeuverResult::VC, reviews);
    r.mvvResult = bestOf(r.mvv, &ManeuverResult::MVV, reviews);

    const Predictor predict(r.set, r.subject);
    r.sessions = LoadDaySessions(db, patientId, r.day, r.subject.ageYears);
    reassessSessions(r.sessions, r.damaged, reviews, r.subject.ageYears);

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

    // Each phase is every blow of its sessions judged together: a day whose
    // blows were stored one per session still reports its best acceptable values.
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
        const SessionAssessment automatic = AssessSession(measures, r.subject.ageYears);
        const SessionAssessment pooled = AssessSession(measures, r.subject.ageYears, reviewsOf(reviews, maneuvers));
        (phase == kPhasePre ? prePool : postPool) = pooled;
        PhaseValues values;
        values.phase = phase;
        values.maneuverCount = int(measures.size());
        values.reported = reportedOf(pooled, maneuvers, predict);
        for (std::size_t i = 0; i < maneuvers.size(); ++i) {
            for (const GradeOverride& review : reviews) {
                if (review.dataName != maneuvers[i]->dataName)
                    continue;
                const ManeuverAcceptability& own = automatic.maneuvers[i];
                r.reviews.push_back({review, kTestFvc, indexOf(r.fvc, review.dataName) + 1,
                                     own.acceptableFev1 && own.acceptableFvc,
                                     std::max(automatic.fev1Grade.grade, automatic.fvcGrade.grade)});
                // The physician's grade is the phase's, wherever the grades are read.
                if (review.grade)
                    values.reported.fev1Grade = values.reported.fvcGrade = *review.grade;
            }
        }
        values.assessment = pooled;
        for (const StoredManeuver* m : maneuvers)
            values.blows.push_back(m->dataName);
        composeRecord(values, pooled, maneuvers, r.fvc);
        r.phases.push_back(std::move(values));
    }
    r.postWithoutPre = postPool && !prePool;
    for (const GradeOverride& review : reviews)
        for (const auto& [type, tests] : {std::pair{kTestVc, &r.vc}, std::pair{kTestMvv, &r.mvv}})
            if (const int index = indexOf(*tests, review.dataName); index >= 0)
                r.reviews.push_back({review, type, index + 1, true, 0});
    std::sort(r.reviews.begin(), r.reviews.end(), [](const ReviewedBlow& a, const ReviewedBlow& b) {
        return TestFileNumber(a.review.dataName) < TestFileNumber(b.review.dataName);
    });

    const bool preWhole = prePool && complete(*prePool);
    const bool postWhole = postPool && complete(*postPool) && preWhole;
    const GliPrediction fev1Pred = predict("FEV1"), fvcPred = predict("FVC");
    if (preWhole && postWhole && fev1Pred.available && fvcPred.available) {
        BronchodilatorResponse bdr;
        bdr.fev1 = ChangeAfterBronchodilator(prePool->fev1.value, postPool->fev1.value, fev1Pred.M);
        bdr.fvc = ChangeAfterBronchodilator(prePool->fvc.value, postPool->fvc.value, fvcPred.M);
        r.bdr = bdr;
    }
    // The interpretation reads the pre phase; a day of post blows only is read
    // from them, and says so (postWithoutPre).
    const PhaseValues* read = r.Phase(preWhole ? kPhasePre : kPhasePost);
    const std::optional<SessionAssessment>& readPool = preWhole ? prePool : postPool;
    if (!r.set) {
        r.interpretationNote = GetLangText("CLINICAL", 2520);
    } else if (read && readPool && complete(*readPool)) {
        std::optional<SpirometryValues> after;
        if (postWhole)
            after = SpirometryValues{postPool->fev1.value, postPool->fvc.value};
        Interpretation i = Interpret(GliEquations::BuiltIn(), *r.set, r.subject,
                                     {readPool->fev1.value, readPool->fvc.value}, after);
        if (i.available) {
            std::vector<std::pair<QString, double>> zScores;
            for (const PhaseValues& p : r.phases)
                for (const auto& [name, value] : p.reported.values)
                    if (value.Referenced())
                        zScores.emplace_back(name, value.reference.zScore(value.value));
            QualifyInterpretation(i, read->reported.fev1Grade, read->reported.fvcGrade, zScores);
            r.interpretation = i;
        } else {
            r.interpretationNote = GetLangText("CLINICAL", 2524).arg(r.setName).arg(r.subject.ageYears, 0, 'f', 1);
        }
    } else if (!r.phases.empty()) {
        r.interpretationNote = GetLangText("CLINICAL", 2525);
    }
    out = std::move(r);
    return true;
}
