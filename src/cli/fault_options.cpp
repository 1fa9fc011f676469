#include "fault_options.h"

#include "cli_context.h"

const char kFaultUsage[] =
    "[--fault drop:N|drop-end|lost:N|noise:P|pause:MS[@N]|split:N]... [--seed S]";

namespace {

bool parseFault(const QString& kind, SimFaults& faults)
{
    const QString name = kind.section(':', 0, 0);
    const QString value = kind.section(':', 1);
    bool ok = kind.count(':') <= 1;
    if (name == "drop-end" && value.isEmpty() && !kind.contains(':')) {
        faults.dropEnd = true;
        return true;
    }
    if (name == "drop" || name == "lost") {
        const int pulse = value.toInt(&ok);
        if (!ok || pulse < 1)
            return false;
        (name == "drop" ? faults.dropPulse : faults.lostPulse) = pulse;
        return true;
    }
    if (name == "noise") {
        const double p = value.toDouble(&ok);
        if (!ok || !(p >= 0.0 && p <= 1.0))
            return false;
        faults.noise = p;
        return true;
    }
    if (name == "pause") {
        // pause:MS before every blow, pause:MS@N before blow N only.
        const int ms = value.section('@', 0, 0).toInt(&ok);
        if (!ok || ms < 0 || ms > 600000 || value.count('@') > 1)
            return false;
        int blow = 0;
        if (value.contains('@')) {
            blow = value.section('@', 1).toInt(&ok);
            if (!ok || blow < 1 || blow > 100)
                return false;
        }
        faults.pauseMs = ms;
        faults.pauseBlow = blow;
        return true;
    }
    if (name == "split") {
        const int bytes = value.toInt(&ok);
        if (!ok || bytes < 1 || bytes > 64)
            return false;
        faults.splitBytes = bytes;
        return true;
    }
    return false;
}

} // namespace

bool TakeFaultOptions(QStringList& args, SimFaults& faults, bool& any, QString& error)
{
    any = false;
    for (bool found = true; found;) {
        const QString kind = CliContext::TakeOption(args, "--fault", &found);
        if (!found)
            break;
        if (!parseFault(kind, faults)) {
            error = "unknown --fault " + kind;
            return false;
        }
        any = true;
    }
    bool hasSeed = false, ok = false;
    const QString seedText = CliContext::TakeOption(args, "--seed", &hasSeed);
    const uint seed = seedText.toUInt(&ok);
    if (hasSeed && !ok) {
        error = "--seed must be a whole number";
        return false;
    }
    faults.seed = hasSeed ? seed : 1;
    return true;
}

bool TakeDriftOption(QStringList& args, double& drift, bool& given, QString& error)
{
    bool ok = false;
    const QString text = CliContext::TakeOption(args, "--drift", &given);
    drift = given ? text.toDouble(&ok) : 0.0;
    if (given && (!ok || !(drift > -50.0 && drift < 50.0))) {
        error = "--drift takes a percent between -50 and 50";
        return false;
    }
    return true;
}
