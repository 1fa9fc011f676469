#pragma once
// A test day's report as a DICOM Encapsulated PDF instance (SOP class
// 1.2.840.10008.5.1.4.1.1.104.1) for the hospital's archive: the patient, a
// study per patient and day with a UID that follows from them (the same on
// every send), one series, the document title and the PDF. The instance UID
// follows from the study and the PDF's bytes: the same report is the same
// instance, a changed report a new one. docs/exchange.md lists every attribute.
#include "core/hospital/hospital_day.h"

#include <QByteArray>
#include <QString>

class DcmFileFormat;

inline constexpr char kEncapsulatedPdfStorage[] = "1.2.840.10008.5.1.4.1.1.104.1";

struct EncapsulatedPdfUids {
    QString study, series, instance;
};
EncapsulatedPdfUids EncapsulatedPdfUidsOf(const HospitalDay& day);

// Fills `file` (meta header and data set). False with the reason when DCMTK refuses an attribute.
bool BuildEncapsulatedPdf(const HospitalDay& day, DcmFileFormat& file, QString* error = nullptr);

// The instance as a DICOM Part 10 file in memory (explicit VR little endian).
bool EncapsulatedPdfBytes(const HospitalDay& day, QByteArray& bytes, QString* error = nullptr);
