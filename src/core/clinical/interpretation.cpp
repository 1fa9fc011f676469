#include "core/clinical/interpretation.h"

#include "core/app/lang_text.h"

#include <cmath>

namespace {

constexpr double kSignificantChange = 10.0; // percent of predicted

QString text(int id) { return GetLangText("CLINICAL", id); }
QString number(double value, int decimals) { return QString::number(value, 'f', decimals); }

InterpretedValue interpretValue(const GliPrediction& p, double value)
{
    InterpretedValue v;
    v.value = value;
    if (!p.available || !(value > 0))
        return v;
    v.available = true;
    v.pred = p.M;
    v.lln = p.lln;
    v.z = p.zScore(value);
    v.percentPredicted = p.percentPredicted(value);
    v.severity = SeverityOfZ(v.z);
    return v;
}

bool belowLln(const InterpretedValue& v) { return v.severity != Severity::Normal; }

} // namespace

Severity SeverityOfZ(double z)
{
    const double rounded = std::round(z * 1000.0) / 1000.0;
    if (rounded >= -1.645)
        return Severity::Normal;
    if (rounded >= -2.5)
        return Severity::Mild;
    if (rounded >= -4.0)
        return Severity::Moderate;
    return Severity::Severe;
}

QString SeverityName(Severity severity)
{
    switch (severity) {
    case Severity::Normal: return "normal";
    case Severity::Mild: return "mild";
    case Severity::Moderate: return "moderate";
    case Severity::Severe: return "severe";
    }
    return QString();
}

QString PatternName(SpirometryPattern pattern)
{
    switch (pattern) {
    case SpirometryPattern::Normal: return "normal";
    case SpirometryPattern::Obstruction: return "obstruction";
    case SpirometryPattern::ObstructionLowFvc: return "obstruction-low-fvc";
    case SpirometryPattern::PreservedRatio: return "prism";
    case SpirometryPattern::NonSpecific: return "non-specific";
    }
    return QString();
}

QString PatternText(SpirometryPattern pattern)
{
    return text(2500 + int(pattern));
}

QString SuggestionText(const Interpretation& i)
{
    if (!i.available)
        return QString();
    QString sentence = i.caveat.isEmpty() ? QString() : i.caveat + ". ";
    if (i.pattern == SpirometryPattern::Normal)
        sentence += i.caveat.isEmpty() ? PatternText(i.pattern) : text(2523);
    else
        sentence += PatternText(i.pattern) + ", " + SeverityText(i.severity);
    if (i.bdr)
        sentence += "; " + text(i.bdr->significant() ? 2556 : 2557);
    return sentence;
}

void QualifyInterpretation(Interpretation& i, char fev1Grade, char fvcGrade,
                           const std::vector<std::pair<QString, double>>& zScores)
{
    QStringList why;
    // A to C are the grades a result may be read from without reserve (ATS/ERS 2019).
    const auto poor = [](char grade) { return grade < 'A' || grade > 'C'; };
    if (poor(fev1Grade) || poor(fvcGrade))
        why << text(2521).arg(QChar(fev1Grade), QChar(fvcGrade));
    for (const auto& [name, z] : zScores)
        if (std::isfinite(z) && std::fabs(z) > kImplausibleZ)
            why << text(2522).arg(name, number(z, 2));
    i.caveat = why.join("; ");
    if (!i.caveat.isEmpty())
        i.rules.prepend(i.caveat);
}

BronchodilatorChange ChangeAfterBronchodilator(double pre, double post, double predicted)
{
    BronchodilatorChange c;
    if (!(pre > 0) || !(post > 0) || !(predicted > 0))
        return c;
    c.available = true;
    c.litres = post - pre;
    c.percent = 100.0 * c.litres / pre;
    c.percentPredicted = 100.0 * c.litres / predicted;
    // Rounded to a thousandth of a percent, so that exactly 10 % reads as not over it.
    c.significant = std::round(c.percentPredicted * 1000.0) / 1000.0 > kSignificantChange;
    return c;
}

Interpretation Interpret(const GliEquations& gli, GliSet set, const GliSubject& subject,
                         const SpirometryValues& measured, const std::optional<SpirometryValues>& post)
{
    Interpretation r;
    const GliPrediction fev1 = gli.Predict(set, GliParameter::FEV1, subject);
    const GliPrediction fvc = gli.Predict(set, GliParameter::FVC, subject);
    const GliPrediction ratio = gli.Predict(set, GliParameter::FEV1FVC, subject);
    r.fev1 = interpretValue(fev1, measured.fev1);
    r.fvc = interpretValue(fvc, measured.fvc);
    r.ratio = interpretValue(ratio, measured.fvc > 0 ? measured.fev1 / measured.fvc : 0.0);
    if (!r.fev1.available || !r.fvc.available || !r.ratio.available) {
        r.unavailableReason = text(2520);
        return r;
    }
    r.available = true;

    const bool lowFev1 = belowLln(r.fev1), lowFvc = belowLln(r.fvc), lowRatio = belowLln(r.ratio);
    r.obstruction = lowRatio;
    r.prism = lowFev1 && lowFvc && !lowRatio;
    if (lowRatio)
        r.pattern = lowFvc ? SpirometryPattern::ObstructionLowFvc : SpirometryPattern::Obstruction;
    else if (lowFev1 && lowFvc)
        r.pattern = SpirometryPattern::PreservedRatio;
    else if (lowFev1 || lowFvc)
        r.pattern = SpirometryPattern::NonSpecific;
    r.severity = r.fev1.severity;

    r.rules << text(lowRatio ? 2510 : 2511)
                   .arg(number(r.ratio.value, 3), number(r.ratio.lln, 3), number(r.ratio.z, 2));
    r.rules << text(2512).arg("FEV1", number(r.fev1.value, 2), number(r.fev1.lln, 2), number(r.fev1.z, 2),
                              text(lowFev1 ? 2513 : 2514));
    r.rules << text(2512).arg("FVC", number(r.fvc.value, 2), number(r.fvc.lln, 2), number(r.fvc.z, 2),
                              text(lowFvc ? 2513 : 2514));
    if (r.pattern == SpirometryPattern::ObstructionLowFvc)
        r.rules << text(2515);
    if (r.prism)
        r.rules << text(2516);
    r.rules << text(2517).arg(number(r.fev1.z, 2), SeverityText(r.severity));

    if (post) {
        BronchodilatorResponse bdr;
        bdr.fev1 = ChangeAfterBronchodilator(measured.fev1, post->fev1, fev1.M);
        bdr.fvc = ChangeAfterBronchodilator(measured.fvc, post->fvc, fvc.M);
        r.bdr = bdr;
        for (const auto& [name, change] : {std::pair{"FEV1", bdr.fev1}, std::pair{"FVC", bdr.fvc}})
            if (change.available)
                r.rules << text(change.significant ? 2518 : 2519)
                               .arg(name, number(change.litres, 3), number(change.percentPredicted, 1));
    }
    return r;
}

QString SeverityText(Severity severity)
{
    return text(2505 + int(severity));
}
