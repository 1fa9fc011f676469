#pragma once
// A program folder with GLI patients and FVC sessions stored the way the test
// writer stores them, and the day's values as they leave the program.
#include "support/stored_tests.h"
#include "exchange_fixture.h"
#include "support/test_patient.h"

#include "core/exchange/day_results.h"

class DayResultsTest : public ExchangeTest {
  protected:
    int addPatient(int standard, bool male, const QDate& birth, int height, int ethnic = 0)
    {
        PatientRecord p = TestPatient("GLI, Person", male ? 0 : 1, birth, height, 70, standard, ethnic);
        const int id = CreatePatient(db, p);
        EXPECT_GT(id, 0);
        return id;
    }

    // A session of three good blows whose largest FEV1 and FVC are the ones given.
    void storeSession(int id, int session, int phase, const QString& day, int hour, double fev1,
                      double fvc)
    {
        const PulseStream good = blowPulses(true);
        for (int i = 0; i < 3; ++i) {
            const ManeuverResult r =
                blowRecord(float(fvc - 0.03 * i), float(fev1 - 0.03 * i), good);
            StoreSessionBlow(db, id, nextNumber++, r, good,
                             QString("%1 %2:%3:00").arg(day).arg(hour, 2, 10, QChar('0')).arg(i * 5, 2, 10, QChar('0')),
                             {session, i + 1, phase, basis});
        }
    }

    DayResults collect(int id, const QDate& day)
    {
        DayResults r;
        QString error;
        EXPECT_TRUE(CollectDayResults(db, id, day.toString("yyyy-MM-dd"), r, &error)) << error.toStdString();
        return r;
    }

    static const ParameterResult* find(const DayResults& day, const char* name,
                                       SessionPhase phase = SessionPhase::Unspecified)
    {
        for (const ParameterResult& v : day.values)
            if (QString(v.parameter->name) == name && v.phase == phase)
                return &v;
        return nullptr;
    }

    int nextNumber = 1;
    TestBasis basis; // what each stored blow keeps of its set and BTPS
};

