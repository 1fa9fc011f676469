#include "core/exchange/csv_export.h"

#include "core/app/app_paths.h"
#include "core/exchange/atomic_file.h"
#include "core/exchange/csv_table.h"
#include "core/exchange/day_results.h"
#include "core/measure/maneuver_fields.h"
#include "core/measure/test_file_reader.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"
#include "core/records/recordset.h"

#include <QHash>

#include <cstring>
#include <optional>

namespace {

// The parameters each test type measures, as the results page lists them.
const char* const kFvcParameters[] = {"FVC",   "FEV1",  "FEV1/VC", "FEV1/FVC", "FEV6",
                                      "FEV1/FEV6", "PEF", "FEF2575", "ELA", "FET",
                                      "FEF25", "FEF50", "FEF75", "EVOL", "FIVC",
                                      "FIV1",  "FIV1/FIVC", "PIF", "MVV"};
const char* const kVcParameters[] = {"VC", "IC", "ERV", "IRV", "EVC", "IVC", "TV",
                                     "MV", "RR", "tI", "tE", "TV/tI", "tI/ttot"};
const char* const kMvvParameters[] = {"MVV"};

// The export's parameter columns: the union of the lists, in their order.
const QStringList& parameterNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const char* n : kFvcParameters)
            list << n;
        for (const char* n : kVcParameters)
            if (!list.contains(n))
                list << n;
        return list;
    }();
    return names;
}

bool measures(int testType, const QString& name)
{
    auto in = [&](const auto& list) {
        for (const char* n : list)
            if (name == n)
                return true;
        return false;
    };
    return testType == kTestFvc ? in(kFvcParameters)
           : testType == kTestVc ? in(kVcParameters)
                                 : in(kMvvParameters);
}

int fieldIndex(const QString& name)
{
    const auto& fields = ManeuverFields();
    for (int i = 0; i < int(fields.size()); ++i)
        if (name == fields[i].name)
            return i;
    return -1;
}

QString number(double value, bool integer)
{
    return integer ? QString::number(qint64(value)) : QString::number(value, 'f', 2);
}

QString typeName(int type)
{
    return type == kTestVc ? "VC" : type == kTestMvv ? "MVV" : "FVC";
}

struct PatientRow {
    bool ok = false;
    QStringList columns;
    ManeuverResult predicted;
};

} // namespace

QStringList CsvPatientColumns()
{
    return {"patient_number", "name", "sex", "birth_date", "height_cm", "weight_kg",
            "nation_group", "reference_set"};
}

QStringList CsvExportColumns()
{
    QStringList columns = CsvPatientColumns();
    columns << "test_time" << "test_type" << "phase";
    for (const QString& p : parameterNames())
        columns << p << p + "_pred" << p + "_lln" << p + "_z" << p + "_pctpred";
    return columns;
}

bool BuildTestsCsv(Database& db, const QDate& from, const QDate& to, QByteArray& csv,
                   CsvExportResult& result, QString* error)
{
    const QString lower = from.isValid() ? from.toString("yyyy-MM-dd") : QString("0000-00-00");
    const QString upper = to.isValid() ? to.toString("yyyy-MM-dd") + " 23:59:59" : QString("9999-99-99");
    Recordset rs(db);
    if (!rs.Open("SELECT ID, DataName, TestTime, TestType FROM CaseInfo WHERE TestTime >= ? AND "
                 "TestTime <= ? ORDER BY ID, TestTime, DataName",
                 {lower, upper})) {
        if (error)
            *error = "the tests cannot be read: " + db.LastError();
        return false;
    }
    const QStringList names = parameterNames();
    std::vector<int> indices;
    for (const QString& n : names)
        indices.push_back(fieldIndex(n));

    QByteArray out = CsvByteOrderMark() + CsvRecord(CsvExportColumns());
    CsvExportResult counts;
    QHash<int, PatientRow> patients;
    const int count = rs.GetRecordCount();
    rs.MoveFirst();
    for (int i = 0; i < count; ++i, rs.MoveNext()) {
        int id = 0, type = 0;
        QString dataName, testTime;
        rs.GetFieldValue("ID", id);
        rs.GetFieldValue("DataName", dataName);
        rs.GetFieldValue("TestTime", testTime);
        rs.GetFieldValue("TestType", type);
        auto it = patients.find(id);
        if (it == patients.end()) {
            PatientRow row;
            PatientRecord p;
            if (LoadPatient(db, id, p)) {
                row.ok = true;
                ComputePredictedValues(db, row.predicted, p);
                row.columns << CsvText(p.PatientNumber) << CsvText(p.Name)
                            << (p.Gender == 1 ? "female" : "male")
                            << p.Birthdate.toString("yyyy-MM-dd") << QString::number(p.Height)
                            << QString::number(p.Weight) << QString::number(p.Nation)
                            << ReferenceSetName(p.Standard);
            }
            it = patients.insert(id, row);
        }
        TestFileHeader header;
        ManeuverResult record;
        QByteArray bytes;
        if (!it->ok || !IsTestFileName(dataName) || !db.Files().Read(id, dataName, bytes) ||
            !ParseTestHead(bytes, header, record)) {
            ++counts.skipped;
            continue;
        }
        QStringList row = it->columns;
        row << QString(testTime).replace(' ', 'T') << typeName(type) << QString();
        for (int k = 0; k < names.size(); ++k) {
            const int index = indices[k];
            if (index < 0 || !measures(type, names[k])) {
                row << QString() << QString() << QString() << QString() << QString();
                continue;
            }
            const bool integer = ManeuverFields()[index].isInteger;
            const double value = ManeuverFieldValue(record, index);
            const double predicted = RoundedValue(ManeuverFieldValue(it->predicted, index));
            row << number(value, integer);
            row << (predicted > 0 ? number(predicted, integer) : QString());
            row << QString() << QString(); // LLN and z-score: given by GLI sets only
            row << (predicted > 0 ? QString::number(qRound(RoundedValue(value) * 100.0 / predicted))
                                  : QString());
        }
        out += CsvRecord(row);
        ++counts.rows;
    }
    csv = out;
    result = counts;
    return true;
}

bool ExportTestsCsv(Database& db, const QDate& from, const QDate& to, const QString& path,
                    CsvExportResult& result, QString* error)
{
    QByteArray csv;
    if (!BuildTestsCsv(db, from, to, csv, result, error))
        return false;
    return WriteFileAtomically(path, csv, error);
}
