#include "core/hospital/hospital_day.h"

#include "core/hospital/day_report_pdf.h"
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
    if (!CollectDayResults(d.data, d.values, error) || !DayReportPdf(d.data, d.pdf, error))
        return false;
    d.accession =
        accession.isEmpty() ? OrderBook::InProgramFolder().AccessionFor(patientId, day) : accession;
    out = std::move(d);
    return true;
}
