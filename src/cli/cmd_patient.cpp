// tavctl patient add|list|show: the patient register from the shell.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/app/text_rule.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/nation_groups.h"
#include "core/records/patient_editor_rules.h"
#include "core/records/patient_list.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include <QJsonArray>
#include <QJsonObject>

#include <QTextStream>

#include <algorithm>
#include <climits>
#include <limits>

namespace {

const char* const kUsage =
    "usage: tavctl patient add --name NAME --gender 0|1 --birth YYYY-MM-DD --height CM "
    "--weight KG [--nation N] [--standard 0-4] [--ethnic 1-5]\n"
    "         standards: 0 ERS, 1 Knudson, 2 USA, 3 GLI-2012, 4 GLI Global 2022;\n"
    "         GLI-2012 ethnic groups: 1 Caucasian, 2 African-American, 3 North-East Asian,\n"
    "         4 South-East Asian, 5 Other/mixed\n"
    "       tavctl patient list [--search TEXT] [--sort id|number|name|gender|age|height|weight|"
    "nation] [--desc] [--first N] [--limit N] [--json]\n"
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
        !intOption(args, "--standard", 0, 4, record.Standard, false, error) ||
        !intOption(args, "--ethnic", 1, 5, record.Ethnic, false, error))
        return CliContext::Fail(error);
    if (!found || record.Name.trimmed().isEmpty())
        return CliContext::Fail("--name is required and must not be empty");
    const QString refused = TextRule::Refusal(record.Name, "--name", PatientRecord::kNameLength);
    if (!refused.isEmpty())
        return CliContext::Fail(refused);
    if (!record.Birthdate.isValid())
        return CliContext::Fail("--birth must be a date YYYY-MM-DD, not \"" + birth + "\"");
    record.Age = AgeFromBirthdate(record.Birthdate);
    const PatientInputCheck age = CheckAgeForSet(record.Age, record.Standard);
    if (!age.Ok())
        return CliContext::Fail(QString("the age from --birth is %1: %2")
                                    .arg(record.Age)
                                    .arg(PatientCheckText(age)));
    context.TakeUser(args);
    if (!args.isEmpty())
        return CliContext::Fail("unexpected arguments: " + args.join(' ') + "\n" + kUsage);
    if (!context.SignIn(args, Action::RegisterPatient))
        return 2;
    if (!groupExists(context.Db(), record.Nation))
        return CliContext::Fail(QString("there is no nation group %1").arg(record.Nation));
    const int id = CreatePatient(context.Db(), record);
    if (id <= 0)
        return CliContext::Fail(
            "the patient could not be stored: " + context.Db().LastError(), 1);
    ReconcileDay(context.Db(), id, QString()); // creates the patient's case folder
    if (!context.Audit("patient-create", id, "patient " + record.PatientNumber, QString(),
                       record.Name))
        return 1;
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
    static const QStringList kSortNames = {"id",     "number", "name",   "gender",
                                           "age",    "height", "weight", "nation"};
    const bool json = args.removeAll("--json") > 0;
    const bool descending = args.removeAll("--desc") > 0;
    int first = 0;
    int limit = std::numeric_limits<int>::max();
    QString error;
    const QString search = CliContext::TakeOption(args, "--search");
    bool sortGiven = false;
    const QString sort = CliContext::TakeOption(args, "--sort", &sortGiven);
    const int column = sortGiven ? int(kSortNames.indexOf(sort)) : 0;
    if (column < 0)
        return CliContext::Fail("--sort takes one of " + kSortNames.join('|'));
    if (!intOption(args, "--first", 0, std::numeric_limits<int>::max(), first, false, error) ||
        !intOption(args, "--limit", 0, std::numeric_limits<int>::max(), limit, false, error))
        return CliContext::Fail(error + "\n" + kUsage);
    if (!args.isEmpty())
        return CliContext::Fail("unexpected arguments: " + args.join(' ') + "\n" + kUsage);
    if (!context.OpenDatabase())
        return 2;

    // The same paged query as the patient page: a window of rows at a time, never the
    // whole table in memory.
    PatientListQuery query(context.Db());
    query.SetFilter(search);
    query.SetOrder(PatientListColumn(column), descending);
    constexpr int kPage = 1000;
    QJsonArray array;
    QTextStream out(stdout);
    for (int done = 0; done < limit;) {
        const int want = std::min(kPage, limit - done);
        const std::vector<PatientListRow> rows = query.Rows(first + done, want);
        for (const PatientListRow& row : rows) {
            if (json)
                array.append(listJson(row));
            else
                // Joined, not chained .arg(): a "%1" typed into a name stays as typed.
                // Each stored text escaped: a tab, line break or escape sequence in
                // a name can neither shift the columns nor drive the terminal.
                out << QStringList{QString::number(row.ID), TextRule::Escaped(row.PatientNumber),
                                   TextRule::Escaped(row.Name),
                                   row.Gender == 0 ? "male" : "female", QString::number(row.Age),
                                   QString::number(row.Height), QString::number(row.Weight),
                                   TextRule::Escaped(row.NationName)}
                           .join('\t')
                    << '\n';
        }
        done += int(rows.size());
        if (int(rows.size()) < want)
            break;
    }
    if (json)
        PrintJson(QJsonDocument(array));
    out.flush();
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
                             {"Standard", r.Standard},
                             {"Ethnic", r.Ethnic}};
    if (json) {
        PrintJson(object);
        return 0;
    }
    QString text;
    for (auto it = object.begin(); it != object.end(); ++it)
        text += it.key() + ": " + TextRule::Escaped(it.value().toVariant().toString()) + '\n';
    QTextStream(stdout) << text;
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
