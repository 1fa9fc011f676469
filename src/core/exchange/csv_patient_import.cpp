#include "core/exchange/csv_patient_import.h"

#include "core/app/lang_text.h"
#include "core/exchange/csv_export.h"
#include "core/exchange/csv_table.h"
#include "core/exchange/imported_patient.h"
#include "core/records/database.h"
#include "core/records/patient_editor_rules.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include <QHash>

namespace {

constexpr int kMaxPatientNumberLength = 20;

struct Columns {
    int number = -1, name = -1, sex = -1, birth = -1, height = -1, weight = -1, nation = -1,
        standard = -1;
};

bool nationExists(Database& db, int nation)
{
    Recordset rs(db);
    rs.Open("SELECT ID FROM Race WHERE ID = ?", {nation});
    return rs.GetRecordCount() > 0;
}

bool readInt(const QString& text, int& value)
{
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    return ok;
}

// The row as a patient, or the reason it cannot be one.
QString patientFromRow(Database& db, const QStringList& row, const Columns& c, PatientRecord& p)
{
    auto at = [&](int index) { return index >= 0 && index < row.size() ? row[index].trimmed() : QString(); };
    p.PatientNumber = TextFromCsv(at(c.number));
    p.Name = TextFromCsv(at(c.name));
    if (p.Name.isEmpty())
        return GetLangText("MESSAGE", 163);
    if (p.PatientNumber.isEmpty())
        return GetLangText("MESSAGE", 1172);
    if (p.PatientNumber.size() > kMaxPatientNumberLength)
        return QString("the patient number is longer than %1 characters").arg(kMaxPatientNumberLength);
    const QString sex = at(c.sex).toLower();
    if (sex == "male" || sex == "m")
        p.Gender = 0;
    else if (sex == "female" || sex == "f")
        p.Gender = 1;
    else
        return "sex \"" + at(c.sex) + "\" is neither male nor female";
    p.Birthdate = QDate::fromString(at(c.birth), "yyyy-MM-dd");
    if (!p.Birthdate.isValid())
        return "birth date \"" + at(c.birth) + "\" is not a date YYYY-MM-DD";
    if (!readInt(at(c.height), p.Height))
        return "height \"" + at(c.height) + "\" is not a whole number of cm";
    if (!readInt(at(c.weight), p.Weight))
        return "weight \"" + at(c.weight) + "\" is not a whole number of kg";
    PatientInput input;
    input.Name = p.Name;
    input.NumberText = p.PatientNumber;
    input.Age = AgeFromBirthdate(p.Birthdate);
    input.Birthdate = p.Birthdate;
    input.Height = p.Height;
    input.Weight = p.Weight;
    const PatientInputCheck check = CheckNewPatient(db, input);
    // A number already taken is named below, with the patient that has it.
    if (!check.Ok() && check.MessageKey != 1245) {
        // The editor's message, with the column it concerns.
        const char* column = check.Field == PatientField::Age         ? "birth_date (age)"
                             : check.Field == PatientField::Birthdate ? "birth_date"
                             : check.Field == PatientField::Height    ? "height_cm"
                             : check.Field == PatientField::Weight    ? "weight_kg"
                             : check.Field == PatientField::Name      ? "name"
                                                                      : "patient_number";
        return check.Text.isEmpty() ? QString(column) + ": " + PatientCheckText(check)
                                    : check.Text;
    }
    p.Nation = NewPatientDefaults(db).Nation;
    if (c.nation >= 0 && !at(c.nation).isEmpty()) {
        if (!readInt(at(c.nation), p.Nation) || !nationExists(db, p.Nation))
            return "nation group \"" + at(c.nation) + "\" does not exist";
    }
    const QString standard = at(c.standard);
    if (standard.isEmpty() || standard.compare("ERS", Qt::CaseInsensitive) == 0)
        p.Standard = 0;
    else if (standard.compare("Knudson", Qt::CaseInsensitive) == 0)
        p.Standard = 1;
    else if (standard.compare("USA", Qt::CaseInsensitive) == 0)
        p.Standard = 2;
    else if (standard.compare("GLI-2012", Qt::CaseInsensitive) == 0)
        p.Standard = 3;
    else if (standard.compare("GLI Global 2022", Qt::CaseInsensitive) == 0)
        p.Standard = 4;
    else
        return "reference set \"" + standard + "\" is none of ERS, Knudson, USA, GLI-2012, GLI Global 2022";
    p.Age = input.Age;
    return QString();
}

bool samePatient(const PatientRecord& a, const PatientRecord& b)
{
    return a.Name == b.Name && a.Gender == b.Gender && a.Birthdate == b.Birthdate &&
           a.Height == b.Height && a.Weight == b.Weight && a.Nation == b.Nation &&
           a.Standard == b.Standard;
}

} // namespace

bool ImportPatientsCsv(Database& db, const QByteArray& csv, CsvImportReport& report, QString* error,
                       const CsvImportProgress& progress)
{
    CsvRows rows;
    if (!ParseCsv(csv, rows, error))
        return false;
    if (rows.rows.empty()) {
        if (error)
            *error = "the file holds no header";
        return false;
    }
    const QStringList header = rows.rows.front();
    Columns c;
    const QStringList names = CsvPatientColumns();
    int* columnOf[] = {&c.number, &c.name, &c.sex, &c.birth, &c.height, &c.weight, &c.nation, &c.standard};
    for (int i = 0; i < names.size(); ++i)
        *columnOf[i] = int(header.indexOf(names[i]));
    for (int i = 0; i < 6; ++i)
        if (*columnOf[i] < 0) {
            if (error)
                *error = "column \"" + names[i] + "\" is missing";
            return false;
        }

    CsvImportReport out;
    struct Seen {
        PatientRecord patient;
        int line = 0;
    };
    QHash<QString, Seen> seen; // patient numbers taken from this file
    // An export's rows of a day's reported values repeat the patient of its blows.
    const int kind = int(header.indexOf("row_kind"));
    const int total = int(rows.rows.size()) - 1;
    for (std::size_t r = 1; r < rows.rows.size(); ++r) {
        if (progress)
            progress(int(r) - 1, total);
        if (kind >= 0 && rows.rows[r].value(kind) == "reported")
            continue;
        CsvImportRow row;
        row.line = rows.lines[r];
        PatientRecord patient;
        const QString reason = patientFromRow(db, rows.rows[r], c, patient);
        row.patientNumber = patient.PatientNumber;
        if (!reason.isEmpty()) {
            row.reason = reason;
            out.refused.push_back(row);
            continue;
        }
        const auto earlier = seen.constFind(patient.PatientNumber);
        if (earlier != seen.constEnd()) {
            if (samePatient(earlier->patient, patient)) {
                ++out.repeated;
            } else {
                row.reason = QString("differs from the patient of line %1 with the same number").arg(earlier->line);
                out.refused.push_back(row);
            }
            continue;
        }
        int count = 0;
        const int existing = PatientIdOfNumber(db, patient.PatientNumber, &count);
        if (existing > 0) {
            row.reason = QString("patient number %1 already exists (ID %2)").arg(patient.PatientNumber).arg(existing);
            out.refused.push_back(row);
            continue;
        }
        // The editor's registration: a key another workstation took meanwhile is
        // retried with the next one in a fresh transaction; the number stays the file's.
        if (CreatePatient(db, patient, patient.PatientNumber) <= 0) {
            const int taken = PatientIdOfNumber(db, patient.PatientNumber);
            row.reason = taken > 0 ? QString("patient number %1 already exists (ID %2)")
                                         .arg(patient.PatientNumber)
                                         .arg(taken)
                                   : "the database refused the row: " + db.LastError();
            out.refused.push_back(row);
            continue;
        }
        row.patientId = patient.ID;
        seen.insert(patient.PatientNumber, {patient, row.line});
        out.taken.push_back(row);
    }
    if (progress)
        progress(total, total);
    report = out;
    return true;
}
