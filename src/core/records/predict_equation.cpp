#include "core/records/predict_equation.h"

#include "core/records/database.h"
#include "core/records/leading_number.h"
#include "core/records/recordset.h"

#include <cmath>

PredictEquation::Slots DefaultCoefficients()
{
    PredictEquation::Slots values{};
    for (int i = 0; i < 10; ++i)
        values[i] = static_cast<float>(i / 10.0);
    return values;
}

void ParseCoefficientList(const QString& text, PredictEquation::Slots& values)
{
    QString compact = text;
    compact.remove(' ');
    compact.remove('\t');
    const QStringList numbers = compact.split('/');
    if (numbers.size() < 2)
        return;
    // Only ten values exist: numbers beyond the tenth are dropped.
    const int count = std::min<int>(numbers.size(), static_cast<int>(values.size()));
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<float>(LeadingNumber(numbers[i]));
}

float BodySurfaceArea(int weightKg, int heightCm)
{
    // A negative size from a damaged row would make the powers NaN and, through a zero
    // surface coefficient, every predicted value with them.
    if (weightKg <= 0 || heightCm <= 0)
        return 0.0f;
    const double bsa = std::pow(static_cast<double>(weightKg), 0.425) *
                       std::pow(static_cast<double>(heightCm), 0.725) * 71.84 * 1e-4;
    return static_cast<float>(bsa);
}

int PredictionAge(int age)
{
    if (age <= 0)
        return 0;
    if (age >= 100)
        return 99;
    return age;
}

bool LoadPredictEquation(Database& db, int standard, int gender, int age, PredictEquation& eq)
{
    Recordset rs(db);
    rs.Open("SELECT * FROM Predict WHERE Type = ? AND Gender = ? AND Age_lower_limit <= ? AND "
            "Age_upper_limit > ?",
            {standard, gender, age, age});
    if (rs.GetRecordCount() <= 0)
        return false;
    rs.MoveFirst();
    PredictEquation loaded;
    rs.GetFieldValue("FEV1/FVC", loaded.F);
    const std::pair<const char*, PredictEquation::Slots*> terms[] = {
        {"Param_Constant", &loaded.C},
        {"Param_Hight", &loaded.Hc},
        {"Param_Age", &loaded.Ac},
        {"Param_Age_Age", &loaded.AAc},
        {"Param_Height_Height", &loaded.HHc},
        {"Param_Surface", &loaded.Sc}};
    for (const auto& [column, values] : terms) {
        *values = DefaultCoefficients();
        QString text;
        rs.GetFieldValue(column, text);
        ParseCoefficientList(text, *values);
    }
    eq = loaded;
    return true;
}

PredictedSlots EvaluatePredictEquation(const PredictEquation& eq, int heightCm, int age, float bsa)
{
    const float h = static_cast<float>(heightCm);
    const float a = static_cast<float>(age);
    const float h2 = h * h;
    const float a2 = a * a;
    auto term = [&](int i) {
        float sum = eq.HHc[i] * h2;
        sum += eq.AAc[i] * a2;
        sum += eq.Ac[i] * a;
        sum += eq.Hc[i] * h;
        sum += eq.Sc[i] * bsa;
        sum += eq.C[i];
        return sum;
    };
    PredictedSlots out;
    for (int i = 0; i < 10; ++i) {
        if (i != 2)
            out.P[i] = term(i);
    }
    // A zero FVC equation (broken table data) would spread inf/NaN into every ratio.
    out.R = out.P[0] != 0.0f ? out.P[1] / out.P[0] : 0.0f;
    float ratio = out.R * static_cast<float>(eq.F);
    ratio += eq.HHc[2] * h2;
    ratio += eq.AAc[2] * a2;
    ratio += eq.Ac[2] * a;
    ratio += eq.Hc[2] * h;
    ratio += eq.Sc[2] * bsa;
    ratio += eq.C[2];
    out.P[2] = ratio;
    return out;
}
