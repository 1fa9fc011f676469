// tavctl export / import / gdt: exchange with other systems (FHIR R4, CSV, GDT).
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/app/app_paths.h"
#include "core/app/regular_file.h"
#include "core/app/system_settings.h"
#include "core/exchange/csv_export.h"
#include "core/exchange/csv_patient_import.h"
#include "core/exchange/day_export.h"
#include "core/exchange/exchange_settings.h"
#include "core/exchange/gdt_exchange.h"
#include "core/records/database.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace {

bool patientOption(QStringList& args, int& patientId)
{
    bool found = false;
    const QString text = CliContext::TakeOption(args, "--patient", &found);
    bool ok = false;
    patientId = text.toInt(&ok);
    if (!found || !ok || patientId < 1) {
        CliContext::Fail("--patient takes a patient ID: " + text);
        return false;
    }
    return true;
}

bool dateOption(QStringList& args, const QString& name, QDate& date)
{
    bool found = false;
    const QString text = CliContext::TakeOption(args, name, &found);
    if (!found)
        return true;
    date = QDate::fromString(text, "yyyy-MM-dd");
    if (!date.isValid()) {
        CliContext::Fail(name + " takes a date YYYY-MM-DD: " + text);
        return false;
    }
    return true;
}

QString testTypeName(int type)
{
    return type == kTestVc ? "vc" : type == kTestMvv ? "mvv" : type == kTestFvc ? "fvc" : QString();
}

int exportFhir(Database& db, QStringList& args)
{
    int patientId = 0;
    if (!patientOption(args, patientId))
        return 2;
    const QString day = CliContext::TakeOption(args, "--day");
    const QString out = CliContext::TakeOption(args, "--out");
    if (!args.isEmpty() || day.isEmpty() || out.isEmpty())
        return CliContext::Fail("usage: tavctl export fhir --patient ID --day YYYY-MM-DD --out FILE.json");
    DayExportSummary summary;
    QString error;
    if (!ExportDayFhir(db, patientId, day, out, Settings().simulator.load() != 0, &summary, &error))
        return CliContext::Fail(error);
    QJsonObject json;
    json["out"] = summary.file;
    json["bundle"] = summary.bundle;
    json["resources"] = summary.resources;
    json["observations"] = summary.values;
    PrintJson(json);
    return 0;
}

int exportCsv(Database& db, QStringList& args)
{
    QDate from, to;
    if (!dateOption(args, "--from", from) || !dateOption(args, "--to", to))
        return 2;
    const QString out = CliContext::TakeOption(args, "--out");
    if (!args.isEmpty() || out.isEmpty())
        return CliContext::Fail("usage: tavctl export csv --out FILE.csv [--from YYYY-MM-DD] [--to YYYY-MM-DD]");
    CsvExportResult result;
    QString error;
    if (!ExportTestsCsv(db, from, to, out, result, &error))
        return CliContext::Fail(error);
    QJsonObject json;
    json["out"] = QFileInfo(out).absoluteFilePath();
    json["rows"] = result.rows;
    json["skipped"] = result.skipped;
    PrintJson(json);
    return 0;
}

QJsonObject importJson(const GdtImport& result)
{
    QJsonObject json;
    json["patient"] = result.patientId;
    json["created"] = result.created;
    if (result.testType >= 0)
        json["test"] = testTypeName(result.testType);
    return json;
}

int gdtExport(Database& db, QStringList& args)
{
    int patientId = 0;
    if (!patientOption(args, patientId))
        return 2;
    const bool noPdf = args.removeAll("--no-pdf") > 0;
    const QString day = CliContext::TakeOption(args, "--day");
    const QString out = CliContext::TakeOption(args, "--out");
    if (!args.isEmpty() || day.isEmpty())
        return CliContext::Fail("usage: tavctl gdt export --patient ID --day YYYY-MM-DD [--out FILE] [--no-pdf]");
    DayExportSummary summary;
    QString error;
    const ExchangeSettings settings = ExchangeSettings::Load(AppPaths::SettingsFile());
    if (!ExportDayGdt(db, patientId, day, settings, out, !noPdf, &summary, &error))
        return CliContext::Fail(error);
    QJsonObject json;
    json["out"] = summary.file;
    if (!summary.pdf.isEmpty())
        json["pdf"] = summary.pdf;
    json["values"] = summary.values;
    PrintJson(json);
    return 0;
}

} // namespace

int CmdExport(CliContext& context, QStringList& args)
{
    const QString kind = args.isEmpty() ? QString() : args.takeFirst();
    if (kind != "fhir" && kind != "csv")
        return CliContext::Fail("usage: tavctl export fhir|csv ...");
    if (!context.SignIn(args, Action::Export))
        return 2;
    Database& db = context.Db();
    const int code = kind == "fhir" ? exportFhir(db, args) : exportCsv(db, args);
    return code == 0 && !context.Audit("export", 0, kind) ? 1 : code;
}

int CmdImport(CliContext& context, QStringList& args)
{
    const QString kind = args.isEmpty() ? QString() : args.takeFirst();
    const QString file = CliContext::TakeOption(args, "--patients");
    context.TakeUser(args);
    if (kind != "csv" || file.isEmpty() || !args.isEmpty())
        return CliContext::Fail("usage: tavctl import csv --patients FILE.csv");
    // The file is read whole first: a FIFO, a device or a missing file is
    // answered without the database being opened.
    QByteArray bytes;
    QString error;
    if (RegularFile::Read(file, kMaxPatientCsvSize, bytes, &error) != RegularFile::Status::Read)
        return CliContext::Fail(error);
    if (!context.SignIn(args, Action::Import))
        return 2;
    CsvImportReport report;
    QElapsedTimer sinceShown;
    sinceShown.start();
    const auto progress = [&](int done, int total) {
        // Every 1000 rows or every second, whichever comes first, on stderr.
        if (total < 1000 || done == 0 ||
            (done % 1000 != 0 && done != total && sinceShown.elapsed() < 1000))
            return;
        sinceShown.restart();
        QTextStream(stderr) << QString("tavctl: %1 of %2 rows\n").arg(done).arg(total);
    };
    if (!ImportPatientsCsv(context.Db(), bytes, report, &error, progress))
        return CliContext::Fail(file + ": " + error);
    QJsonArray taken, refused;
    for (const CsvImportRow& row : report.taken)
        taken.append(QJsonObject{{"line", row.line}, {"patient_number", row.patientNumber}, {"patient", row.patientId}});
    for (const CsvImportRow& row : report.refused)
        refused.append(QJsonObject{{"line", row.line}, {"patient_number", row.patientNumber}, {"reason", row.reason}});
    if (!context.Audit("import", 0, "csv " + QFileInfo(file).fileName(), QString(),
                       QString("%1 patients").arg(report.taken.size())))
        return 1;
    PrintJson(QJsonObject{{"taken", taken}, {"refused", refused}, {"repeated", report.repeated}});
    return 0;
}

int CmdGdt(CliContext& context, QStringList& args)
{
    const QString verb = args.isEmpty() ? QString() : args.takeFirst();
    if (verb != "import" && verb != "export" && verb != "inbox")
        return CliContext::Fail("usage: tavctl gdt import FILE | gdt export --patient ID --day YYYY-MM-DD --out FILE | gdt inbox");
    if (!context.SignIn(args, verb == "export" ? Action::Export : Action::Import))
        return 2;
    Database& db = context.Db();
    if (verb == "export") {
        const int code = gdtExport(db, args);
        return code == 0 && !context.Audit("export", 0, "gdt") ? 1 : code;
    }
    GdtImport result;
    QString error;
    if (verb == "inbox") {
        if (!args.isEmpty())
            return CliContext::Fail("usage: tavctl gdt inbox");
        const ExchangeSettings settings = ExchangeSettings::Load(AppPaths::SettingsFile());
        switch (TakeGdtRequest(db, settings, result, &error)) {
        case GdtInboxResult::Empty:
            PrintJson(QJsonObject{{"request", false}});
            return 0;
        case GdtInboxResult::Refused:
            return CliContext::Fail(error);
        case GdtInboxResult::Waiting:
            return CliContext::Fail(error, 1);
        case GdtInboxResult::Taken:
            break;
        }
        if (!context.Audit("import", result.patientId, "gdt inbox"))
            return 1;
        QJsonObject json = importJson(result);
        if (!error.isEmpty())
            json["warning"] = error;
        PrintJson(json);
        return 0;
    }
    if (args.size() != 1)
        return CliContext::Fail("usage: tavctl gdt import FILE");
    switch (ImportGdtFile(db, args.front(), result, &error)) {
    case GdtStore::Stored:
        break;
    case GdtStore::Refused:
    case GdtStore::Conflict:
        return CliContext::Fail(args.front() + ": " + error);
    case GdtStore::Failed: // a passing fault: the same file may be imported again later
        return CliContext::Fail(args.front() + ": " + error, 1);
    }
    if (!context.Audit("import", result.patientId, "gdt " + QFileInfo(args.front()).fileName()))
        return 1;
    PrintJson(importJson(result));
    return 0;
}
