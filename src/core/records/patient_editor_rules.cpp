#include "core/records/patient_editor_rules.h"

#include "core/app/text_rule.h"

#include "core/records/database.h"
#include "core/records/patient_numbers.h"
#include "core/records/recordset.h"

#include "core/app/lang_text.h"
#include "core/clinical/gli_patient.h"

#include <algorithm>

QDate ValidDate(int year, int month, int day)
{
    for (int d = day; d >= 1; --d) {
        const QDate date(year, month, d);
        if (date.isValid())
            return date;
    }
    return QDate();
}

QDate BirthdateForAge(int age, const QDate& birthdate, const QDate& today)
{
    const int month = birthdate.isValid() ? birthdate.month() : today.month();
    const int day = birthdate.isValid() ? birthdate.day() : today.day();
    return ValidDate(today.year() - age, month, day);
}

int AgeForBirthdate(const QDate& birthdate, const QDate& today)
{
    return std::max(0, AgeFromBirthdate(birthdate, today));
}

PatientInputCheck CheckRange(PatientField field, int value)
{
    int low = 0, high = 0, key = 0;
    switch (field) {
    case PatientField::Age:
        low = kMinAge, high = kMaxAge, key = 1175;
        break;
    case PatientField::Height:
        low = kMinHeight, high = kMaxHeight, key = 1176;
        break;
    case PatientField::Weight:
        low = kMinWeight, high = kMaxWeight, key = 1177;
        break;
    default:
        return {};
    }
    if (value >= low && value <= high)
        return {};
    return {field, key, value < low ? low : high};
}

PatientInputCheck CheckAgeForSet(int age, int standard)
{
    const AgeRange range = ReferenceSetAges(standard);
    if (range.Contains(age))
        return {};
    PatientInputCheck check{PatientField::Age, kAgeOutsideSetMessage,
                            age < range.low ? range.low : range.high};
    check.Standard = standard;
    check.Low = range.low;
    check.High = range.high;
    return check;
}

QString PatientCheckText(const PatientInputCheck& check)
{
    if (!check.Text.isEmpty())
        return check.Text;
    const QString text = GetLangText("MESSAGE", check.MessageKey);
    if (check.MessageKey != kAgeOutsideSetMessage && check.MessageKey != kBirthAgeOutsideSetMessage)
        return text;
    const QString set = ReferenceSetLabel(check.Standard);
    return text.arg(set.isEmpty() ? QString("ERS") : set).arg(check.Low).arg(check.High);
}

namespace {

PatientInputCheck checkNumber(Database& db, const PatientInput& input, int currentId)
{
    if (input.Name.isEmpty())
        return {PatientField::Name, 163, 0};
    const QString name = TextRule::Refusal(input.Name, GetLangText("CASE", 105),
                                           PatientRecord::kNameLength);
    if (!name.isEmpty()) {
        PatientInputCheck check{PatientField::Name, 0, 0};
        check.Text = name;
        return check;
    }
    if (input.NumberText.isEmpty())
        return {PatientField::Number, 1172, 0};
    if (!IsValidPatientNumber(input.NumberText))
        return {PatientField::Number, 2200, 0};
    if (PatientNumberTaken(db, input.NumberText, currentId))
        return {PatientField::Number, 1245, 0};
    return {};
}

// The age box and the birth date must agree, and the age they give is the one stored.
PatientInputCheck checkAge(const PatientInput& input, const QDate& storedBirthdate,
                           const QDate& today)
{
    if (!input.Birthdate.isValid() || input.Birthdate > today)
        return {PatientField::Birthdate, 2201, 0};
    const int age = AgeFromBirthdate(input.Birthdate, today);
    // Each set takes the ages its equations cover (GLI 3 to 95, the older sets 6 to 100).
    const AgeRange range = ReferenceSetAges(input.Standard);
    // Patients grow older: an unchanged birth date past the upper bound stays valid.
    const bool kept = storedBirthdate.isValid() && input.Birthdate == storedBirthdate &&
                      age > range.high && input.Age == age;
    if (kept)
        return {};
    const PatientInputCheck typed = CheckAgeForSet(input.Age, input.Standard);
    if (!typed.Ok())
        return typed;
    if (age != input.Age)
        return {PatientField::Birthdate, 2202, 0};
    if (!range.Contains(age)) {
        PatientInputCheck check{PatientField::Birthdate, kBirthAgeOutsideSetMessage, 0};
        check.Standard = input.Standard;
        check.Low = range.low;
        check.High = range.high;
        return check;
    }
    return {};
}

PatientInputCheck checkAll(Database& db, const PatientInput& input, int currentId,
                           const QDate& storedBirthdate, const QDate& today)
{
    const PatientInputCheck number = checkNumber(db, input, currentId);
    if (!number.Ok())
        return number;
    const PatientInputCheck age = checkAge(input, storedBirthdate, today);
    if (!age.Ok())
        return age;
    for (const auto& [field, value] : {std::pair{PatientField::Height, input.Height},
                                       std::pair{PatientField::Weight, input.Weight}}) {
        const PatientInputCheck check = CheckRange(field, value);
        if (!check.Ok())
            return check;
    }
    // GLI-2012 predicts differently per ethnic group: the user must choose one.
    if (input.Standard == 3 && (input.Ethnic < 1 || input.Ethnic > 5))
        return {PatientField::Ethnic, 2569, 0};
    return {};
}

// Item data (Race.ID) of the tenth entry of the group list: "Not defined" as shipped.
int tenthGroup(Database& db)
{
    Recordset rs(db);
    rs.Open("SELECT ID FROM Race");
    if (rs.GetRecordCount() < 10)
        return 10;
    rs.MoveFirst();
    for (int i = 0; i < 9; ++i)
        rs.MoveNext();
    int id = 10;
    rs.GetFieldValue("ID", id);
    return id;
}

} // namespace

PatientInputCheck CheckNewPatient(Database& db, const PatientInput& input, const QDate& today)
{
    return checkAll(db, input, 0, QDate(), today);
}

PatientInputCheck CheckEditedPatient(Database& db, const PatientInput& input, int currentId,
                                     const QDate& storedBirthdate, const QDate& today)
{
    return checkAll(db, input, currentId, storedBirthdate, today);
}

PatientInput NewPatientDefaults(Database& db, const QDate& today, int standard)
{
    PatientInput input;
    input.NumberText = NextFreePatientNumber(db, LastPatientId(db) + 1);
    input.Age = 25;
    input.Birthdate = ValidDate(today.year() - 25, today.month(), today.day());
    input.Height = 160;
    input.Weight = 50;
    input.Nation = tenthGroup(db);
    input.Gender = 0;
    input.Standard = standard >= 0 && standard <= 4 ? standard : 0;
    input.Password = "586";
    input.PasswordFlag = 1;
    return input;
}

PatientInput InputFromPatient(Database& db, const PatientRecord& record, const QDate& today)
{
    PatientInput input;
    PatientName name;
    if (ReadPatientName(db, record.ID, name)) {
        input.Name = name.Name;
        input.Password = name.Password;
        input.PasswordFlag = name.PasswordFlag;
    }
    input.NumberText = record.PatientNumber; // shown and kept exactly as stored
    input.Birthdate = record.Birthdate.isValid()
                          ? record.Birthdate
                          : BirthdateForAge(record.Age, record.Birthdate, today);
    input.Age = AgeForBirthdate(input.Birthdate, today);
    input.Height = record.Height;
    input.Weight = record.Weight;
    input.Nation = record.Nation;
    input.Gender = record.Gender;
    input.Standard = record.Standard;
    input.Ethnic = record.Ethnic;
    return input;
}

bool InputDiffers(const PatientInput& input, const PatientRecord& record)
{
    return input.Gender != record.Gender || input.Nation != record.Nation ||
           input.Age != record.Age || input.Height != record.Height ||
           input.Weight != record.Weight || input.Birthdate != record.Birthdate ||
           input.Standard != record.Standard || input.Ethnic != record.Ethnic || input.Name != record.Name ||
           input.NumberText != record.PatientNumber;
}

void ApplyInput(const PatientInput& input, PatientRecord& record, const QDate& today)
{
    record.Name = input.Name;
    record.PatientNumber = input.NumberText;
    record.Gender = input.Gender;
    record.Birthdate = input.Birthdate;
    record.Age = AgeFromBirthdate(input.Birthdate, today);
    record.Height = input.Height;
    record.Weight = input.Weight;
    record.Nation = input.Nation;
    record.Standard = input.Standard;
    record.Ethnic = input.Ethnic;
    record.Password = input.Password;
    record.PasswordFlag = input.PasswordFlag;
    record.ClipTexts();
}
