#pragma once
// GLI reference equations (LMS model with age splines): GLI-2012 (five ethnic
// groups), GLI Global 2022 (race-neutral) and GLI-2021 ERV. The tables are
// read from the CSV files shipped in data/gli (built in as ":/gli").
#include <QDate>
#include <QString>

#include <map>
#include <optional>
#include <tuple>
#include <vector>

enum class GliSet { Gli2012, GliGlobal2022 };
enum class GliParameter { FEV1, FVC, FEV1FVC, FEF2575, FEF75, ERV };

inline constexpr double kLlnZ = -1.645; // 5th centile

// "gli2012" / "gli-global-2022" and back.
QString GliSetName(GliSet set);
std::optional<GliSet> GliSetFromName(const QString& name);
// The record's field names: "FEV1", "FVC", "FEV1/FVC", "FEF2575", "FEF75", "ERV".
QString GliParameterName(GliParameter parameter);
std::optional<GliParameter> GliParameterFromName(const QString& name);
// Parameters in the order tables and JSON list them.
const std::vector<GliParameter>& GliParameters();

// Ethnic groups of GLI-2012 (GLI Global 2022 and ERV ignore them).
enum GliEthnic : int {
    kEthnicCaucasian = 1,
    kEthnicAfricanAmerican = 2,
    kEthnicNorthEastAsian = 3,
    kEthnicSouthEastAsian = 4,
    kEthnicOther = 5
};

struct GliSubject {
    bool male = true;
    double ageYears = 0;  // decimal years on the test day
    double heightCm = 0;
    int ethnic = kEthnicCaucasian;
};

// Decimal age from birth to the test day (days / 365.25, as the GLI calculator does).
double GliDecimalAge(const QDate& birth, const QDate& testDay);

// The prediction for one parameter. `available` is false when the set has no
// equation for it or the age lies outside the equation's range (no
// extrapolation); `outOfRange` then says which of the two it was.
// FEV1/FVC is a fraction (0.80), as GLI defines it.
struct GliPrediction {
    bool available = false;
    bool outOfRange = false; // age outside the equation's range, or an implausible height
    double L = 0, M = 0, S = 0;
    double lln = 0, uln = 0; // 5th and 95th centiles

    double predicted() const { return M; }
    double zScore(double measured) const;
    double percentPredicted(double measured) const;
};

// Heights outside this range still get values, flagged as out of range.
inline constexpr double kGliMinHeightCm = 80;
inline constexpr double kGliMaxHeightCm = 220;

class GliEquations {
public:
    // Reads the six tables from `folder` (":/gli" is the built-in copy).
    // Returns false with a message naming the file and line on any fault.
    bool Load(const QString& folder, QString* error = nullptr);
    bool LoadBuiltIn(QString* error = nullptr) { return Load(":/gli", error); }
    // The built-in tables, read once: they never change while the program runs.
    static const GliEquations& BuiltIn();

    bool Has(GliSet set, GliParameter parameter) const;
    GliPrediction Predict(GliSet set, GliParameter parameter, const GliSubject& subject) const;

private:
    struct Knot {
        double m = 0, s = 0, l = 0;
    };
    // One sex of one parameter of one set.
    struct Equation {
        // GLI-2012 / Global: M = exp(m0 + m1 ln H + m2 ln A + mEthnic + Mspline),
        // S = exp(s0 + s1 ln A + sEthnic + Sspline), L = l0 + l1 ln A + Lspline.
        // ERV (linearAge): m2·A and s1·A in place of the logarithms, L = l0 + Lspline.
        double m[3] = {};
        double s[2] = {};
        double l[2] = {};
        double mEthnic[6] = {}; // by ethnic group 1..5
        double sEthnic[6] = {};
        bool linearAge = false;
        double firstAge = 0;     // spline knots every 0.25 year from here
        std::vector<Knot> knots;
        double lastAge() const { return firstAge + 0.25 * double(knots.size() - 1); }
    };
    // (table: 0 GLI-2012, 1 GLI Global 2022, 2 GLI-2021 ERV; parameter; male)
    using Key = std::tuple<int, int, bool>;

    static std::optional<Key> keyOf(GliSet set, GliParameter parameter, bool male);
    bool loadCoefficients(const QString& path, int table, QString* error);
    bool loadSplines(const QString& path, int table, QString* error);

    std::map<Key, Equation> m_equations;
};
