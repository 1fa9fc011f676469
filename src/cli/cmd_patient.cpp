// tavctl patient add|list|show: the patient register from the shell.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/nation_groups.h"
#include "core/records/patient_editor_rules.h"
#include "core/records/patient_list.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include <QJsonArray>
#include <QJsonObject>

#include <climits>

namespace {

const char* const kUsage =
    "usage: tavctl patient add --name NAME --gender 0|1 --birth YYYY-MM-DD --height CM "
    "--weight KG [--nation N] [--standard 0|1|2]\n"
    "       tavctl patient list [--json]\n"
    "       tavctl patient show ID [--json]";

// An integer option within [low, high]; `error` names the problem when it is not one.
bool intOption(QStringList& args, const QString& name, int low, int high, int& value, bool required,
               QString& error)
{
    bool found = false;
    const QString text = CliContext::TakeOption(args, name, &found);
    if (!found) {
        if (required)
            error = name + " is required";
        return !required;
    }
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < low || number > high) {
        error = QString("%1 must be a whole number from %2 to %3, not \"%4\"")
                    .arg(name)
                    .arg(low)
                    .arg(high)
                    .arg(text);
        return false;
    }
    value = number;
    return true;
}

bool groupExists(Database& db, int group)
{
    Recordset rs(db);
    rs.Open("SELECT * FROM Race WHERE ID = ?", {group});
    return rs.GetRecordCount() > 0;
}

int add(CliContext& context, QStringList& args)
{
    PatientRecord record;
    QString error;
    bool found = false;
    record.Name = CliContext::TakeOption(args, "--name", &found);
    const QString birth = CliContext::TakeOption(args, "--birth");
    record.Birthdate = QDate::fromString(birth, "yyyy-MM-dd");
    record.Nation = kUndefinedGroup;
    if (!intOption(args, "--gender", 0, 1, record.Gender, true, error) ||
        !intOption(args, "--height", kMinHeight, kMaxHeight, record.Height, true, error) ||
        !intOption(args, "--weight", kMinWeight, kMaxWeight, record.Weight, true, error) ||
        !intOption(args, "--nation", 1, INT_MAX, record.Nation, false, error) ||
        !intOption(args, "--standard", 0, 2, record.Standard, false, error))
        return CliContext::Fail(error);
    if (!found || record.Name.trimmed().isEmpty())
        return CliContext::Fail("--name is required and must not be empty");
    if (record.Name.size() > PatientRecord::kNameLength)
        return CliContext::Fail(
            QString("--name holds at most %1 characters").arg(PatientRecord::kNameLength));
    if (!record.Birthdate.isValid())
        return CliContext::Fail("--birth must be a date YYYY-MM-DD, not \"" + birth + "\"");
    record.Age = AgeFromBirthdate(record.Birthdate);
    if (!CheckRange(PatientField::Age, record.Age).Ok())
        return CliContext::Fail(QString("the age from --birth is %1; it must be from %2 to %3")
                                    .arg(record.Age)
                                    .arg(kMinAge)
                                    .arg(kMaxAge));
    if (!args.isEmpty())
        return CliContext::Fail("unexpected arguments: " + args.join(' ') + "\n" + kUsage);
    if (!context.OpenDatabase())
        return 2;
    if (!groupExists(context.Db(), record.Nation))
        return CliContext::Fail(QString("there is no nation group %1").arg(record.Nation));
    const int id = CreatePatient(context.Db(), record);
    if (id <= 0)
        return CliContext::Fail(
            "the patient could not be stored: " + context.Db().LastError(), 1);
    ReconcileDay(context.Db(), id, QString()); // creates the patient's case folder
    CliContext::Print(QString::number(id));
    return 0;
}

QJsonObject listJson(const PatientListRow& row)
{
    return {{"ID", row.ID},
            {"ptID", row.PatientNumber},
            {"Name", row.Name},
            {"Gender", row.Gender},
            {"Age", row.Age},
            {"Height", row.Height},
            {"Weight", row.Weight},
            {"Nation", row.Nation},
            {"NationName", row.NationName}};
}

int list(CliContext& context, QStringList& args)
{
    bool json = false;
    if (args.size() == 1 && args[0] == "--json")
        json = true;
    else if (!args.isEmpty())
        return CliContext::Fail(kUsage);
    if (!context.OpenDatabase())
        return 2;
    const auto rows = LoadPatientList(context.Db());
    if (json) {
        QJsonArray array;
        for (const PatientListRow& row : rows)
            array.append(listJson(row));
        PrintJson(QJsonDocument(array));
        return 0;
    }
    QString text;
    for (const PatientListRow& row : rows)
        text += QString("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\n")
                    .arg(row.ID)
                    .arg(row.PatientNumber, row.Name, row.Gender == 0 ? "male" : "female")
                    .arg(row.Age)
                    .arg(row.Height)
                    .arg(row.Weight)
                    .arg(row.NationName);
    if (!text.isEmpty())
        CliContext::Print(text);
    return 0;
}

int show(CliContext& context, QStringList& args)
{
    const bool json = args.removeAll("--json") > 0;
    if (args.size() != 1)
        return CliContext::Fail(kUsage);
    bool ok = false;
    const int id = args[0].toInt(&ok);
    if (!ok || id < 1)
        return CliContext::Fail("the patient ID must be a positive number, not \"" + args[0] +
                                "\"");
    if (!context.OpenDatabase())
        return 2;
    PatientRecord r;
    if (!LoadPatient(context.Db(), id, r))
        return CliContext::Fail(QString("there is no patient %1").arg(id));
    const QJsonObject object{{"ID", r.ID},
                             {"PatientNumber", r.PatientNumber},
                             {"Name", r.Name},
                             {"Gender", r.Gender},
                             {"Age", r.Age},
                             {"Birthdate", r.Birthdate.toString("yyyy-MM-dd")},
                             {"Height", r.Height},
                             {"Weight", r.Weight},
                             {"Nation", r.Nation},
                             {"NationName", NationGroupName(context.Db(), r.Nation)},
                             {"Smoker", r.Smoker},
                             {"Address", r.Address},
                             {"Postalcode", r.Postalcode},
                             {"City", r.City},
                             {"Job", r.Job},
                             {"Standard", r.Standard}};
    if (json) {
        PrintJson(object);
        return 0;
    }
    QString text;
    for (auto it = object.begin(); it != object.end(); ++it)
        text += it.key() + ": " + it.value().toVariant().toString() + '\n';
    CliContext::Print(text);
    return 0;
}

} // namespace

int CmdPatient(CliContext& context, QStringList& args)
{
    if (args.isEmpty())
        return CliContext::Fail(kUsage);
    const QString action = args.takeFirst();
    if (action == "add")
        return add(context, args);
    if (action == "list")
        return list(context, args);
    if (action == "show")
        return show(context, args);
    return CliContext::Fail("unknown patient action: " + action + "\n" + kUsage);
}
