// tavctl session --patient ID --day YYYY-MM-DD: every FVC session of a day,
// each manoeuvre's acceptability, the grades, the reported values against the
// patient's GLI set, each phase's manoeuvres judged together (the values the
// exchange files carry), the bronchodilator response and the interpretation.
#include "cli_context.h"
#include "clinical_options.h"
#include "commands.h"
#include "json_out.h"

#include "core/app/lang_text.h"
#include "core/records/database.h"
#include "core/records/schema_upgrade.h"
#include "core/clinical/gli_patient.h"
#include "core/report/day_result.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

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
        reasons.append(FindingText(finding));
    json["reasons"] = reasons;
    return json;
}

QJsonObject valueJson(const ReferencedValue* v)
{
    const double none = std::nan("");
    QJsonObject json;
    json["value"] = JsonNumber(v ? v->value : none);
    json["usableOnly"] = v && v->usableOnly;
    const bool known = v && v->Referenced();
    json["pred"] = JsonNumber(known ? v->reference.M : none);
    json["lln"] = JsonNumber(known ? v->reference.lln : none);
    json["z"] = JsonNumber(known ? v->reference.zScore(v->value) : none);
    json["pct"] = JsonNumber(known ? v->reference.percentPredicted(v->value) : none);
    if (v && v->reference.outOfRange)
        json["outOfRange"] = true;
    return json;
}

// FEV1, FVC and FEV1/FVC always (null when missing), the flows when there are some.
QJsonObject reportedJson(const ReportedValues& reported)
{
    QJsonObject json;
    for (const char* name : {"FEV1", "FVC", "FEV1/FVC"})
        json[name] = valueJson(reported.Find(name));
    for (const auto& [name, value] : reported.values)
        if (!json.contains(name))
            json[name] = valueJson(&value);
    return json;
}

QJsonObject gradeJson(const ReportedValues& reported)
{
    return QJsonObject{{"FEV1", QString(QChar(reported.fev1Grade))}, {"FVC", QString(QChar(reported.fvcGrade))}};
}

QString phaseName(int phase)
{
    return phase == kPhasePost ? "post" : "pre";
}

// Everything the day reports, as `tavctl session` prints it.
QJsonObject dayJson(const DayResult& day)
{
    QJsonArray sessionsJson;
    for (std::size_t k = 0; k < day.sessions.size(); ++k) {
        const StoredSession& s = day.sessions[k];
        QJsonObject json;
        json["session"] = s.session;
        json["phase"] = phaseName(s.phase);
        QJsonArray maneuvers;
        for (std::size_t i = 0; i < s.maneuvers.size(); ++i)
            maneuvers.append(maneuverJson(s.maneuvers[i], s.assessment.maneuvers[i]));
        json["maneuvers"] = maneuvers;
        json["grade"] = gradeJson(day.sessionValues[k]);
        json["reported"] = reportedJson(day.sessionValues[k]);
        sessionsJson.append(json);
    }
    // Each phase's manoeuvres judged together: the values the exchange files carry.
    QJsonArray phasesJson;
    for (const PhaseValues& p : day.phases) {
        // A withheld phase (no acceptable or usable FEV1 or FVC) reports no values.
        QJsonObject phase{{"phase", phaseName(p.phase)},
                          {"maneuvers", p.maneuverCount},
                          {"grade", gradeJson(p.reported)},
                          {"withheld", p.withheld},
                          {"reported", p.withheld ? QJsonObject() : reportedJson(p.reported)}};
        phasesJson.append(phase);
    }
    QJsonArray damaged;
    for (const DamagedTest& d : day.damaged)
        damaged.append(QJsonObject{{"file", d.dataName}, {"type", d.testType}, {"reason", d.reason}});

    // A physician's word on a blow, beside the program's own.
    QJsonArray reviews;
    for (const ReviewedBlow& b : day.reviews) {
        QJsonObject review{{"file", b.review.dataName},
                           {"type", b.testType},
                           {"automatic", b.automaticAcceptable},
                           {"acceptable", b.review.acceptable},
                           {"reason", b.review.reason},
                           {"user", b.review.user}};
        if (b.review.grade)
            review["grade"] = QString(QChar(*b.review.grade));
        reviews.append(review);
    }

    QJsonObject json;
    json["sessions"] = sessionsJson;
    json["phases"] = phasesJson;
    json["reviews"] = reviews;
    json["set"] = day.set ? GliSetName(*day.set) : QString();
    json["setName"] = day.setName;
    json["setVersion"] = day.setVersion;
    json["btps"] = day.btps < 0 ? QJsonValue() : QJsonValue(day.btps == 1);
    json["postWithoutPre"] = day.postWithoutPre;
    const std::optional<CalibrationLogEntry>& check = day.calibration.lastCheck;
    json["calibration"] = QJsonObject{
        {"lastCheck", check ? QJsonValue(check->at.toString("yyyy-MM-dd HH:mm:ss")) : QJsonValue()},
        {"passed", check ? QJsonValue(check->passed) : QJsonValue()},
        {"flag", QString(day.calibration.flag == CheckFlag::Failed    ? "failed"
                         : day.calibration.flag == CheckFlag::Overdue ? "overdue"
                                                                      : "none")}};
    json["damaged"] = damaged;
    json["bdr"] = QJsonValue();
    json["interpretation"] = QJsonValue();
    if (day.bdr)
        json["bdr"] = QJsonObject{{"FEV1", BronchodilatorChangeJson(day.bdr->fev1)},
                                  {"FVC", BronchodilatorChangeJson(day.bdr->fvc)}};
    if (day.interpretation)
        json["interpretation"] = InterpretationJson(*day.interpretation);
    if (!day.interpretationNote.isEmpty())
        json["interpretationNote"] = day.interpretationNote;
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
        return CliContext::Fail("usage: tavctl session --patient ID --day YYYY-MM-DD [--against SET] [--json]");
    const QString dayText = CliContext::TakeOption(args, "--day", &found);
    const QDate date = QDate::fromString(dayText, "yyyy-MM-dd");
    if (!found || !date.isValid())
        return CliContext::Fail("--day must be a date YYYY-MM-DD, not \"" + dayText + "\"");
    // Another set to recompute the day against: ers, knudson, usa, gli2012, gli-global-2022.
    const QString againstText = CliContext::TakeOption(args, "--against", &found);
    std::optional<int> against;
    if (found) {
        static const QStringList older = {"ers", "knudson", "usa"};
        if (older.contains(againstText.toLower()))
            against = int(older.indexOf(againstText.toLower()));
        else if (const std::optional<GliSet> set = GliSetFromName(againstText))
            against = *set == GliSet::Gli2012 ? kStandardGli2012 : kStandardGliGlobal2022;
        else
            return CliContext::Fail("--against must be ers, knudson, usa, gli2012 or gli-global-2022, not \"" +
                                    againstText + "\"");
    }
    args.removeAll("--json"); // JSON is the only form
    if (!args.isEmpty())
        return CliContext::Fail("unexpected arguments: " + args.join(' '));
    if (!context.OpenDatabase())
        return 2;
    Database& db = context.Db();
    DayResult day;
    if (!LoadDayResult(db, id, date, day))
        return CliContext::Fail(QString("there is no patient %1").arg(id));

    QJsonObject json = dayJson(day);
    if (against) {
        // Side by side: the same blows against another set; nothing is stored.
        DayResult other;
        LoadDayResult(db, id, date, other, *against);
        QJsonObject recomputed = dayJson(other);
        recomputed.remove("sessions");
        recomputed.remove("damaged");
        json["recomputed"] = recomputed;
    }
    PrintJson(json);
    return 0;
}
