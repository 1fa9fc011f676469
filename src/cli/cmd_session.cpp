// tavctl session --patient ID --day YYYY-MM-DD: every FVC session of a day,
// each manoeuvre's acceptability, the grades, the reported values against the
// patient's GLI set, the bronchodilator response and the interpretation.
#include "cli_context.h"
#include "clinical_options.h"
#include "commands.h"
#include "json_out.h"

#include "core/app/lang_text.h"
#include "core/clinical/gli_patient.h"
#include "core/clinical/interpretation.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"
#include "core/records/schema_upgrade.h"
#include "core/report/day_sessions.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

QString findingText(ManeuverFinding finding)
{
    return GetLangText("CLINICAL", 2530 + int(finding));
}

QJsonObject maneuverJson(const StoredManeuver& m, const ManeuverAcceptability& a)
{
    const ManeuverResult& r = m.file.record;
    QJsonObject json;
    json["file"] = m.dataName;
    json["maneuver"] = m.maneuver;
    json["FVC"] = r.FVC;
    json["FEV1"] = r.FEV1;
    json["PEF"] = r.PEF;
    json["FIVC"] = r.FIVC;
    json["bev"] = JsonNumber(m.measures.bev);
    json["fet"] = JsonNumber(m.measures.fet);
    json["hesitation"] = JsonNumber(m.measures.hesitation);
    json["plateau"] = JsonNumber(m.measures.plateauVolume);
    json["acceptable"] = QJsonObject{{"FEV1", a.acceptableFev1}, {"FVC", a.acceptableFvc}};
    json["usable"] = QJsonObject{{"FEV1", a.usableFev1}, {"FVC", a.usableFvc}};
    QJsonArray reasons;
    for (ManeuverFinding finding : a.findings)
        reasons.append(findingText(finding));
    json["reasons"] = reasons;
    return json;
}

QJsonObject reportedJson(double value, bool present, bool usableOnly, const GliPrediction* p)
{
    QJsonObject json;
    const double none = std::nan("");
    json["value"] = JsonNumber(present ? value : none);
    json["usableOnly"] = usableOnly;
    const bool known = present && p && p->available;
    json["pred"] = JsonNumber(known ? p->M : none);
    json["lln"] = JsonNumber(known ? p->lln : none);
    json["z"] = JsonNumber(known ? p->zScore(value) : none);
    json["pct"] = JsonNumber(known ? p->percentPredicted(value) : none);
    if (p && p->outOfRange)
        json["outOfRange"] = true;
    return json;
}

} // namespace

int CmdSession(CliContext& context, QStringList& args)
{
    bool found = false;
    const QString idText = CliContext::TakeOption(args, "--patient", &found);
    bool ok = false;
    const int id = idText.toInt(&ok);
    if (!found || !ok || id < 1)
        return CliContext::Fail("usage: tavctl session --patient ID --day YYYY-MM-DD [--json]");
    const QString dayText = CliContext::TakeOption(args, "--day", &found);
    const QDate day = QDate::fromString(dayText, "yyyy-MM-dd");
    if (!found || !day.isValid())
        return CliContext::Fail("--day must be a date YYYY-MM-DD, not \"" + dayText + "\"");
    args.removeAll("--json"); // JSON is the only form
    if (!args.isEmpty())
        return CliContext::Fail("unexpected arguments: " + args.join(' '));
    if (!context.OpenDatabase())
        return 2;
    Database& db = Database::Instance();
    PatientRecord patient;
    if (!LoadPatient(db, id, patient))
        return CliContext::Fail(QString("there is no patient %1").arg(id));

    const GliSubject subject = GliSubjectOf(db, patient, day);
    const std::optional<GliSet> set = GliSetOfStandard(patient.Standard);
    const GliEquations& gli = GliEquations::BuiltIn();
    const auto predict = [&](GliParameter parameter) {
        return set ? gli.Predict(*set, parameter, subject) : GliPrediction();
    };
    const GliPrediction fev1Pred = predict(GliParameter::FEV1), fvcPred = predict(GliParameter::FVC),
                        ratioPred = predict(GliParameter::FEV1FVC);

    const std::vector<StoredSession> sessions = LoadDaySessions(db, id, dayText, subject.ageYears);
    QJsonArray sessionsJson;
    const StoredSession* pre = nullptr;
    const StoredSession* post = nullptr;
    for (const StoredSession& s : sessions) {
        const SessionAssessment& a = s.assessment;
        QJsonObject json;
        json["session"] = s.session;
        json["phase"] = s.phase == kPhasePost ? "post" : "pre";
        QJsonArray maneuvers;
        for (std::size_t i = 0; i < s.maneuvers.size(); ++i)
            maneuvers.append(maneuverJson(s.maneuvers[i], a.maneuvers[i]));
        json["maneuvers"] = maneuvers;
        json["grade"] = QJsonObject{{"FEV1", QString(QChar(a.fev1Grade.grade))},
                                    {"FVC", QString(QChar(a.fvcGrade.grade))}};
        QJsonObject reported;
        reported["FEV1"] = reportedJson(a.fev1.value, a.fev1.present, a.fev1.usableOnly, set ? &fev1Pred : nullptr);
        reported["FVC"] = reportedJson(a.fvc.value, a.fvc.present, a.fvc.usableOnly, set ? &fvcPred : nullptr);
        reported["FEV1/FVC"] = reportedJson(a.fev1Fvc(), std::isfinite(a.fev1Fvc()),
                                            a.fev1.usableOnly || a.fvc.usableOnly, set ? &ratioPred : nullptr);
        if (a.flowsManeuver >= 0) {
            const ManeuverResult& flows = s.maneuvers[a.flowsManeuver].file.record;
            reported["PEF"] = QJsonObject{{"value", flows.PEF}, {"usableOnly", a.flowsUsableOnly}};
            reported["FEF2575"] = QJsonObject{{"value", flows.FEF2575}, {"usableOnly", a.flowsUsableOnly}};
        }
        json["reported"] = reported;
        sessionsJson.append(json);
        // The response compares the last session before the bronchodilator with the last one after it.
        const bool complete = a.fev1.present && a.fvc.present;
        if (s.phase == kPhasePre && complete)
            pre = &s;
        else if (s.phase == kPhasePost && complete && pre)
            post = &s;
    }

    QJsonObject json;
    json["sessions"] = sessionsJson;
    json["set"] = set ? GliSetName(*set) : QString();
    json["bdr"] = QJsonValue();
    json["interpretation"] = QJsonValue();
    if (pre && post && fev1Pred.available && fvcPred.available) {
        const auto change = [](const ReportedValue& before, const ReportedValue& after, double predicted) {
            return BronchodilatorChangeJson(ChangeAfterBronchodilator(before.value, after.value, predicted));
        };
        json["bdr"] = QJsonObject{
            {"FEV1", change(pre->assessment.fev1, post->assessment.fev1, fev1Pred.M)},
            {"FVC", change(pre->assessment.fvc, post->assessment.fvc, fvcPred.M)}};
    }
    const StoredSession* interpreted = pre ? pre : nullptr;
    if (!interpreted) {
        for (const StoredSession& s : sessions)
            if (s.assessment.fev1.present && s.assessment.fvc.present)
                interpreted = &s;
    }
    if (!set) {
        json["interpretationNote"] = GetLangText("CLINICAL", 2520);
    } else if (interpreted) {
        std::optional<SpirometryValues> after;
        if (post && interpreted == pre)
            after = SpirometryValues{post->assessment.fev1.value, post->assessment.fvc.value};
        const Interpretation r =
            Interpret(gli, *set, subject,
                      {interpreted->assessment.fev1.value, interpreted->assessment.fvc.value}, after);
        if (r.available)
            json["interpretation"] = InterpretationJson(r);
        else
            json["interpretationNote"] = r.unavailableReason;
    }
    PrintJson(json);
    return 0;
}
