#include "device_json.h"

#include "core/measure/maneuver_fields.h"

#include <QString>

QJsonObject ManeuverJson(const ManeuverResult& record)
{
    QJsonObject json;
    const auto& fields = ManeuverFields();
    for (int i = 0; i < int(fields.size()); ++i) {
        const double value = ManeuverFieldValue(record, i);
        if (fields[i].isInteger)
            json[fields[i].name] = qint64(value);
        else // the float's own shortest digits, not its double expansion
            json[fields[i].name] = QString::number(float(value), 'g', 7).toDouble();
    }
    return json;
}

QJsonArray AcceptanceJson(const AcceptanceFlags& flags)
{
    QJsonArray array;
    for (int flag : flags.flag)
        array.append(flag);
    return array;
}

QJsonObject TruthJson(const ProfileTruth& truth)
{
    QJsonObject json;
    json["FVC"] = truth.fvc;
    json["FEV1"] = truth.fev1;
    json["PEF"] = truth.pef;
    json["FIVC"] = truth.fivc;
    json["EVOL"] = truth.evol * 1000.0;
    json["TV"] = truth.tv;
    json["ERV"] = truth.erv;
    json["IRV"] = truth.irv;
    json["IC"] = truth.ic;
    json["VC"] = truth.vc;
    json["MVV"] = truth.mvv;
    return json;
}

int ParseTestType(const QString& name)
{
    if (name == "fvc")
        return kTestFvc;
    if (name == "vc")
        return kTestVc;
    if (name == "mvv")
        return kTestMvv;
    return -1;
}
