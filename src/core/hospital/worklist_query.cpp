#include "core/hospital/worklist_query.h"

#include "core/hospital/dicom_store.h"

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dctk.h"
#include "dcmtk/dcmnet/scu.h"

#include <cmath>

namespace {

QString text(DcmItem& item, const DcmTagKey& tag)
{
    OFString value;
    item.findAndGetOFStringArray(tag, value);
    return QString::fromUtf8(value.c_str()).trimmed();
}

void readOrder(DcmItem& ds, WorklistOrder& o)
{
    o.patientNumber = text(ds, DCM_PatientID);
    // Family^Given^Middle^Prefix^Suffix; only the first group (alphabetic) is read.
    const QStringList name = text(ds, DCM_PatientName).section('=', 0, 0).split('^');
    o.surname = name.value(0).trimmed();
    o.firstName = (name.value(1) + ' ' + name.value(2)).trimmed();
    o.birthDate = QDate::fromString(text(ds, DCM_PatientBirthDate), "yyyyMMdd");
    const QString sex = text(ds, DCM_PatientSex);
    o.sex = sex == "M" ? 0 : sex == "F" ? 1 : -1;
    const double metres = text(ds, DCM_PatientSize).toDouble();
    const double kg = text(ds, DCM_PatientWeight).toDouble();
    o.height = metres > 0 ? int(std::lround(metres * 100)) : 0;
    o.weight = kg > 0 ? int(std::lround(kg)) : 0;
    o.accession = text(ds, DCM_AccessionNumber);
    o.procedure = text(ds, DCM_RequestedProcedureDescription);
    DcmItem* step = nullptr;
    if (ds.findAndGetSequenceItem(DCM_ScheduledProcedureStepSequence, step, 0).good() && step) {
        o.stationAe = text(*step, DCM_ScheduledStationAETitle);
        const QDate date =
            QDate::fromString(text(*step, DCM_ScheduledProcedureStepStartDate), "yyyyMMdd");
        o.scheduledDate = date.isValid() ? date.toString("yyyy-MM-dd") : QString();
        const QString time = text(*step, DCM_ScheduledProcedureStepStartTime);
        o.scheduledTime = time.size() >= 4 ? time.left(2) + ':' + time.mid(2, 2) : QString();
        o.modality = text(*step, DCM_Modality);
        if (o.procedure.isEmpty())
            o.procedure = text(*step, DCM_ScheduledProcedureStepDescription);
    }
}

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

bool QueryWorklist(const NetworkPeer& server, const QString& callingAe, const WorklistQuery& query,
                   int timeoutMs, std::vector<WorklistOrder>& orders, QString* error)
{
    DcmSCU scu;
    const QString refused = OpenDicomAssociation(
        scu, server, callingAe, UID_FINDModalityWorklistInformationModel, timeoutMs);
    if (!refused.isEmpty())
        return fail(error, "worklist: " + refused);
    const T_ASC_PresentationContextID context =
        scu.findPresentationContextID(UID_FINDModalityWorklistInformationModel, "");

    // The keys asked for; empty ones are to be returned.
    DcmDataset keys;
    keys.putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 192");
    keys.putAndInsertString(DCM_AccessionNumber, query.accession.toUtf8().constData());
    for (const DcmTagKey& tag :
         {DCM_PatientName, DCM_PatientID, DCM_PatientBirthDate, DCM_PatientSex, DCM_PatientSize,
          DCM_PatientWeight, DCM_RequestedProcedureDescription, DCM_RequestedProcedureID,
          DCM_StudyInstanceUID})
        keys.insertEmptyElement(tag);
    DcmItem* step = nullptr;
    keys.findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step);
    if (step) {
        step->putAndInsertString(DCM_ScheduledStationAETitle, query.station.toLatin1().constData());
        step->putAndInsertString(
            DCM_ScheduledProcedureStepStartDate,
            query.date.isValid() ? query.date.toString("yyyyMMdd").toLatin1().constData() : "");
        for (const DcmTagKey& tag :
             {DCM_ScheduledProcedureStepStartTime, DCM_Modality,
              DCM_ScheduledProcedureStepDescription, DCM_ScheduledProcedureStepID})
            step->insertEmptyElement(tag);
    }
    OFList<QRResponse*> responses;
    const OFCondition status = scu.sendFINDRequest(context, &keys, &responses);
    scu.releaseAssociation();
    std::vector<WorklistOrder> found;
    Uint16 last = 0xFFFF;
    for (QRResponse* r : responses) {
        if (r->m_dataset) {
            WorklistOrder o;
            readOrder(*r->m_dataset, o);
            found.push_back(o);
        }
        last = r->m_status;
        delete r;
    }
    if (status.bad())
        return fail(
            error,
            QString("the worklist query at %1 failed: %2").arg(server.Text(), status.text()));
    if (last != STATUS_Success)
        return fail(error, QString("the worklist %1 ended the query with status 0x%2")
                               .arg(server.Text())
                               .arg(last, 4, 16, QChar('0')));
    orders = found;
    return true;
}
