// tavctl: the program's core from the shell, without a window.
#include "cli_context.h"
#include "commands.h"

#include "device/device_manager.h"
#include "device/real_link_factories.h"

#include <QCoreApplication>
#include <QTextStream>

#include <functional>
#include <map>

namespace {

struct Command {
    std::function<int(CliContext&, QStringList&)> run;
    const char* usage;
};

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table = {
        {"analyze", {CmdAnalyze, "analyze FILE.dt          a test file as JSON"}},
        {"devsim", {CmdDevsim, "devsim --pty [--profile P]  the virtual spirometer on a pseudo-terminal"}},
        {"settings", {CmdSettings, "settings                 the settings record as JSON"}},
        {"text", {CmdText, "text SECTION ID          a text of the language tables"}},
        {"patient", {CmdPatient, "patient add|list|show    the patient register"}},
        {"predicted", {CmdPredicted, "predicted --patient ID   predicted values as JSON"}},
        {"test", {CmdTest, "test --patient ID --type fvc|vc|mvv [--profile P]  one live test"}},
        {"replay", {CmdReplay, "replay --protocol P --type T ... < STREAM  a device stream parsed"}},
        {"calibrate", {CmdCalibrate, "calibrate --volume 2|3   calibrates the device"}},
    };
    return table;
}

int usage()
{
    QTextStream err(stderr);
    err << "usage: tavctl [--home DIR] COMMAND ...\ncommands:\n";
    for (const auto& [name, command] : commands())
        err << "  " << command.usage << '\n';
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    CliContext context(args);
    // The wired and Bluetooth links for commands that reach a device.
    RegisterRealLinks(DeviceManager::Instance());
    if (args.isEmpty())
        return usage();
    const QString name = args.takeFirst();
    const auto it = commands().find(name);
    if (it == commands().end()) {
        CliContext::Fail("unknown command: " + name);
        return usage();
    }
    return it->second.run(context, args);
}
