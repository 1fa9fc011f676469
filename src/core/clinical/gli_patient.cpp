#include "core/clinical/gli_patient.h"

#include "core/app/lang_text.h"

#include <QStringList>

#include <algorithm>

std::optional<GliSet> GliSetOfStandard(int standard)
{
    if (standard == kStandardGli2012)
        return GliSet::Gli2012;
    if (standard == kStandardGliGlobal2022)
        return GliSet::GliGlobal2022;
    return std::nullopt;
}

QString ReferenceSetLabel(int standard)
{
    switch (standard) {
    case 0:
        return "ERS";
    case 1:
        return "Knudson";
    case 2:
        return "USA";
    case kStandardGli2012:
        return GetLangText("CLINICAL", 2560);
    case kStandardGliGlobal2022:
        return GetLangText("CLINICAL", 2561);
    default:
        return QString();
    }
}

QString ReferenceSetName(int standard)
{
    switch (standard) {
    case kStandardGli2012:
        return "GLI-2012";
    case kStandardGliGlobal2022:
        return "GLI Global 2022";
    default:
        return ReferenceSetLabel(std::clamp(standard, 0, kStandardGli2012 - 1));
    }
}

QString ReferenceSetVersion(int standard)
{
    if (standard == kStandardGli2012)
        return "2012";
    if (standard == kStandardGliGlobal2022)
        return "2022";
    // The older sets: one table each, named as the editor lists them.
    return standard >= 0 && standard < kStandardGli2012 ? ReferenceSetLabel(standard) : QString();
}

AgeRange ReferenceSetAges(int standard)
{
    if (GliSetOfStandard(standard))
        return {3, 95};
    return {};
}

int EthnicGroupOfNation(const QString& name)
{
    const QString n = name.trimmed().toLower();
    const auto among = [&](const QStringList& names) { return names.contains(n); };
    if (among({"caucasian", "european", "white", "白种人", "高加索人"}))
        return kEthnicCaucasian;
    if (among({"african descent", "african-american", "african american", "black", "非裔", "黑人"}))
        return kEthnicAfricanAmerican;
    if (among({"chinese", "japanese", "korean", "north-east asian", "north east asian", "中国人", "汉族",
               "日本人", "韩国人", "东北亚人"}))
        return kEthnicNorthEastAsian;
    if (among({"south-east asian", "south east asian", "thai", "vietnamese", "malay", "filipino", "东南亚人"}))
        return kEthnicSouthEastAsian;
    // "Oriental", the Indian subcontinent, Polynesian and "Not defined" are no single group.
    return 0;
}

bool FillGliPredicted(const GliEquations& gli, GliSet set, const GliSubject& subject, ManeuverResult& out)
{
    out = ManeuverResult();
    bool any = false;
    const auto fill = [&](GliParameter parameter, float& field, double scale) {
        const GliPrediction p = gli.Predict(set, parameter, subject);
        if (!p.available)
            return;
        field = float(p.M * scale);
        any = true;
    };
    fill(GliParameter::FEV1, out.FEV1, 1);
    fill(GliParameter::FVC, out.FVC, 1);
    fill(GliParameter::FEV1FVC, out.FEV1_FVC, 100);
    fill(GliParameter::FEF2575, out.FEF2575, 1);
    fill(GliParameter::FEF75, out.FEF75, 1);
    fill(GliParameter::ERV, out.ERV, 1);
    return any;
}
