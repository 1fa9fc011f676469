#include "core/clinical/maneuver_acceptability.h"

#include "core/app/lang_text.h"

#include <QString>

#include <algorithm>

namespace {

constexpr double kHesitationLimit = 2.0; // s

} // namespace

double BevLimit(double fvc) { return std::max(0.100, 0.05 * fvc); }

bool BevTooLarge(double bev, double fvc) { return Millilitres(bev) > Millilitres(BevLimit(fvc)); }

bool IsPlateau(double lastSecondVolume)
{
    return std::isfinite(lastSecondVolume) && Millilitres(lastSecondVolume) < Millilitres(kPlateauVolume);
}

bool IsLongExpiration(double seconds) { return std::isfinite(seconds) && seconds >= kLongExpiration; }

double RepeatabilityTolerance(double ageYears, double highest)
{
    return ageYears > 6 ? 0.150 : std::max(0.100, 0.10 * highest);
}

ManeuverAcceptability AssessManeuver(const ManeuverMeasures& m, std::optional<double> largestEarlierFvc,
                                     double ageYears)
{
    ManeuverAcceptability a;
    const bool bevKnown = std::isfinite(m.bev);
    const bool bevOk = bevKnown && !BevTooLarge(m.bev, m.fvc);

    const bool plateau = IsPlateau(m.plateauVolume);
    const bool longEnough = IsLongExpiration(m.fet);
    bool reachesEarlier = false;
    if (largestEarlierFvc) {
        const double highest = std::max(*largestEarlierFvc, m.fvc);
        reachesEarlier = Millilitres(m.fvc) >=
                         Millilitres(*largestEarlierFvc) - Millilitres(RepeatabilityTolerance(ageYears, highest));
    }
    a.endOfExpiration = plateau || longEnough || reachesEarlier;

    // Only a larger inspiration after the blow can show that the blow did not start from full lungs.
    const bool inspirationOk =
        Millilitres(m.fivc - m.fvc) <= Millilitres(std::max(0.100, 0.05 * m.fvc));

    a.usableFev1 = bevOk;
    a.usableFvc = bevOk;
    a.acceptableFev1 = bevOk && inspirationOk;
    a.acceptableFvc = bevOk && inspirationOk && a.endOfExpiration;

    if (!bevKnown)
        a.findings.push_back(ManeuverFinding::BevUnknown);
    else if (!bevOk)
        a.findings.push_back(ManeuverFinding::BevTooLarge);
    if (!a.endOfExpiration)
        a.findings.push_back(ManeuverFinding::NoEndOfExpiration);
    if (!inspirationOk)
        a.findings.push_back(ManeuverFinding::InspirationLarger);
    if (std::isfinite(m.hesitation) && m.hesitation > kHesitationLimit)
        a.findings.push_back(ManeuverFinding::LongHesitation);
    return a;
}

QString FindingText(ManeuverFinding finding)
{
    return GetLangText("CLINICAL", 2530 + int(finding));
}
