#include "clinical_options.h"

#include "cli_context.h"

#include "core/clinical/interpretation.h"

#include <QJsonArray>

#include <cmath>

bool TakeReferenceOptions(QStringList& args, ReferenceOptions& options, QString& error)
{
    bool found = false;
    const QString set = CliContext::TakeOption(args, "--set", &found);
    const auto known = GliSetFromName(set);
    if (!found || !known) {
        error = "--set must be gli2012 or gli-global-2022, not \"" + set + "\"";
        return false;
    }
    options.set = *known;
    const QString sex = CliContext::TakeOption(args, "--sex", &found).toUpper();
    if (!found || (sex != "M" && sex != "F")) {
        error = "--sex must be M or F";
        return false;
    }
    options.subject.male = sex == "M";
    bool ok = false;
    const QString age = CliContext::TakeOption(args, "--age", &found);
    options.subject.ageYears = age.toDouble(&ok);
    if (!found || !ok || !std::isfinite(options.subject.ageYears) || options.subject.ageYears <= 0) {
        error = "--age must be a positive number of years, not \"" + age + "\"";
        return false;
    }
    const QString height = CliContext::TakeOption(args, "--height", &found);
    options.subject.heightCm = height.toDouble(&ok);
    if (!found || !ok || !std::isfinite(options.subject.heightCm) || options.subject.heightCm <= 0) {
        error = "--height must be a positive number of centimetres, not \"" + height + "\"";
        return false;
    }
    const QString ethnic = CliContext::TakeOption(args, "--ethnic", &found);
    if (found) {
        options.subject.ethnic = ethnic.toInt(&ok);
        if (!ok || options.subject.ethnic < 1 || options.subject.ethnic > 5) {
            error = "--ethnic must be 1 to 5, not \"" + ethnic + "\"";
            return false;
        }
    }
    options.json = args.removeAll("--json") > 0;
    return true;
}

bool TakeMeasuredValues(QStringList& args, const QString& option,
                        std::map<GliParameter, double>& values, QString& error)
{
    for (;;) {
        bool found = false;
        const QString item = CliContext::TakeOption(args, option, &found);
        if (!found)
            return true;
        const qsizetype at = item.lastIndexOf('=');
        const QString name = item.left(at).trimmed();
        const auto parameter =
            GliParameterFromName(name == "FEF25-75" || name == "FEF25_75" ? "FEF2575" : name);
        bool ok = false;
        const double value = item.mid(at + 1).toDouble(&ok);
        if (at <= 0 || !parameter) {
            error = option + " takes NAME=VALUE with NAME one of FEV1, FVC, FEV1/FVC, FEF2575, "
                             "FEF75, ERV, not \"" + item + "\"";
            return false;
        }
        if (!ok || !std::isfinite(value) || value <= 0) {
            error = option + " " + name + " needs a positive number, not \"" + item.mid(at + 1) + "\"";
            return false;
        }
        if (*parameter == GliParameter::FEV1FVC && value > 1.0) {
            error = "FEV1/FVC is a fraction (0.80), not a percentage";
            return false;
        }
        values[*parameter] = value;
    }
}

QJsonValue JsonNumber(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonObject BronchodilatorChangeJson(const BronchodilatorChange& change)
{
    QJsonObject json;
    json["litres"] = JsonNumber(change.available ? change.litres : std::nan(""));
    json["percent"] = JsonNumber(change.available ? change.percent : std::nan(""));
    json["percentPredicted"] = JsonNumber(change.available ? change.percentPredicted : std::nan(""));
    json["significant"] = change.significant;
    return json;
}

QJsonObject InterpretationJson(const Interpretation& r)
{
    QJsonObject json;
    const auto value = [](const InterpretedValue& v) {
        QJsonObject member;
        member["value"] = JsonNumber(v.value > 0 ? v.value : std::nan(""));
        member["pred"] = JsonNumber(v.available ? v.pred : std::nan(""));
        member["lln"] = JsonNumber(v.available ? v.lln : std::nan(""));
        member["z"] = JsonNumber(v.available ? v.z : std::nan(""));
        member["pct"] = JsonNumber(v.available ? v.percentPredicted : std::nan(""));
        member["severity"] = v.available ? QJsonValue(SeverityName(v.severity)) : QJsonValue();
        return member;
    };
    json["FEV1"] = value(r.fev1);
    json["FVC"] = value(r.fvc);
    json["FEV1/FVC"] = value(r.ratio);
    json["available"] = r.available;
    json["obstruction"] = r.obstruction;
    json["prism"] = r.prism;
    json["pattern"] = r.available ? PatternName(r.pattern) : QString();
    json["patternText"] = r.available ? PatternText(r.pattern) : r.unavailableReason;
    json["severity"] = r.available ? QJsonValue(SeverityName(r.severity)) : QJsonValue();
    if (r.bdr) {
        QJsonObject bdr;
        bdr["FEV1"] = BronchodilatorChangeJson(r.bdr->fev1);
        bdr["FVC"] = BronchodilatorChangeJson(r.bdr->fvc);
        bdr["significant"] = r.bdr->significant();
        json["bdr"] = bdr;
    } else {
        json["bdr"] = QJsonValue();
    }
    json["rules"] = QJsonArray::fromStringList(r.rules);
    return json;
}
