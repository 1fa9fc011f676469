#include "core/exchange/csv_export.h"

#include "core/app/app_paths.h"
#include "core/clinical/gli_patient.h"
#include "core/app/durable_file.h"
#include "core/exchange/csv_table.h"
#include "core/exchange/day_results.h"
#include "core/measure/stored_record_check.h"
#include "core/measure/maneuver_fields.h"
#include "core/measure/test_file_reader.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"
#include "core/records/recordset.h"
#include "core/records/schema_upgrade.h"

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

// A patient's columns and what the reference values of a test day need.
struct PatientRow {
    bool ok = false;
    PatientRecord patient;
    QStringList columns;
    std::optional<GliSet> set;
    QHash<int, ManeuverResult> predictedByAge; // the older sets: by the age in years on the test day
    QDate subjectDay;                          // GLI: the person of the last test day seen
    GliSubject subject;
};

// The reference columns of one value: predicted, LLN, z-score, % predicted.
struct ReferenceCells {
    QString predicted, lln, z, percent;
};

ReferenceCells referenceCells(Database& db, PatientRow& row, const QDate& testDay, const QString& name,
                              int index, double value)
{
    ReferenceCells cells;
    if (row.set) {
        const std::optional<GliParameter> parameter = GliParameterFromName(name);
        if (!parameter)
            return cells; // GLI has no equation for it: no value borrowed from elsewhere
        if (row.subjectDay != testDay) {
            row.subject = GliSubjectOf(db, row.patient, testDay);
            row.subjectDay = testDay;
        }
        const GliPrediction p = GliEquations::BuiltIn().Predict(*row.set, *parameter, row.subject);
        if (!p.available)
            return cells;
        // FEV1/FVC is a percentage in the record and a fraction in GLI.
        const double scale = *parameter == GliParameter::FEV1FVC ? 100.0 : 1.0;
        cells.predicted = QString::number(p.M * scale, 'f', 2);
        cells.lln = QString::number(p.lln * scale, 'f', 2);
        cells.z = QString::number(p.zScore(value / scale), 'f', 2);
        cells.percent = QString::number(qRound(p.percentPredicted(value / scale)));
        return cells;
    }
    const PatientRecord onDay = PatientOnDay(row.patient, testDay);
    auto it = row.predictedByAge.find(onDay.Age);
    if (it == row.predictedByAge.end()) {
        ManeuverResult predicted;
        ComputePredictedValues(db, predicted, onDay);
        it = row.predictedByAge.insert(onDay.Age, predicted);
    }
    const bool integer = ManeuverFields()[index].isInteger;
    const double predicted = RoundedValue(ManeuverFieldValue(*it, index));
    if (predicted > 0) {
        cells.predicted = number(predicted, integer);
        cells.percent = QString::number(qRound(RoundedValue(value) * 100.0 / predicted));
    }
    return cells;
}

// "pre" or "post" for FVC tests; rows of VC and MVV tests have none.
QString phaseName(int type, const QString& phase)
{
    if (type != kTestFvc)
        return QString();
    return phase.trimmed().toInt() == kPhasePost ? "post" : "pre";
}

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
    if (!rs.Open("SELECT ID, DataName, TestTime, TestType, Phase FROM CaseInfo WHERE TestTime >= ? AND "
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
        QString dataName, testTime, phase;
        rs.GetFieldValue("ID", id);
        rs.GetFieldValue("DataName", dataName);
        rs.GetFieldValue("TestTime", testTime);
        rs.GetFieldValue("TestType", type);
        rs.GetFieldValue("Phase", phase);
        auto it = patients.find(id);
        if (it == patients.end()) {
            PatientRow row;
            PatientRecord& p = row.patient;
            if (LoadPatient(db, id, p)) {
                row.ok = true;
                row.set = GliSetOfStandard(p.Standard);
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
            !ParseTestHead(bytes, header, record) || !StoredRecordFault(record, type).isEmpty()) {
            // A damaged record (values no lung can blow) is no result to hand on.
            ++counts.skipped;
            continue;
        }
        // Reference values for the age on the test's day, not on the day of the export.
        const QDate testDay = QDate::fromString(testTime.left(10), "yyyy-MM-dd");
        QStringList row = it->columns;
        row << QString(testTime).replace(' ', 'T') << typeName(type) << phaseName(type, phase);
        for (int k = 0; k < names.size(); ++k) {
            const int index = indices[k];
            if (index < 0 || !measures(type, names[k])) {
                row << QString() << QString() << QString() << QString() << QString();
                continue;
            }
            const double value = ManeuverFieldValue(record, index);
            const ReferenceCells cells = referenceCells(db, *it, testDay, names[k], index, value);
            row << number(value, ManeuverFields()[index].isInteger) << cells.predicted << cells.lln << cells.z
                << cells.percent;
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
    return DurableFile::Write(path, csv, error);
}
