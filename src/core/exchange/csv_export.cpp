#include "core/exchange/csv_export.h"

#include "core/app/app_paths.h"
#include "core/clinical/gli_patient.h"
#include "core/app/durable_file.h"
#include "core/exchange/csv_table.h"
#include "core/exchange/day_results.h"
#include "core/report/day_result.h"
#include "core/measure/maneuver_fields.h"
#include "core/measure/test_file_reader.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"
#include "core/records/recordset.h"
#include "core/records/schema_upgrade.h"

#include <algorithm>
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

QString phaseName(int phase)
{
    return phase == kPhasePost ? "post" : "pre";
}

// The phase a blow of the day belongs to (its session's), pre when none says otherwise.
int phaseOf(const DayResult& day, const QString& dataName)
{
    for (const StoredSession& s : day.sessions)
        for (const StoredManeuver& m : s.maneuvers)
            if (m.dataName == dataName)
                return s.phase;
    return kPhasePre;
}

QString timeOf(const DayTest& test)
{
    return QString::fromLatin1(test.file.header.testTime, int(qstrnlen(test.file.header.testTime, 32)))
        .trimmed()
        .replace(' ', 'T');
}

// One row: the patient, the time, type and phase, each parameter with the
// reference the day's set gives it, and what kind of row it is.
QStringList rowOf(const DayResult& day, const QString& time, int type, const QString& phase,
                  const ManeuverResult& record, const char* kind)
{
    const PatientRecord& p = day.patient;
    QStringList row;
    row << CsvText(p.PatientNumber) << CsvText(p.Name) << (p.Gender == 1 ? "female" : "male")
        << p.Birthdate.toString("yyyy-MM-dd") << QString::number(p.Height) << QString::number(p.Weight)
        << QString::number(p.Nation) << day.setName << time << typeName(type) << phase;
    for (const QString& name : parameterNames()) {
        const int index = fieldIndex(name);
        const double value = index < 0 ? 0.0 : ManeuverFieldValue(record, index);
        // A parameter the type does not measure, or a value the test did not give, is empty.
        if (index < 0 || !measures(type, name) || !(value > 0)) {
            row << QString() << QString() << QString() << QString() << QString();
            continue;
        }
        const ValueReference ref = day.ReferenceOf(name, value);
        const auto cell = [](const std::optional<double>& v) {
            return v ? QString::number(RoundedValue(*v), 'f', 2) : QString();
        };
        row << number(value, ManeuverFields()[index].isInteger) << cell(ref.predicted) << cell(ref.lln)
            << cell(ref.z) << (ref.percentPredicted ? QString::number(qRound(*ref.percentPredicted)) : QString());
    }
    row << kind;
    return row;
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
    columns << "row_kind";
    return columns;
}

bool BuildTestsCsv(Database& db, const QDate& from, const QDate& to, QByteArray& csv,
                   CsvExportResult& result, QString* error)
{
    const QString lower = from.isValid() ? from.toString("yyyy-MM-dd") : QString("0000-00-00");
    const QString upper = to.isValid() ? to.toString("yyyy-MM-dd") + " 23:59:59" : QString("9999-99-99");
    Recordset rs(db);
    if (!rs.Open("SELECT ID, TestTime FROM CaseInfo WHERE TestTime >= ? AND TestTime <= ? ORDER BY ID, TestTime",
                 {lower, upper})) {
        if (error)
            *error = "the tests cannot be read: " + db.LastError();
        return false;
    }
    // The days to write, each with the number of tests its rows name.
    std::vector<std::pair<std::pair<int, QString>, int>> days;
    const int count = rs.GetRecordCount();
    rs.MoveFirst();
    for (int i = 0; i < count; ++i, rs.MoveNext()) {
        int id = 0;
        QString testTime;
        rs.GetFieldValue("ID", id);
        rs.GetFieldValue("TestTime", testTime);
        const std::pair<int, QString> key{id, testTime.left(10)};
        if (days.empty() || days.back().first != key)
            days.push_back({key, 0});
        ++days.back().second;
    }

    // Each day as the day-result model reports it: every plausible test as
    // a row of its own, then each FVC phase's reported values.
    QByteArray out = CsvByteOrderMark() + CsvRecord(CsvExportColumns());
    CsvExportResult counts;
    for (const auto& [key, rows] : days) {
        DayResult day;
        if (!LoadDayResult(db, key.first, QDate::fromString(key.second, "yyyy-MM-dd"), day)) {
            counts.skipped += rows;
            continue;
        }
        std::vector<std::pair<QString, QStringList>> lines; // by time
        for (const DayTest& t : day.fvc)
            lines.push_back({timeOf(t), rowOf(day, timeOf(t), kTestFvc, phaseName(phaseOf(day, t.dataName)),
                                              t.file.record, "blow")});
        for (const auto& [type, list] : {std::pair{int(kTestVc), &day.vc}, std::pair{int(kTestMvv), &day.mvv}})
            for (const DayTest& t : *list)
                lines.push_back({timeOf(t), rowOf(day, timeOf(t), type, QString(), t.file.record, "blow")});
        std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& line : lines)
            out += CsvRecord(line.second);
        counts.rows += int(lines.size());
        // What was left out: damaged records, rows whose file cannot be read.
        counts.skipped += std::max(0, rows - int(lines.size()));
        for (const PhaseValues& phase : day.phases) {
            if (phase.withheld)
                continue; // a failed phase reports no values
            const QString time = phase.flowsTest >= 0 ? timeOf(day.fvc[std::size_t(phase.flowsTest)]) : QString();
            out += CsvRecord(rowOf(day, time, kTestFvc, phaseName(phase.phase), phase.record, "reported"));
        }
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
