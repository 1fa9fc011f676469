// tavctl reference: GLI predicted values, LLN, ULN and z-scores for one person.
#include "cli_context.h"
#include "clinical_options.h"
#include "commands.h"
#include "json_out.h"

#include <QJsonObject>
#include <QTextStream>

#include <cmath>

int CmdReference(CliContext&, QStringList& args)
{
    ReferenceOptions options;
    std::map<GliParameter, double> measured;
    QString error;
    if (!TakeReferenceOptions(args, options, error) || !TakeMeasuredValues(args, "--measured", measured, error))
        return CliContext::Fail(error);
    if (!args.isEmpty())
        return CliContext::Fail("unexpected arguments: " + args.join(' '));
    GliEquations gli;
    if (!gli.LoadBuiltIn(&error))
        return CliContext::Fail("the GLI tables cannot be read: " + error, 1);
    for (const auto& [parameter, value] : measured)
        if (!gli.Has(options.set, parameter))
            return CliContext::Fail(GliSetName(options.set) + " has no equation for " +
                                    GliParameterName(parameter));

    QJsonObject json;
    QString text;
    for (GliParameter parameter : GliParameters()) {
        if (!gli.Has(options.set, parameter))
            continue;
        const GliPrediction p = gli.Predict(options.set, parameter, options.subject);
        QJsonObject member;
        const double nothing = std::nan("");
        member["pred"] = JsonNumber(p.available ? p.M : nothing);
        member["lln"] = JsonNumber(p.available ? p.lln : nothing);
        member["uln"] = JsonNumber(p.available ? p.uln : nothing);
        member["L"] = JsonNumber(p.available ? p.L : nothing);
        member["M"] = JsonNumber(p.available ? p.M : nothing);
        member["S"] = JsonNumber(p.available ? p.S : nothing);
        member["outOfRange"] = p.outOfRange;
        const auto value = measured.find(parameter);
        if (value != measured.end()) {
            member["measured"] = value->second;
            member["z"] = JsonNumber(p.zScore(value->second));
            member["pct"] = JsonNumber(p.percentPredicted(value->second));
        }
        json[GliParameterName(parameter)] = member;
        text += QString("%1  pred %2  LLN %3  ULN %4%5\n")
                    .arg(GliParameterName(parameter), -9)
                    .arg(p.available ? QString::number(p.M, 'f', 3) : "-")
                    .arg(p.available ? QString::number(p.lln, 'f', 3) : "-")
                    .arg(p.available ? QString::number(p.uln, 'f', 3) : "-")
                    .arg(p.outOfRange ? "  (outside the equation's range)" : "");
    }
    if (options.json)
        PrintJson(json);
    else
        CliContext::Print(text);
    return 0;
}
