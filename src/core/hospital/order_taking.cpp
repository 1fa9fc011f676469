#include "core/hospital/order_taking.h"

#include "core/app/text_rule.h"
#include "core/records/patient_editor_rules.h"
#include "core/records/patient_record.h"

#include <QDateTime>

namespace {

constexpr int kMaxPatientNumberLength = 20;

// What the worklist must give before a patient is stored from it.
QString missing(const WorklistOrder& o)
{
    if (o.accession.isEmpty())
        return "the order has no accession number";
    if (o.patientNumber.isEmpty() || o.patientNumber.size() > kMaxPatientNumberLength)
        return QString("the patient ID is empty or longer than %1 characters")
            .arg(kMaxPatientNumberLength);
    for (const QChar c : o.patientNumber)
        if (!c.isPrint())
            return "the patient ID holds a control character";
    if (o.surname.isEmpty())
        return "the order names no patient";
    const QString name = TextRule::Refusal(GdtPatientName(o.surname, o.firstName), "name",
                                           PatientRecord::kNameLength);
    if (!name.isEmpty())
        return name;
    if (!o.birthDate.isValid() ||
        CheckRange(PatientField::Age, AgeFromBirthdate(o.birthDate)).Field != PatientField::None)
        return "the birth date is missing or outside the ages the program takes";
    if (o.sex < 0)
        return "the sex is not given as M or F; the predicted values need it";
    return QString();
}

} // namespace

GdtStore TakeWorklistOrder(Database& db, const WorklistOrder& order, const OrderBook& book,
                           GdtImport& result, QString* error)
{
    const QString why = missing(order);
    if (!why.isEmpty()) {
        if (error)
            *error = "order " + order.accession + " refused: " + why;
        return GdtStore::Refused;
    }
    GdtRequest request;
    request.recordType = "6301";
    request.patientNumber = order.patientNumber;
    request.surname = order.surname;
    request.firstName = order.firstName;
    request.birthDate = order.birthDate;
    request.sex = order.sex;
    // Height and weight only within the editor's ranges; otherwise the register keeps its own.
    if (CheckRange(PatientField::Height, order.height).Field == PatientField::None)
        request.height = order.height;
    if (CheckRange(PatientField::Weight, order.weight).Field == PatientField::None)
        request.weight = order.weight;
    const GdtStore stored = StoreGdtRequest(db, request, result, error);
    if (stored != GdtStore::Stored)
        return stored;
    TakenOrder taken;
    taken.patientId = result.patientId;
    taken.accession = order.accession;
    taken.day = order.scheduledDate.isEmpty() ? QDate::currentDate().toString("yyyy-MM-dd")
                                              : order.scheduledDate;
    taken.procedure = order.procedure;
    taken.takenAt = QDateTime::currentDateTime().toString(Qt::ISODate);
    QString reason;
    if (!book.Record(taken, &reason)) {
        if (error)
            *error = "the patient is stored, but the order's accession number could not be kept: " +
                     reason;
        return GdtStore::Failed;
    }
    return GdtStore::Stored;
}
