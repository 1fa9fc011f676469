#include "core/exchange/gdt_exchange.h"

#include "core/app/lang_text.h"
#include "core/app/durable_file.h"
#include "core/app/regular_file.h"
#include "core/app/text_rule.h"
#include "core/exchange/imported_patient.h"
#include "core/records/database.h"
#include "core/records/patient_editor_rules.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>

namespace {

constexpr int kMaxPatientNumberLength = 10;
constexpr char kProcedureCode[] = "SPIRO";

bool fail(QString* error, const GdtLine* line, const QString& message)
{
    if (error)
        *error = line ? QString("line %1: %2").arg(line->line).arg(message) : message;
    return false;
}

// A whole number of cm or kg; GDT writers send "175" or "72,5".
bool readMeasure(const QString& text, int& value)
{
    QString t = text.trimmed();
    t.replace(',', '.');
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v <= 0 || v > 1000)
        return false;
    value = int(std::lround(v));
    return true;
}

int testTypeFromProcedure(const QString& code, bool& known)
{
    const QString c = code.trimmed().toUpper();
    known = true;
    if (c.isEmpty() || c == "FVC" || c == kProcedureCode)
        return kTestFvc;
    if (c == "VC" || c == "SVC")
        return kTestVc;
    if (c == "MVV")
        return kTestMvv;
    known = false;
    return -1;
}

GdtStore outcome(QString* error, GdtStore result, const QString& message)
{
    if (error)
        *error = message;
    return result;
}

// "Müller, Jürgen, born 1976-05-14, male": how a message names a person.
QString identityText(const QString& name, const QDate& birthDate, int sex)
{
    return QString("%1, born %2, %3")
        .arg(name,
             birthDate.isValid() ? birthDate.toString("yyyy-MM-dd") : QString("on an unknown date"),
             QString(sex == 1   ? "female"
                     : sex == 0 ? "male"
                                : "of unknown sex"));
}

// The same person: name (spacing and letter case aside), birth date and sex.
bool samePerson(const PatientRecord& stored, const QString& name, const GdtRequest& request)
{
    const bool sameName =
        QString::compare(stored.Name.simplified(), name.simplified(), Qt::CaseInsensitive) == 0;
    return sameName && stored.Birthdate == request.birthDate && stored.Gender == request.sex;
}

QString gdtDate(const QDate& date)
{
    return date.toString("ddMMyyyy");
}

QString gdtNumber(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace

QString GdtPatientName(const QString& surname, const QString& firstName)
{
    const QString s = surname.trimmed(), f = firstName.trimmed();
    return f.isEmpty() ? s : s + ", " + f;
}

bool ReadGdtRequest(const GdtRecord& record, GdtRequest& request, QString* error)
{
    if (record.recordType != GdtRecordType::kSendMasterData &&
        record.recordType != GdtRecordType::kNewExamination)
        return fail(error, nullptr,
                    "line 1: record type " + record.recordType +
                        " is not a patient request (6301 or 6302)");
    GdtRequest r;
    r.recordType = record.recordType;

    // Two numbers, names or birth dates leave open which patient is meant.
    constexpr int kOnce[] = {GdtField::kPatientNumber, GdtField::kSurname,
                             GdtField::kFirstName,     GdtField::kBirthDate,
                             GdtField::kSex,           GdtField::kHeight,
                             GdtField::kWeight,        GdtField::kDeviceProcedure};
    for (const GdtLine& l : record.lines) {
        const GdtLine* first = record.Find(l.field);
        if (first != &l &&
            std::find(std::begin(kOnce), std::end(kOnce), l.field) != std::end(kOnce))
            return fail(error, &l,
                        QString("a second %1 line (the first is line %2); the request is ambiguous")
                            .arg(l.field)
                            .arg(first->line));
    }

    const GdtLine* number = record.Find(GdtField::kPatientNumber);
    if (!number || number->value.trimmed().isEmpty())
        return fail(error, number, "the patient number (3000) is missing");
    r.patientNumber = number->value.trimmed();
    if (r.patientNumber.size() > kMaxPatientNumberLength)
        return fail(error, number, QString("the patient number is longer than %1 characters").arg(kMaxPatientNumberLength));
    for (const QChar c : r.patientNumber)
        if (!c.isPrint())
            return fail(error, number, "the patient number holds a control character");

    const GdtLine* surname = record.Find(GdtField::kSurname);
    r.surname = surname ? surname->value.trimmed() : QString();
    r.firstName = record.Value(GdtField::kFirstName).trimmed();
    if (r.surname.isEmpty())
        return fail(error, surname, GetLangText("MESSAGE", 163) + " (3101)");
    const QString nameRefused = TextRule::Refusal(GdtPatientName(r.surname, r.firstName),
                                                  "name (3101, 3102)", PatientRecord::kNameLength);
    if (!nameRefused.isEmpty())
        return fail(error, surname, nameRefused);

    const GdtLine* birth = record.Find(GdtField::kBirthDate);
    if (!birth)
        return fail(error, nullptr, "the birth date (3103) is missing");
    r.birthDate = QDate::fromString(birth->value.trimmed(), "ddMMyyyy");
    if (!r.birthDate.isValid())
        return fail(error, birth, "the birth date \"" + birth->value + "\" is not a date DDMMYYYY");
    const int age = AgeFromBirthdate(r.birthDate);
    if (CheckRange(PatientField::Age, age).Field != PatientField::None)
        return fail(error, birth, GetLangText("MESSAGE", 1175) + QString(" (age %1)").arg(age));

    const GdtLine* sex = record.Find(GdtField::kSex);
    if (!sex)
        return fail(error, nullptr, "the sex (3110) is missing; predicted values need it");
    const QString sexValue = sex->value.trimmed().toUpper();
    if (sexValue == "1" || sexValue == "M")
        r.sex = 0;
    else if (sexValue == "2" || sexValue == "W" || sexValue == "F")
        r.sex = 1;
    else
        return fail(error, sex, "sex \"" + sex->value + "\" is neither 1 (male) nor 2 (female); the predicted values need one of them");

    if (const GdtLine* height = record.Find(GdtField::kHeight)) {
        if (!readMeasure(height->value, r.height))
            return fail(error, height, "the height \"" + height->value + "\" is not a number of cm");
        if (CheckRange(PatientField::Height, r.height).Field != PatientField::None)
            return fail(error, height, GetLangText("MESSAGE", 1176));
    }
    if (const GdtLine* weight = record.Find(GdtField::kWeight)) {
        if (!readMeasure(weight->value, r.weight))
            return fail(error, weight, "the weight \"" + weight->value + "\" is not a number of kg");
        if (CheckRange(PatientField::Weight, r.weight).Field != PatientField::None)
            return fail(error, weight, GetLangText("MESSAGE", 1177));
    }
    if (const GdtLine* procedure = record.Find(GdtField::kDeviceProcedure)) {
        bool known = false;
        r.testType = testTypeFromProcedure(procedure->value, known);
        if (!known)
            return fail(error, procedure, "unknown examination \"" + procedure->value + "\" (FVC, VC or MVV)");
    } else if (r.recordType == GdtRecordType::kNewExamination) {
        r.testType = kTestFvc;
    }
    request = r;
    return true;
}

GdtStore StoreGdtRequest(Database& db, const GdtRequest& request, GdtImport& result, QString* error)
{
    int count = 0;
    if (!db.BeginTransaction())
        return outcome(error, GdtStore::Failed,
                       "the database cannot start a change: " + db.LastError());
    // Whatever goes wrong below leaves the register as it was.
    auto stop = [&](GdtStore why, const QString& message) {
        db.Rollback();
        return outcome(error, why, message);
    };
    const int existing = PatientIdOfNumber(db, request.patientNumber, &count);
    if (existing < 0)
        return stop(GdtStore::Failed, "the patient register cannot be read: " + db.LastError());
    if (count > 1)
        return stop(GdtStore::Refused, "patient number " + request.patientNumber +
                                           " is held by more than one patient");
    const QString name = GdtPatientName(request.surname, request.firstName);
    PatientRecord record;
    if (existing > 0) {
        if (!LoadPatient(db, existing, record))
            return stop(GdtStore::Failed, "the patient register cannot be read: " + db.LastError());
        // A number alone is no proof: another practice system, a typing error or
        // a reused number would otherwise hand this patient's tests to a stranger.
        if (!samePerson(record, name, request))
            return stop(GdtStore::Conflict,
                        QString("patient number %1 is held here by %2; the request names %3. "
                                "Neither patient was changed.")
                            .arg(request.patientNumber,
                                 identityText(record.Name, record.Birthdate, record.Gender),
                                 identityText(name, request.birthDate, request.sex)));
    } else {
        const PatientInput defaults = NewPatientDefaults(db);
        record.Nation = defaults.Nation;
        record.Standard = defaults.Standard;
        record.Height = defaults.Height;
        record.Weight = defaults.Weight;
        record.Name = name;
        record.PatientNumber = request.patientNumber;
        record.Birthdate = request.birthDate;
        record.Gender = request.sex;
    }
    if (request.height > 0)
        record.Height = request.height;
    if (request.weight > 0)
        record.Weight = request.weight;
    int id = existing;
    bool ok = true;
    if (existing == 0) {
        ok = InsertPatientKeepingNumber(db, record);
        id = record.ID;
    } else {
        ok = SavePatientDemographics(db, id, record);
    }
    if (!ok || !db.Commit())
        return stop(GdtStore::Failed, "the patient could not be stored: " + db.LastError());
    result.patientId = id;
    result.created = existing == 0;
    result.testType = request.testType;
    return GdtStore::Stored;
}

namespace {

// Reads and checks a request file; nothing when it is one, else why not.
std::optional<GdtStore> readRequestFile(const QString& path, GdtRequest& request, QString* error)
{
    QByteArray bytes;
    QString reason;
    switch (RegularFile::Read(path, kMaxGdtRequestSize, bytes, &reason)) {
    case RegularFile::Status::Read:
        break;
    case RegularFile::Status::NotRegular:
    case RegularFile::Status::TooLarge:
        // No practice system writes such a request: nothing later makes it one.
        return outcome(error, GdtStore::Refused, reason);
    case RegularFile::Status::Missing:
        // A link to nothing never turns into a request; a file gone meanwhile may come back.
        return outcome(error, QFileInfo(path).isSymLink() ? GdtStore::Refused : GdtStore::Failed,
                       reason);
    case RegularFile::Status::Failed:
        return outcome(error, GdtStore::Failed, reason);
    }
    GdtRecord record;
    if (!ParseGdt(bytes, record, error) || !ReadGdtRequest(record, request, error))
        return GdtStore::Refused;
    return std::nullopt;
}

} // namespace

GdtStore ImportGdtFile(Database& db, const QString& path, GdtImport& result, QString* error)
{
    GdtRequest request;
    if (const std::optional<GdtStore> refused = readRequestFile(path, request, error))
        return *refused;
    return StoreGdtRequest(db, request, result, error);
}

namespace {

// Sets a refused request aside under a name of its own: "<name>.refused", or
// "<name>.N.refused" when earlier ones hold that. The rename never replaces a
// file, so a refused request that raced for the same name is kept too.
bool setAside(const QString& path, QString* error)
{
    constexpr int kMaxKept = 100000;
    for (int n = 1; n <= kMaxKept; ++n) {
        const QString name = n == 1 ? path + ".refused" : QString("%1.%2.refused").arg(path).arg(n);
        if (QFileInfo::exists(name) || QFileInfo(name).isSymLink())
            continue;
        QFile file(path);
        if (file.rename(name))
            return true;
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink()) {
            if (error)
                *error = "cannot set it aside as " + name + ": " + file.errorString();
            return false;
        }
    }
    if (error)
        *error = "cannot set it aside: too many refused requests are kept beside it";
    return false;
}

} // namespace

GdtInboxFile ReadGdtInbox(const ExchangeSettings& settings)
{
    GdtInboxFile file;
    if (settings.gdtFolder.isEmpty())
        return file;
    const QDir folder(settings.gdtFolder);
    const QStringList matches =
        // System too: a FIFO or a device under a request's name is refused and set
        // aside with a message, not left to sit there unseen.
        folder.entryList({settings.RequestFileName()}, QDir::Files | QDir::System, QDir::Name);
    if (matches.isEmpty())
        return file;
    file.path = folder.filePath(matches.front());
    const std::optional<GdtStore> refused = readRequestFile(file.path, file.request, &file.reason);
    if (!refused) {
        file.state = GdtInboxFile::State::Request;
        return file;
    }
    if (*refused == GdtStore::Failed) {
        file.state = GdtInboxFile::State::Waiting;
        file.reason += "; the request stays in " + folder.path() + " and is tried again";
        return file;
    }
    // A file that ends inside a line may still be being written by a
    // practice system that does not write by rename: give it time first.
    constexpr int kSettleSeconds = 10;
    const QDateTime written = QFileInfo(file.path).lastModified();
    if (file.reason.contains("(truncated)") &&
        written.secsTo(QDateTime::currentDateTime()) < kSettleSeconds) {
        file.state = GdtInboxFile::State::Empty;
        return file;
    }
    QString kept;
    if (!setAside(file.path, &kept))
        file.reason += "; " + kept;
    file.state = GdtInboxFile::State::Refused;
    return file;
}

GdtInboxResult SettleGdtRequest(const GdtInboxFile& file, GdtStore stored, const QString& reason,
                                QString* error)
{
    const auto say = [&](GdtInboxResult result, const QString& text) {
        if (error)
            *error = text;
        return result;
    };
    switch (stored) {
    case GdtStore::Stored:
        if (!QFile::remove(file.path))
            return say(GdtInboxResult::Taken,
                       "the patient is stored, but the request " + file.path + " cannot be removed");
        return GdtInboxResult::Taken;
    case GdtStore::Failed:
        // The order itself is fine: it waits for the database (or disk) to come back.
        return say(GdtInboxResult::Waiting,
                   reason + "; the request stays in " + QFileInfo(file.path).path() +
                       " and is tried again");
    case GdtStore::Refused:
    case GdtStore::Conflict:
        break;
    }
    QString kept;
    return say(GdtInboxResult::Refused, setAside(file.path, &kept) ? reason : reason + "; " + kept);
}

GdtInboxResult TakeGdtRequest(Database& db, const ExchangeSettings& settings, GdtImport& result,
                              QString* error)
{
    const GdtInboxFile file = ReadGdtInbox(settings);
    const auto say = [&](GdtInboxResult outcome) {
        if (error)
            *error = file.reason;
        return outcome;
    };
    switch (file.state) {
    case GdtInboxFile::State::Empty:
        return GdtInboxResult::Empty;
    case GdtInboxFile::State::Refused:
        return say(GdtInboxResult::Refused);
    case GdtInboxFile::State::Waiting:
        return say(GdtInboxResult::Waiting);
    case GdtInboxFile::State::Request:
        break;
    }
    QString reason;
    const GdtStore stored = StoreGdtRequest(db, file.request, result, &reason);
    return SettleGdtRequest(file, stored, reason, error);
}

GdtRecord BuildGdtResult(const DayResults& day, const ExchangeSettings& settings,
                         const QString& pdfPath)
{
    GdtRecord r;
    r.recordType = GdtRecordType::kExaminationData;
    r.version = settings.gdtVersion;
    r.charset = settings.gdtVersion.startsWith("03") ? GdtCharset::Latin9 : settings.gdtCharset;
    r.Add(GdtField::kReceiverId, settings.gdtPracticeId);
    r.Add(GdtField::kSenderId, settings.gdtOwnId);
    r.Add(GdtField::kPatientNumber, day.patient.PatientNumber);
    const int comma = day.patient.Name.indexOf(", ");
    r.Add(GdtField::kSurname, comma > 0 ? day.patient.Name.left(comma) : day.patient.Name);
    if (comma > 0)
        r.Add(GdtField::kFirstName, day.patient.Name.mid(comma + 2));
    if (day.patient.Birthdate.isValid())
        r.Add(GdtField::kBirthDate, gdtDate(day.patient.Birthdate));
    r.Add(GdtField::kSex, day.patient.Gender == 1 ? "2" : "1");
    r.Add(GdtField::kHeight, QString::number(day.patient.Height));
    r.Add(GdtField::kWeight, QString::number(day.patient.Weight));
    const QDateTime last = QDateTime::fromString(day.lastTestTime, "yyyy-MM-dd HH:mm:ss");
    r.Add(GdtField::kExamDate, last.isValid() ? gdtDate(last.date()) : QString(day.day).remove('-'));
    if (last.isValid())
        r.Add(GdtField::kExamTime, last.time().toString("HHmmss"));
    r.Add(GdtField::kDeviceProcedure, kProcedureCode);

    auto addTest = [&](const QString& id, const QString& name, double value, const QString& unit) {
        r.Add(GdtField::kTestId, id);
        r.Add(GdtField::kTestName, name);
        r.Add(GdtField::kResultValue, gdtNumber(value));
        r.Add(GdtField::kResultUnit, unit);
    };
    for (const ParameterResult& v : day.values) {
        const ExchangeParameter& p = *v.parameter;
        // A day with a bronchodilator test names the phase of each value.
        const QString phaseId = v.phase == SessionPhase::Pre ? "_PRE" : v.phase == SessionPhase::Post ? "_POST" : "";
        const QString phaseText = v.phase == SessionPhase::Pre    ? " (pre-bronchodilator)"
                                  : v.phase == SessionPhase::Post ? " (post-bronchodilator)"
                                                                  : "";
        const QString id = p.slug + phaseId;
        const QString name = p.name + phaseText;
        addTest(id, p.text + phaseText + (v.usableOnly ? QString(", ") + kUsableOnlyNote : QString()), v.measured,
                p.ucum);
        if (v.predicted)
            addTest(id + "_PRED", name + " predicted (" + day.referenceSet + ")", *v.predicted, p.ucum);
        if (v.lln)
            addTest(id + "_LLN", name + " lower limit of normal", *v.lln, p.ucum);
        if (v.zScore)
            addTest(id + "_Z", name + " z-score", *v.zScore, "");
        if (v.percentPredicted)
            addTest(id + "_PCT", name + " % predicted", *v.percentPredicted, "%");
    }
    // Findings: one line per line of the physician's text.
    const QStringList findings = day.diagnosis.Result.split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts);
    for (const QString& line : findings)
        r.Add(GdtField::kFindings, line.left(900));
    if (!day.diagnosis.Physician.trimmed().isEmpty())
        r.Add(GdtField::kComment, day.diagnosis.Physician.trimmed());
    if (!pdfPath.isEmpty()) {
        r.Add(GdtField::kFileFormat, "PDF");
        r.Add(GdtField::kFileDescription, "Spirometry report " + day.day);
        r.Add(GdtField::kFileReference, QDir::toNativeSeparators(QFileInfo(pdfPath).absoluteFilePath()));
    }
    return r;
}

bool WriteGdtFile(const GdtRecord& record, const QString& path, QString* error)
{
    QByteArray bytes;
    if (!SerializeGdt(record, bytes, error))
        return false;
    return DurableFile::Write(path, bytes, error);
}
