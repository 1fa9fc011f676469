#pragma once
// Test files and rows of FVC sessions, written the way the test writer does.
#include "core/app/app_paths.h"
#include "core/measure/flow_engine.h"
#include "core/measure/test_file_writer.h"
#include "core/records/case_store.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

inline constexpr int kCoefficient = 156;

// Expiratory pulses of a blow: most of the volume in the first 2 s, then
// either one last pulse at `seconds` (a plateau) or a steady trickle to the end.
inline PulseStream blowPulses(bool plateau, double seconds = 4.0)
{
    PulseStream samples;
    for (int i = 0; i < 200; ++i)
        samples.push_back({std::uint32_t(i * 1000), kDirectionExpiration}); // every 10 ms
    if (plateau) {
        samples.push_back({std::uint32_t(seconds * 100000), kDirectionExpiration});
    } else {
        for (std::uint32_t t = 200000; t <= std::uint32_t(seconds * 100000); t += 5000)
            samples.push_back({t, kDirectionExpiration}); // 20 pulses a second
    }
    return samples;
}

inline ManeuverResult blowRecord(float fvc, float fev1, const PulseStream& samples, int evolMl = 50)
{
    ManeuverResult r;
    r.FVC = fvc;
    r.FEV1 = fev1;
    r.PEF = 8;
    r.FIVC = fvc - 0.1f;
    r.EVOL = evolMl;
    r.FET = 3.9f;
    r.ExpCount = int(samples.size());
    return r;
}

inline void WriteSessionFile(int patientId, int number, const ManeuverResult& record, const PulseStream& samples,
                             const QString& time)
{
    QDir().mkpath(AppPaths::PatientCaseFolder(patientId));
    SaveContext context;
    context.patientId = patientId;
    context.expCoefficient = kCoefficient;
    const QString name = QString("%1.dt").arg(number);
    const QByteArray bytes = BuildTestFile(MakeHeader(context, name, time), record, samples.data(),
                                           int(samples.size()), QByteArray(32, '\1'));
    QFile file(AppPaths::PatientCaseFolder(patientId) + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline void StoreSessionBlow(Database& db, int patientId, int number, const ManeuverResult& record,
                             const PulseStream& samples, const QString& time, const SessionPlace& place)
{
    WriteSessionFile(patientId, number, record, samples, time);
    ASSERT_TRUE(RegisterTest(db, patientId, QString("%1.dt").arg(number), time, record, kTestFvc, place));
}
