#pragma once
// A program folder with a seeded database, one patient with stored tests
// (from the report tests' fixture), and helpers to count register rows.
#include "report/report_fixture.h"

#include "core/records/recordset.h"

class ExchangeTest : public ReportTest {
  protected:
    int count(const QString& sql, const QVariantList& values = {})
    {
        Recordset rs(db);
        rs.Open(sql, values);
        return rs.GetRecordCount();
    }
    int patientCount() { return count("SELECT ID FROM UserInfo"); }

    // A day with two FVC tests, one VC and one MVV test.
    void addDay(const QString& day)
    {
        addTest(kTestFvc, day + " 10:00:00", FvcRecord(4.80f, 3.50f, 8.0f), FvcPulses(4.8, 8.0));
        addTest(kTestFvc, day + " 10:04:00", FvcRecord(4.60f, 3.90f, 9.5f), FvcPulses(4.6, 9.5));
        addTest(kTestVc, day + " 10:30:00", FvcRecord(4.10f, 3.00f, 0.0f), TidalPulses(5, 0.6));
        addTest(kTestMvv, day + " 10:40:00", MvvRecord(142.5f), TidalPulses(6, 1.2));
    }
};
