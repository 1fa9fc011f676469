#include "core/records/nation_groups.h"

#include "core/records/database.h"
#include "core/records/leading_number.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include "core/app/lang_text.h"

#include <QHash>

namespace {

QString builtinGroupName(int index, const QString& stored)
{
    const QString text = GetLangText("USER MANAGE", 1181 + index);
    return text.isEmpty() ? stored : text;
}

} // namespace

QVector<NationGroup> LoadNationGroups(Database& db)
{
    QVector<NationGroup> groups;
    Recordset rs(db);
    rs.Open("SELECT * FROM Race");
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    for (int k = 0; k < n; ++k) {
        NationGroup group;
        QString stored;
        rs.GetFieldValue("ID", group.ID);
        rs.GetFieldValue("Nation", stored);
        if (k < kBuiltinGroupCount) {
            // The built-in groups are known by position and shown in the user's language.
            group.ID = k + 1;
            group.Name = builtinGroupName(k, stored);
        } else {
            group.Name = stored;
        }
        groups.append(group);
        rs.MoveNext();
    }
    return groups;
}

QString NationGroupName(Database& db, int group)
{
    for (const NationGroup& g : LoadNationGroups(db)) {
        if (g.ID == group)
            return g.Name;
    }
    return QString();
}

CorrectionGrid RefreshGrid(Database& db)
{
    CorrectionGrid grid;
    {
        Recordset rs(db);
        rs.Open("SELECT * FROM ParamName");
        const int n = rs.GetRecordCount();
        if (n > 0)
            rs.MoveFirst();
        for (int i = 0; i < n; ++i) {
            QString name;
            rs.GetFieldValue("ParamName", name);
            grid.Parameters << name;
            rs.MoveNext();
        }
    }
    grid.Groups = LoadNationGroups(db);

    // Rows are matched by their keys, not by their position in the table, so a
    // missing or extra row never shifts the others onto the wrong group.
    QHash<QPair<int, int>, CorrectionRow> stored;
    Recordset rs(db);
    rs.Open("SELECT * FROM Nation");
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    for (int i = 0; i < n; ++i) {
        CorrectionRow row;
        rs.GetFieldValue("nNation", row.Group);
        rs.GetFieldValue("ParamName", row.Parameter);
        rs.GetFieldValue("Multiply", row.Multiply);
        rs.GetFieldValue("Additive", row.Additive);
        rs.GetFieldValue("Multiply", row.MultiplyText);
        rs.GetFieldValue("Additive", row.AdditiveText);
        const QPair<int, int> key(row.Group, row.Parameter);
        if (!stored.contains(key))
            stored.insert(key, row);
        rs.MoveNext();
    }
    for (const NationGroup& group : grid.Groups) {
        for (int p = 0; p < grid.Parameters.size(); ++p) {
            const auto it = stored.constFind(QPair<int, int>(group.ID, p + 1));
            if (it == stored.constEnd())
                continue;
            CorrectionRow row = *it;
            row.GroupName = group.Name;
            row.ParameterName = grid.Parameters[p];
            grid.Rows.append(row);
        }
    }
    return grid;
}

bool EnsurePatientGroup(Database& db, PatientRecord& patient)
{
    Recordset rs(db);
    rs.Open("SELECT * FROM Race WHERE ID = ?", {patient.Nation});
    if (!rs.IsOpen() || rs.GetRecordCount() > 0)
        return false;
    patient.Nation = kUndefinedGroup;
    db.Execute("update UserInfo set Nation = ? where ID = ?", {patient.Nation, patient.ID});
    return true;
}

bool EditCorrection(Database& db, int group, int parameter, const QString& multiply,
                    const QString& additive)
{
    // The values travel as "%f" text in the statement: six decimals are kept.
    const double m = QString::asprintf("%f", LeadingNumber(multiply)).toDouble();
    const double a = QString::asprintf("%f", LeadingNumber(additive)).toDouble();
    return db.Execute("update Nation set Multiply = ?, Additive = ? WHERE nNation = ? AND "
                      "ParamName = ?",
                      {m, a, group, parameter});
}

bool NationGroupNameTaken(Database& db, const QString& name)
{
    const QString wanted = name.trimmed();
    auto same = [&](const QString& other) {
        return QString::compare(other.trimmed(), wanted, Qt::CaseInsensitive) == 0;
    };
    for (const NationGroup& group : LoadNationGroups(db))
        if (same(group.Name))
            return true;
    Recordset rs(db);
    rs.Open("SELECT Nation FROM Race");
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    for (int i = 0; i < n; ++i) {
        QString stored;
        rs.GetFieldValue("Nation", stored);
        if (same(stored))
            return true;
        rs.MoveNext();
    }
    return false;
}

AddGroupResult AddGroup(Database& db, const QString& typedName, int* newGroup)
{
    const QString name = typedName.trimmed();
    if (name.isEmpty())
        return AddGroupResult::EmptyName;
    // Two groups of one name could not be told apart in any list that shows them.
    if (NationGroupNameTaken(db, name))
        return AddGroupResult::NameTaken;
    {
        Recordset rs(db);
        rs.Open("SELECT * FROM Race");
        if (rs.GetRecordCount() <= 0)
            return AddGroupResult::NoGroups;
    }
    if (!db.BeginTransaction())
        return AddGroupResult::InsertFailed;
    // The database numbers the group; counting rows would repeat a deleted group's number.
    int group = 0;
    {
        Recordset rs(db);
        if (rs.Open("insert into Race(Nation) values(?) RETURNING ID", {name}) &&
            rs.GetRecordCount() > 0) {
            rs.MoveFirst();
            rs.GetFieldValue("ID", group);
        }
    }
    if (group <= 0) {
        db.Rollback();
        return AddGroupResult::InsertFailed;
    }
    bool haveCorrections = false;
    {
        Recordset rs(db);
        rs.Open("SELECT * FROM Nation LIMIT 1");
        haveCorrections = rs.GetRecordCount() > 0;
    }
    bool ok = group > 0;
    for (int p = 1; ok && haveCorrections && p <= kCorrectedParameterCount; ++p)
        ok = db.Execute("insert into Nation(nNation, ParamName) values(?, ?)", {group, p});
    if (!ok || !db.Commit()) {
        db.Rollback();
        return AddGroupResult::Failed;
    }
    if (newGroup)
        *newGroup = group;
    return AddGroupResult::Added;
}

DeleteGroupResult DeleteGroup(Database& db, int group, PatientRecord* current)
{
    if (group <= kBuiltinGroupCount)
        return DeleteGroupResult::BuiltIn;
    if (!db.BeginTransaction())
        return DeleteGroupResult::Failed;
    bool ok = db.Execute("delete from Race where ID = ?", {group}) &&
              db.Execute("delete from Nation where nNation = ?", {group});
    const bool moveCurrent = current && current->Nation == group;
    if (ok && moveCurrent)
        ok = db.Execute("update UserInfo set Nation = ? where ID = ?",
                        {kUndefinedGroup, current->ID});
    if (!ok || !db.Commit()) {
        db.Rollback();
        return DeleteGroupResult::Failed;
    }
    if (moveCurrent)
        current->Nation = kUndefinedGroup;
    return DeleteGroupResult::Deleted;
}
