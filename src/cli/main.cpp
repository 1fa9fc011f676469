// tavctl: the program's core from the shell, without a window.
#include "cli_context.h"
#include "commands.h"

#include "core/app/program_version.h"
#include "core/device/device_manager.h"
#include "core/device/real_link_factories.h"
#include "core/session/measurement_parts.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

namespace {

struct Command {
    std::function<int(CliContext&, QStringList&)> run;
    const char* usage;
};

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table = {
        {"analyze", {CmdAnalyze, "analyze FILE.dt | --patient ID N.dt   a test file as JSON"}},
        {"demo-seed", {CmdDemoSeed, "demo-seed                a few demo patients in an empty program folder"}},
        {"devsim", {CmdDevsim, "devsim --pty [--profile P]  the virtual spirometer on a pseudo-terminal"}},
        {"settings", {CmdSettings, "settings                 the settings record as JSON"}},
        {"text", {CmdText, "text SECTION ID          a text of the language tables"}},
        {"patient", {CmdPatient, "patient add|list|show    the patient register"}},
        {"predicted", {CmdPredicted, "predicted --patient ID   predicted values as JSON"}},
        {"report", {CmdReport, "report --patient ID --day YYYY-MM-DD --out FILE.pdf [--version N]   the day's report as PDF\n"
                               "  (a signed day: the report as signed, version N or the newest)\n"
                               "  report --patient ID --trend fvc|fev1|pef|fef25|fef75|fef2575 [--type fvc|vc|mvv] --out FILE.pdf"}},
        {"test", {CmdTest, "test --patient ID --type fvc|vc|mvv [--profile P]  one live test"}},
        {"replay", {CmdReplay, "replay --protocol P --type T ... < STREAM  a device stream parsed"}},
        {"calibrate", {CmdCalibrate, "calibrate --volume 2|3 [--drift P]   calibrates the device (coefficient before/after)\n"
                                     "  calibrate --verify --volume 2|3 --flows low,mid,high [--drift P] --json   checks it with syringe strokes"}},
        {"calibration", {CmdCalibrationLog, "calibration log --json  the checks and calibrations, newest first"}},
        {"db", {CmdDb, "db migrate --to CONNECTION   copies this folder's records to an empty server database\n"
                       "  db check                 every test row against its stored test data\n"
                       "  db export --patient ID --name N.dt --out FILE   a stored file written to disk"}},
        {"interpret", {CmdInterpret, "interpret --set S --sex M|F --age Y --height CM [--ethnic 1-5] --measured FEV1=.. --measured FVC=..\n"
                                     "  [--post FEV1=.. --post FVC=..] [--json]   the suggested interpretation"}},
        {"session", {CmdSessionCommands, "session --patient ID --day YYYY-MM-DD [--against SET] --json   the day's sessions, grades and\n"
                                         "  interpretation; --against: beside it, the same day recomputed against another set\n"
                                         "  session relabel --patient ID --day YYYY-MM-DD --session N --phase pre|post [--by NAME]\n"
                                         "  session edit --patient ID --day YYYY-MM-DD --session N [--drug ..] [--dose ..] [--dose-time HH:MM] [--referrer ..]"}},
        {"reference", {CmdReference, "reference --set gli2012|gli-global-2022 --sex M|F --age YEARS --height CM\n"
                                     "  [--ethnic 1-5] [--measured NAME=VALUE ...] [--json]   GLI predicted, LLN, z-scores"}},
        {"export", {CmdExport, "export fhir --patient ID --day YYYY-MM-DD --out FILE.json   the day as a FHIR R4 Bundle\n"
                               "  export csv --out FILE.csv [--from YYYY-MM-DD] [--to YYYY-MM-DD]   every test as one table"}},
        {"import", {CmdImport, "import csv --patients FILE.csv   patients from a table, with a report"}},
        {"user", {CmdUser, "user add --name N --role technician|physician|admin | user reset --name N | user list\n"
                           "  accounts; the new password from TAV_NEW_PASSWORD or the terminal"}},
        {"audit", {CmdAudit, "audit verify | audit list [--patient ID] [--user U] [--since YYYY-MM-DD] --json   the audit trail"}},
        {"sign", {CmdSign, "sign --patient ID --day YYYY-MM-DD   a physician signs the day (its report is frozen)"}},
        {"amend", {CmdAmend, "amend --patient ID --day YYYY-MM-DD --reason TEXT   opens an amendment of a signed day"}},
        {"grade", {CmdGrade, "grade --patient ID --day YYYY-MM-DD --session S --maneuver M --acceptable yes|no\n"
                             "  [--grade A-F --phase fvc|vc|mvv] --reason TEXT [--json]   a physician overrides a blow's verdict"}},
        {"diagnosis", {CmdDiagnosis, "diagnosis show|set --patient ID --day YYYY-MM-DD [--text TEXT | --file F]   the day's diagnosis"}},
        {"gdt", {CmdGdt, "gdt import FILE | gdt export --patient ID --day YYYY-MM-DD [--out FILE] [--no-pdf] | gdt inbox"}},
        {"hl7", {CmdHl7, "hl7 export|send --patient ID --day YYYY-MM-DD (--out FILE | [--to HOST:PORT])   the day as HL7 v2 ORU^R01"}},
        {"dicom", {CmdDicom, "dicom export|send --patient ID --day YYYY-MM-DD (--out FILE.dcm | [--to AE@HOST:PORT])   the report as\n"
                             "  DICOM Encapsulated PDF; dicom echo [--to AE@HOST:PORT]"}},
        {"worklist", {CmdWorklist, "worklist [--server AE@HOST:PORT] [--calling-ae AE] [--date YYYY-MM-DD] --json   the day's orders\n"
                                   "  worklist take [--server AE@HOST:PORT] --accession A   the order's patient selected or created"}},
        {"outbox", {CmdOutbox, "outbox [list] --json | outbox retry   hospital sends not yet confirmed"}},
    };
    return table;
}

void printUsage(FILE* stream)
{
    QTextStream out(stream);
    out << "usage: tavctl [--home DIR] [--database CONNECTION] [--user NAME] COMMAND ...\n"
           "       (with accounts on, commands that change records need --user; password: TAV_PASSWORD)\n"
           "       tavctl --help | --version\n"
           "commands:\n";
    for (const auto& [name, command] : commands())
        out << "  " << command.usage << '\n';
}

int usage()
{
    printUsage(stderr);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    // Reports paint text, which needs the font system of a GUI application
    // (the offscreen platform when there is no display); the other commands
    // make do with the core one.
    bool paints = false;
    for (int i = 1; i < argc; ++i)
        paints = paints || std::strcmp(argv[i], "report") == 0 || std::strcmp(argv[i], "fhir") == 0 ||
                 std::strcmp(argv[i], "sign") == 0 ||
                 (std::strcmp(argv[i], "export") == 0 && i + 1 < argc && std::strcmp(argv[i + 1], "csv") != 0) ||
                 std::strcmp(argv[i], "gdt") == 0 || std::strcmp(argv[i], "hl7") == 0 ||
                 std::strcmp(argv[i], "dicom") == 0;
    if (paints && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app =
        paints ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = app->arguments().mid(1);
    // Asked for on their own, these touch no folder.
    if (args == QStringList{"--help"} || args == QStringList{"-h"}) {
        printUsage(stdout);
        return 0;
    }
    if (args == QStringList{"--version"}) {
        QTextStream(stdout) << "tavctl " << ProgramVersion() << '\n';
        return 0;
    }
    CliContext context(args);
    if (!context.FolderError().isEmpty())
        return CliContext::Fail(context.FolderError());
    // The wired and Bluetooth links for commands that reach a device.
    RegisterRealLinks(context.Parts().devices);
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
