#include "core/hospital/encapsulated_pdf.h"

#include "core/hospital/dicom_uid.h"
#include "core/report/report_page.h"

#include <QCryptographicHash>
#include <QDateTime>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcostrmb.h"
#include "dcmtk/dcmdata/dctk.h"

namespace {

// A value of a string VR: no backslash (it separates values), nothing past `max`.
QByteArray dicomText(QString text, int max)
{
    text.replace('\\', ' ');
    return text.trimmed().left(max).toUtf8();
}

// Person Name: "Family^Given" from "Surname, First name"; ^ and = belong to the format.
QByteArray personName(const QString& name)
{
    auto part = [](QString s) {
        return s.replace('^', ' ').replace('=', ' ').replace('\\', ' ').trimmed();
    };
    const int comma = name.indexOf(", ");
    const QString pn =
        comma > 0 ? part(name.left(comma)) + '^' + part(name.mid(comma + 2)) : part(name);
    return pn.left(64).toUtf8();
}

QString studyKey(const HospitalDay& day)
{
    return day.values.patient.PatientNumber + '/' + day.data.day;
}

} // namespace

EncapsulatedPdfUids EncapsulatedPdfUidsOf(const HospitalDay& day)
{
    EncapsulatedPdfUids uids;
    uids.study = DicomUidFromName("study/" + studyKey(day));
    uids.series = DicomUidFromName("series/" + studyKey(day));
    const QByteArray pdfHash =
        QCryptographicHash::hash(day.pdf, QCryptographicHash::Sha256).toHex();
    uids.instance =
        DicomUidFromName("instance/" + studyKey(day) + '/' + QString::fromLatin1(pdfHash));
    return uids;
}

bool BuildEncapsulatedPdf(const HospitalDay& day, DcmFileFormat& file, QString* error)
{
    const PatientRecord& patient = day.values.patient;
    const EncapsulatedPdfUids uids = EncapsulatedPdfUidsOf(day);
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime first = QDateTime::fromString(day.values.firstTestTime, "yyyy-MM-dd HH:mm:ss");
    const QString studyDate = QString(day.data.day).remove('-');
    const QString studyTime = first.isValid() ? first.toString("HHmmss") : QString();

    DcmDataset* ds = file.getDataset();
    const std::pair<DcmTagKey, QByteArray> values[] = {
        {DCM_SpecificCharacterSet, "ISO_IR 192"},
        {DCM_SOPClassUID, kEncapsulatedPdfStorage},
        {DCM_SOPInstanceUID, uids.instance.toLatin1()},
        {DCM_InstanceCreationDate, now.toString("yyyyMMdd").toLatin1()},
        {DCM_InstanceCreationTime, now.toString("HHmmss").toLatin1()},
        // Patient
        {DCM_PatientName, personName(patient.Name)},
        {DCM_PatientID, dicomText(patient.PatientNumber, 64)},
        {DCM_PatientBirthDate,
         patient.Birthdate.isValid() ? patient.Birthdate.toString("yyyyMMdd").toLatin1() : ""},
        {DCM_PatientSex, patient.Gender == 1 ? "F" : "M"},
        // General Study
        {DCM_StudyInstanceUID, uids.study.toLatin1()},
        {DCM_StudyDate, studyDate.toLatin1()},
        {DCM_StudyTime, studyTime.toLatin1()},
        {DCM_ReferringPhysicianName, ""},
        {DCM_StudyID, studyDate.toLatin1()},
        {DCM_AccessionNumber, dicomText(day.accession, 16)},
        {DCM_StudyDescription, "Spirometry"},
        // Encapsulated Document Series, General Equipment, SC Equipment
        {DCM_Modality, "DOC"},
        {DCM_SeriesInstanceUID, uids.series.toLatin1()},
        {DCM_SeriesNumber, "1"},
        {DCM_Manufacturer, "TAV Spirometer"},
        {DCM_ConversionType, "WSD"},
        // Encapsulated Document
        {DCM_InstanceNumber, "1"},
        {DCM_ContentDate, now.toString("yyyyMMdd").toLatin1()},
        {DCM_ContentTime, now.toString("HHmmss").toLatin1()},
        {DCM_AcquisitionDateTime,
         first.isValid() ? first.toString("yyyyMMddHHmmss").toLatin1() : ""},
        {DCM_BurnedInAnnotation, "YES"},
        {DCM_DocumentTitle, dicomText(ReportTitle() + " " + day.data.day, 64)},
        {DCM_MIMETypeOfEncapsulatedDocument, "application/pdf"},
    };
    for (const auto& [tag, value] : values) {
        const OFCondition status = ds->putAndInsertString(tag, value.constData());
        if (status.bad()) {
            if (error)
                *error = QString("DICOM attribute %1 refused: %2")
                             .arg(QString::fromLatin1(DcmTag(tag).getTagName()), status.text());
            return false;
        }
    }
    // The document itself: an OB value of even length, the PDF's own length beside it.
    QByteArray pdf = day.pdf;
    if (pdf.size() % 2)
        pdf.append('\0');
    ds->insertEmptyElement(DCM_ConceptNameCodeSequence);
    const OFCondition status = ds->putAndInsertUint8Array(
        DCM_EncapsulatedDocument, reinterpret_cast<const Uint8*>(pdf.constData()),
        unsigned(pdf.size()));
    if (status.bad() ||
        ds->putAndInsertUint32(DCM_EncapsulatedDocumentLength, Uint32(day.pdf.size())).bad()) {
        if (error)
            *error = QString("the PDF cannot be put into the DICOM instance: ") + status.text();
        return false;
    }
    return true;
}

bool EncapsulatedPdfBytes(const HospitalDay& day, QByteArray& bytes, QString* error)
{
    DcmFileFormat file;
    if (!BuildEncapsulatedPdf(day, file, error))
        return false;
    // Written in memory, as saveFile would write the file: nothing on disk for a kill to leave.
    constexpr E_TransferSyntax kSyntax = EXS_LittleEndianExplicit;
    OFCondition status = file.validateMetaInfo(kSyntax);
    const Uint32 length = file.calcElementLength(kSyntax, EET_ExplicitLength);
    QByteArray buffer(qsizetype(length) + 4096, '\0');
    DcmOutputBufferStream out(buffer.data(), buffer.size());
    if (status.good()) {
        file.transferInit();
        status = file.write(out, kSyntax, EET_ExplicitLength, nullptr);
        file.transferEnd();
    }
    void* written = nullptr;
    offile_off_t size = 0;
    out.flushBuffer(written, size);
    if (status.bad()) {
        if (error)
            *error = QString("the DICOM instance cannot be written: ") + status.text();
        return false;
    }
    bytes = QByteArray(static_cast<const char*>(written), qsizetype(size));
    return true;
}
