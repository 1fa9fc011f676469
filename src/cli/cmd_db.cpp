// tavctl db migrate|check|export: moving a workstation's records to a clinic
// server, checking rows against their test data, and writing a stored file to disk.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/accounts/account_store.h"
#include "core/accounts/audit_log.h"
#include "core/app/app_paths.h"
#include "core/app/durable_file.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"
#include "core/records/database_location.h"
#include "core/records/interrupted_saves.h"
#include "core/records/records_transfer.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

int migrate(QStringList& args)
{
    bool given = false;
    const QString to = CliContext::TakeOption(args, "--to", &given);
    if (!given || !IsServerUri(to) || !args.isEmpty())
        return CliContext::Fail("usage: tavctl db migrate --to postgresql://USER@HOST:PORT/DB");
    // The folder's own data.mdb, whatever the settings say; it must exist, as
    // opening a missing one would create it.
    QString target, refused;
    if (!ChooseDatabase(to, QString(), QString(), target, &refused))
        return CliContext::Fail(refused);
    const QString file = AppPaths::DatabaseFile();
    if (!QFileInfo(file).isFile())
        return CliContext::Fail("There is no " + file + " to move.");
    Database source;
    if (!source.Open(file, Database::kPassword))
        return CliContext::Fail("Cannot open " + file + ": " + source.LastError());
    Database server;
    if (!server.Open(target))
        return CliContext::Fail("Cannot open the server database: " + server.LastError());
    TransferReport report;
    bool ok = TransferRecords(source, server, report);
    // The copied trail is kept insert-only on the server as it was in the folder.
    if (ok && AccountStore(server).AccountsOn())
        ok = AuditLog(server).Protect(&report.error);
    QJsonObject rows;
    for (auto it = report.rows.cbegin(); it != report.rows.cend(); ++it)
        rows[it.key()] = it.value();
    QJsonObject json;
    json["ok"] = ok;
    json["rows"] = rows;
    json["files"] = report.files;
    json["bytes"] = report.bytes;
    json["skipped"] = QJsonArray::fromStringList(report.skipped);
    if (!ok)
        json["error"] = report.error;
    PrintJson(json);
    return ok ? 0 : 1;
}

int check(CliContext& context, QStringList& args)
{
    if (!args.isEmpty())
        return CliContext::Fail("usage: tavctl db check");
    if (!context.OpenDatabase())
        return 2;
    // What killed saves left is settled first, as the desktop program does at start.
    InterruptedSaves settled;
    QString settleError;
    const bool settledAll = SettleInterruptedSaves(context.Db(), settled, settleError);
    CaseCheckReport report;
    if (!CheckCaseData(context.Db(), report))
        return CliContext::Fail("Cannot read the test rows: " + context.Db().LastError(), 1);
    QJsonObject json;
    json["rows"] = report.rows;
    json["missing"] = QJsonArray::fromStringList(report.missing);
    json["unreadable"] = QJsonArray::fromStringList(report.unreadable);
    json["orphans"] = QJsonArray::fromStringList(report.orphans);
    json["recovered"] = QJsonArray::fromStringList(settled.recovered);
    if (!settledAll)
        json["settleError"] = settleError;
    const QStringList open = AppPaths::OpenToOthers();
    json["readableByOthers"] = QJsonArray::fromStringList(open);
    const bool clean = settledAll && report.missing.isEmpty() && report.unreadable.isEmpty() &&
                       report.orphans.isEmpty() && open.isEmpty();
    json["ok"] = clean;
    PrintJson(json);
    return clean ? 0 : 1;
}

int exportFile(CliContext& context, QStringList& args)
{
    bool ok = false;
    const int id = CliContext::TakeOption(args, "--patient").toInt(&ok);
    const QString name = CliContext::TakeOption(args, "--name");
    const QString out = CliContext::TakeOption(args, "--out");
    if (!ok || id < 1 || !IsCaseFileName(name) || out.isEmpty() || !args.isEmpty())
        return CliContext::Fail("usage: tavctl db export --patient ID --name N.dt|DAY.dia --out FILE");
    if (!context.OpenDatabase())
        return 2;
    QByteArray bytes;
    if (!context.Db().Files().Read(id, name, bytes))
        return CliContext::Fail(QString("%1/%2 is not stored: %3")
                                    .arg(id)
                                    .arg(name, context.Db().Files().LastError()),
                                1);
    // The one durable write: a full disk keeps the old file, and a link, FIFO or
    // device under the name is refused rather than written through or replaced.
    QString error;
    if (!DurableFile::Write(out, bytes, &error))
        return CliContext::Fail(error, 1);
    return 0;
}

} // namespace

int CmdDb(CliContext& context, QStringList& args)
{
    const QString sub = args.isEmpty() ? QString() : args.takeFirst();
    if (sub == "migrate")
        return migrate(args);
    if (sub == "check")
        return check(context, args);
    if (sub == "export")
        return exportFile(context, args);
    return CliContext::Fail("usage: tavctl db migrate|check|export ...");
}
