// tavctl interpret: the suggested interpretation of given values.
#include "cli_context.h"
#include "clinical_options.h"
#include "commands.h"
#include "json_out.h"

#include "core/clinical/interpretation.h"

int CmdInterpret(CliContext&, QStringList& args)
{
    ReferenceOptions options;
    std::map<GliParameter, double> measured, post;
    QString error;
    if (!TakeReferenceOptions(args, options, error) || !TakeMeasuredValues(args, "--measured", measured, error) ||
        !TakeMeasuredValues(args, "--post", post, error))
        return CliContext::Fail(error);
    if (!args.isEmpty())
        return CliContext::Fail("unexpected arguments: " + args.join(' '));
    for (const auto* values : {&measured, &post})
        for (const auto& [parameter, value] : *values)
            if (parameter != GliParameter::FEV1 && parameter != GliParameter::FVC)
                return CliContext::Fail("interpret takes FEV1 and FVC (FEV1/FVC is computed from them), not " +
                                        GliParameterName(parameter));
    if (!measured.count(GliParameter::FEV1) || !measured.count(GliParameter::FVC))
        return CliContext::Fail("--measured FEV1=.. and --measured FVC=.. are both required");
    if (!post.empty() && (!post.count(GliParameter::FEV1) || !post.count(GliParameter::FVC)))
        return CliContext::Fail("--post needs both FEV1=.. and FVC=..");
    GliEquations gli;
    if (!gli.LoadBuiltIn(&error))
        return CliContext::Fail("the GLI tables cannot be read: " + error, 1);

    const SpirometryValues pre{measured[GliParameter::FEV1], measured[GliParameter::FVC]};
    std::optional<SpirometryValues> after;
    if (!post.empty())
        after = SpirometryValues{post[GliParameter::FEV1], post[GliParameter::FVC]};
    const Interpretation r = Interpret(gli, options.set, options.subject, pre, after);
    if (options.json) {
        PrintJson(InterpretationJson(r));
    } else {
        CliContext::Print((r.available ? PatternText(r.pattern) : r.unavailableReason) + '\n' +
                          r.rules.join('\n'));
    }
    return 0;
}
