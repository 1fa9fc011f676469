#include "core/hospital/hospital_day.h"

#include "core/accounts/day_signoff.h"
#include "core/report/pdf_export.h"

#include "core/hospital/order_book.h"

bool LoadHospitalDay(Database& db, int patientId, const QString& day, HospitalDay& out,
                     const QString& accession, QString* error)
{
    HospitalDay d;
    if (!LoadReportData(db, patientId, day, d.data)) {
        if (error)
            *error = QString("no patient with ID %1, or the day is not YYYY-MM-DD: %2")
                         .arg(patientId)
                         .arg(day);
        return false;
    }
    if (!CollectDayResults(d.data, d.values, error))
        return false;
    // A signed day leaves as it was signed, its stored PDF checked against its hash.
    DaySignOff signoff(db);
    const int signedVersion = signoff.LatestSigned(patientId, day);
    if (signedVersion > 0) {
        d.pdf = signoff.SignedReport(patientId, day, signedVersion, error);
        if (d.pdf.isEmpty())
            return false;
    } else if (!ReportPdfBytes(d.data, d.pdf, error)) {
        return false;
    }
    d.accession =
        accession.isEmpty() ? OrderBook::InProgramFolder().AccessionFor(patientId, day) : accession;
    out = std::move(d);
    return true;
}
