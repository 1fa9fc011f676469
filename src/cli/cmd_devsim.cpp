// tavctl devsim: the virtual spirometer on a pseudo-terminal, so that the
// real serial-port code (the desktop program or `tavctl test`) can talk to it.
#include "cli_context.h"
#include "commands.h"
#include "fault_options.h"
#include "json_out.h"

#include "core/device/pty_server.h"

#include <QJsonObject>

#include <atomic>
#include <csignal>

namespace {

std::atomic<int> g_stop{0};

void requestStop(int)
{
    g_stop = 1;
}

} // namespace

int CmdDevsim(CliContext&, QStringList& args)
{
    const int pty = args.removeAll("--pty");
    const bool realTime = args.removeAll("--realtime") > 0;
    bool given = false;
    const QString profileText = CliContext::TakeOption(args, "--profile", &given);
    bool ok = true;
    const int profile = given ? profileText.toInt(&ok) : 1;
    const int base = profile > 10 ? profile - 10 : profile;
    if (!ok || base < 1 || base > 10)
        return CliContext::Fail("--profile takes 1..10 (or 11..20)");
    QString protocol = CliContext::TakeOption(args, "--protocol", &given);
    if (!given)
        protocol = "ascii"; // what a serial port speaks
    if (protocol != "ascii" && protocol != "checksum")
        return CliContext::Fail("--protocol takes ascii or checksum");
    const QString type = CliContext::TakeOption(args, "--type", &given);
    SimTest test = SimTest::Fvc;
    if (type == "vc")
        test = SimTest::Vc;
    else if (type == "mvv")
        test = SimTest::Mvv;
    else if (given && type != "fvc")
        return CliContext::Fail("--type takes fvc, vc or mvv");
    const QString usage = QString("usage: tavctl devsim --pty [--profile P] "
                                  "[--protocol ascii|checksum] [--type fvc|vc|mvv] [--realtime] [--drift P]\n"
                                  "                    ") +
                          kFaultUsage;
    SimFaults faults;
    bool anyFault = false;
    QString faultError;
    if (!TakeFaultOptions(args, faults, anyFault, faultError))
        return CliContext::Fail(faultError + "\n" + usage);
    double drift = 0;
    bool hasDrift = false;
    if (!TakeDriftOption(args, drift, hasDrift, faultError))
        return CliContext::Fail(faultError + "\n" + usage);
    if (!pty || !args.isEmpty())
        return CliContext::Fail(usage);

    SimConfig config = SimConfig::ForSetting(profile, test);
    config.protocol = protocol == "ascii" ? SimProtocol::Ascii : SimProtocol::Checksum;
    config.realTime = realTime;
    config.faults = faults;
    config.drift = drift;
    PtyServer server(config);
    if (!server.Create())
        return CliContext::Fail("no pseudo-terminal available", 1);

    QJsonObject json;
    json["pty"] = server.SlaveName();
    json["profile"] = profile;
    json["protocol"] = protocol;
    json["type"] = type.isEmpty() ? QString("fvc") : type;
    PrintJson(json);
    fflush(stdout);

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    server.Serve(g_stop);
    return 0;
}
