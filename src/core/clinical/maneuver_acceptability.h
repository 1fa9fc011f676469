#pragma once
// Acceptability and usability of one forced manoeuvre, separately for FEV1
// and FVC, by the criteria this device's data allow: back-extrapolated
// volume, end of forced expiration, the inspiration after the blow.
#include <cmath>
#include <optional>
#include <vector>

// What grading needs of one manoeuvre. Volumes in L, times in s; a value the
// device did not give is NaN and its criterion counts as not met.
struct ManeuverMeasures {
    double fvc = 0;
    double fev1 = 0;
    double fivc = 0; // the inspiration after the blow, 0 when there was none
    double pef = 0;
    double bev = std::nan("");           // back-extrapolated volume
    double fet = std::nan("");           // forced expiratory time
    double plateauVolume = std::nan(""); // volume exhaled in the last 1 s of the expiration
    double hesitation = std::nan("");    // from the first flow to time zero
};

enum class ManeuverFinding {
    BevTooLarge,     // over 5 % of FVC or 0.100 L, whichever is greater
    BevUnknown,      // the device gave no back-extrapolated volume
    NoEndOfExpiration, // no plateau, under 15 s, and FVC short of the largest earlier one
    InspirationLarger, // FIVC exceeds FVC by more than 0.100 L or 5 %
    LongHesitation,    // over 2 s (reported; does not decide acceptability)
};

struct ManeuverAcceptability {
    bool acceptableFev1 = false;
    bool usableFev1 = false;
    bool acceptableFvc = false;
    bool usableFvc = false;
    bool endOfExpiration = false;
    std::vector<ManeuverFinding> findings; // in the order above
};

// Largest back-extrapolated volume accepted for this FVC, and whether `bev` is over it.
double BevLimit(double fvc);
bool BevTooLarge(double bev, double fvc);
// The ends of a forced expiration the blow itself shows: a plateau (the
// volume of the last 1 s under 0.025 L) or 15 s of expiration.
bool IsPlateau(double lastSecondVolume);
bool IsLongExpiration(double seconds);
inline constexpr double kPlateauVolume = 0.025;  // L
inline constexpr double kLongExpiration = 15.0; // s
// Tolerance within which two values are repeatable (the A/B band): 0.150 L
// above 6 years; 0.100 L or 10 % of `highest`, whichever is greater, at 6 and under.
double RepeatabilityTolerance(double ageYears, double highest);

// `largestEarlierFvc`: the largest FVC among the session's earlier manoeuvres.
ManeuverAcceptability AssessManeuver(const ManeuverMeasures& measures,
                                     std::optional<double> largestEarlierFvc, double ageYears);

// A finding in the user's words.
class QString;
QString FindingText(ManeuverFinding finding);

// Whole millilitres, so that limits given in litres compare exactly.
inline long long Millilitres(double litres) { return std::llround(litres * 1000.0); }
