// tavctl hl7 / dicom / worklist / outbox: the hospital links. Results leave as
// HL7 v2 ORU^R01 (MLLP) and DICOM Encapsulated PDF (C-STORE); orders arrive
// from the Modality Worklist; what the hospital did not confirm waits in the outbox.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/app/app_paths.h"
#include "core/hospital/day_delivery.h"
#include "core/hospital/dicom_store.h"
#include "core/hospital/order_taking.h"
#include "core/records/database.h"

#include <QFileInfo>
#include <QJsonArray>

namespace {

struct DayOptions {
    int patientId = 0;
    QString day;
    QString accession;
};

bool dayOptions(QStringList& args, DayOptions& o)
{
    bool ok = false;
    o.patientId = CliContext::TakeOption(args, "--patient").toInt(&ok);
    o.day = CliContext::TakeOption(args, "--day");
    o.accession = CliContext::TakeOption(args, "--accession");
    return ok && o.patientId > 0 && !o.day.isEmpty();
}

// --timeout S and --calling-ae AE over the settings.
bool linkOptions(QStringList& args, HospitalSettings& settings)
{
    bool found = false;
    const QString timeout = CliContext::TakeOption(args, "--timeout", &found);
    if (found) {
        bool ok = false;
        settings.timeoutSeconds = timeout.toInt(&ok);
        if (!ok || settings.timeoutSeconds < 1) {
            CliContext::Fail("--timeout takes seconds: " + timeout);
            return false;
        }
    }
    const QString calling = CliContext::TakeOption(args, "--calling-ae", &found);
    if (found)
        settings.callingAe = calling;
    return true;
}

QJsonObject outcomeJson(const SendOutcome& o)
{
    QJsonObject json{{"sent", o.sent}};
    if (!o.answer.isEmpty())
        json["answer"] = o.answer;
    if (!o.reason.isEmpty())
        json["reason"] = o.reason;
    return json;
}

int dayCommand(CliContext& context, DeliveryKind kind, QStringList& args)
{
    const bool dicom = kind == DeliveryKind::Dicom;
    const QString name = dicom ? "dicom" : "hl7";
    const QString usage =
        dicom ? "usage: tavctl dicom export|send --patient ID --day YYYY-MM-DD [--accession A] "
                "(--out FILE.dcm | [--to AE@HOST:PORT] [--calling-ae AE] [--timeout S])"
              : "usage: tavctl hl7 export|send --patient ID --day YYYY-MM-DD [--accession A] "
                "(--out FILE | [--to HOST:PORT] [--timeout S])";
    const QString verb = args.isEmpty() ? QString() : args.takeFirst();
    HospitalSettings settings = HospitalSettings::Load(AppPaths::SettingsFile());
    DayOptions day;
    if ((verb != "export" && verb != "send") || !dayOptions(args, day) ||
        !linkOptions(args, settings))
        return CliContext::Fail(usage);
    const QString out = CliContext::TakeOption(args, "--out");
    bool toGiven = false;
    QString to = CliContext::TakeOption(args, "--to", &toGiven);
    if (!toGiven)
        to = dicom ? settings.pacs : settings.hl7;
    if (!args.isEmpty() || (verb == "export" && out.isEmpty()) ||
        (verb == "send" && !out.isEmpty()))
        return CliContext::Fail(usage);
    if (verb == "send" && to.isEmpty())
        return CliContext::Fail(QString("no receiver: give --to or set %1 in section HOSPITAL")
                                    .arg(dicom ? "PACS" : "HL7"));
    if (!context.OpenDatabase())
        return 2;
    QString error;
    if (verb == "export") {
        if (!ExportDay(context.Db(), kind, day.patientId, day.day, settings, out, day.accession,
                       &error))
            return CliContext::Fail(error);
        PrintJson(QJsonObject{{"out", QFileInfo(out).absoluteFilePath()}});
        return 0;
    }
    DayDelivery delivery;
    if (!SendDay(context.Db(), kind, day.patientId, day.day, settings, to,
                 Outbox::InProgramFolder(), delivery, day.accession, &error))
        return CliContext::Fail(error);
    QJsonObject json = outcomeJson(delivery.outcome);
    json["to"] = to;
    if (!delivery.accession.isEmpty())
        json["accession"] = delivery.accession;
    if (!delivery.queued.isEmpty())
        json["outbox"] = delivery.queued;
    PrintJson(json);
    if (delivery.outcome.sent)
        return 0;
    return CliContext::Fail(
        name + " not sent: " + delivery.outcome.reason +
            (delivery.queued.isEmpty() ? QString() : "; kept in the outbox as " + delivery.queued),
        1);
}

QJsonObject orderJson(const WorklistOrder& o)
{
    return QJsonObject{
        {"patientId", o.patientNumber},
        {"name", GdtPatientName(o.surname, o.firstName)},
        {"birthDate", o.birthDate.isValid() ? o.birthDate.toString("yyyy-MM-dd") : QString()},
        {"sex", o.sex == 1   ? "F"
                : o.sex == 0 ? "M"
                             : ""},
        {"height", o.height},
        {"weight", o.weight},
        {"accession", o.accession},
        {"procedure", o.procedure},
        {"station", o.stationAe},
        {"date", o.scheduledDate},
        {"time", o.scheduledTime},
        {"modality", o.modality}};
}

} // namespace

int CmdHl7(CliContext& context, QStringList& args)
{
    return dayCommand(context, DeliveryKind::Hl7, args);
}

int CmdDicom(CliContext& context, QStringList& args)
{
    if (args.value(0) != "echo")
        return dayCommand(context, DeliveryKind::Dicom, args);
    args.removeFirst();
    HospitalSettings settings = HospitalSettings::Load(AppPaths::SettingsFile());
    bool found = false;
    QString to = CliContext::TakeOption(args, "--to", &found);
    if (!found)
        to = settings.pacs;
    NetworkPeer peer;
    QString error;
    if (!linkOptions(args, settings) || !args.isEmpty())
        return CliContext::Fail(
            "usage: tavctl dicom echo [--to AE@HOST:PORT] [--calling-ae AE] [--timeout S]");
    if (!NetworkPeer::Parse(to, true, peer, &error))
        return CliContext::Fail(error);
    const SendOutcome o = EchoDicom(peer, settings.callingAe, settings.timeoutSeconds * 1000);
    PrintJson(outcomeJson(o));
    return o.sent ? 0 : 1;
}

int CmdWorklist(CliContext& context, QStringList& args)
{
    const bool take = args.value(0) == "take";
    if (take)
        args.removeFirst();
    HospitalSettings settings = HospitalSettings::Load(AppPaths::SettingsFile());
    bool found = false;
    QString server = CliContext::TakeOption(args, "--server", &found);
    if (!found)
        server = settings.worklist;
    WorklistQuery query;
    query.station = CliContext::TakeOption(args, "--station", &found);
    if (!found)
        query.station = settings.station;
    const QString date = CliContext::TakeOption(args, "--date", &found);
    query.date = found  ? QDate::fromString(date, "yyyy-MM-dd")
                 : take ? QDate()
                        : QDate::currentDate();
    query.accession = CliContext::TakeOption(args, "--accession");
    args.removeAll("--json"); // JSON is the only form
    NetworkPeer peer;
    QString error;
    if (!linkOptions(args, settings) || !args.isEmpty() || (found && !query.date.isValid()) ||
        (take && query.accession.isEmpty()))
        return CliContext::Fail(
            "usage: tavctl worklist [--server AE@HOST:PORT] [--calling-ae AE] [--date YYYY-MM-DD] "
            "[--station AE] --json\n"
            "       tavctl worklist take [--server AE@HOST:PORT] --accession A");
    if (!NetworkPeer::Parse(server, true, peer, &error))
        return CliContext::Fail(error);
    std::vector<WorklistOrder> orders;
    if (!QueryWorklist(peer, settings.callingAe, query, settings.timeoutSeconds * 1000, orders,
                       &error))
        return CliContext::Fail(error, 1);
    if (!take) {
        QJsonArray list;
        for (const WorklistOrder& o : orders)
            list.append(orderJson(o));
        PrintJson(QJsonObject{{"orders", list}});
        return 0;
    }
    if (orders.size() != 1)
        return CliContext::Fail(QString("the worklist holds %1 orders with accession number %2")
                                    .arg(orders.size())
                                    .arg(query.accession),
                                1);
    if (!context.OpenDatabase())
        return 2;
    GdtImport result;
    if (TakeWorklistOrder(context.Db(), orders.front(), OrderBook::InProgramFolder(), result,
                          &error) != GdtStore::Stored)
        return CliContext::Fail(error, 1);
    PrintJson(QJsonObject{{"patient", result.patientId},
                          {"created", result.created},
                          {"accession", orders.front().accession},
                          {"day", orders.front().scheduledDate}});
    return 0;
}

int CmdOutbox(CliContext&, QStringList& args)
{
    const QString verb = args.isEmpty() ? "list" : args.takeFirst();
    args.removeAll("--json");
    const Outbox outbox = Outbox::InProgramFolder();
    if (verb == "retry" && args.isEmpty()) {
        const OutboxRetry r = RetryOutbox(
            outbox, HospitalSettings::Load(AppPaths::SettingsFile()).timeoutSeconds * 1000);
        PrintJson(QJsonObject{{"sent", r.sent},
                              {"waiting", r.waiting},
                              {"reasons", QJsonArray::fromStringList(r.reasons)}});
        return r.waiting == 0 && r.reasons.isEmpty() ? 0 : 1;
    }
    if (verb != "list" || !args.isEmpty())
        return CliContext::Fail("usage: tavctl outbox [list] --json | tavctl outbox retry");
    QJsonArray list;
    for (const OutboxEntry& e : outbox.List())
        list.append(QJsonObject{{"id", e.id},
                                {"kind", e.kind},
                                {"patient", e.patientId},
                                {"day", e.day},
                                {"to", e.to},
                                {"reason", e.reason},
                                {"attempts", e.attempts},
                                {"queued", e.queued},
                                {"lastTry", e.lastTry}});
    PrintJson(QJsonObject{{"entries", list}});
    return 0;
}
