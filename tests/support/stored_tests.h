#pragma once
// Tests stored the way the test writer stores them: the test file under
// Case/<ID>/, then its row; the pulses and records they hold.
#include "core/app/app_paths.h"
#include "core/measure/flow_engine.h"
#include "core/measure/ideal_pulses.h"
#include "core/measure/test_file_writer.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "support/temp_home.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

// The sensor coefficients every stored test here was measured with.
inline constexpr int kCoefficient = 156;
inline constexpr int kInspCoefficient = 145;

// An FVC manoeuvre of an ideal turbine: a forced expiration then a sine-shaped inspiration.
inline PulseStream FvcPulses(double capacity, double pef, int expCoefficient = kCoefficient,
                             int inspCoefficient = kInspCoefficient)
{
    PulseStream samples;
    ForcedExpiration expiration;
    expiration.capacity = capacity;
    expiration.pef = pef;
    const int exp = AppendIdealPulses(
        samples, [&](double t) { return expiration.Volume(t); }, 6.0,
        FlowEngine::ExpiratoryPulseVolume(expCoefficient), 0.0, 1);
    (void)exp;
    SineBreath inspiration;
    inspiration.volume = capacity * 0.9;
    inspiration.duration = 2.5;
    AppendIdealPulses(
        samples, [&](double t) { return inspiration.Volume(t); }, inspiration.duration,
        FlowEngine::InspiratoryPulseVolume(inspCoefficient), 6.05, 0);
    return samples;
}

// Quiet breathing: `breaths` cycles of `volume` L, each 4 s.
inline PulseStream TidalPulses(int breaths, double volume, int expCoefficient = kCoefficient,
                               int inspCoefficient = kInspCoefficient)
{
    PulseStream samples;
    SineBreath half;
    half.volume = volume;
    half.duration = 2.0;
    for (int i = 0; i < breaths; ++i) {
        AppendIdealPulses(
            samples, [&](double t) { return half.Volume(t); }, 2.0,
            FlowEngine::ExpiratoryPulseVolume(expCoefficient), i * 4.0 + 0.01, 1);
        AppendIdealPulses(
            samples, [&](double t) { return half.Volume(t); }, 2.0,
            FlowEngine::InspiratoryPulseVolume(inspCoefficient), i * 4.0 + 2.01, 0);
    }
    return samples;
}

// Writes <n>.dt of the patient with the record and samples and registers its row;
// returns the file name. `acceptable` sets the FVC acceptance flags.
inline QString WriteRegisteredTest(TempHome& home, Database& db, int patientId, int type,
                                   const QString& testTime, ManeuverResult record,
                                   const PulseStream& samples = {}, bool acceptable = true)
{
    // An FVC record counts the samples of its manoeuvre, the whole file;
    // VC and MVV records count their first breath only (left at 0 here).
    record.ExpCount = 0;
    record.InspCount = 0;
    if (type == kTestFvc) {
        for (const PulseSample& s : samples)
            record.ExpCount += s.direction;
        record.InspCount = int(samples.size()) - record.ExpCount;
    }
    const QString folder = AppPaths::PatientCaseFolder(patientId);
    QDir().mkpath(folder);
    const QString dataName = QString("%1.dt").arg(NextTestNumber(folder));
    SaveContext context;
    context.testType = type;
    context.expCoefficient = kCoefficient;
    context.inspCoefficient = kInspCoefficient;
    context.deviceId = "TAV-TEST";
    const TestFileHeader header = MakeHeader(context, dataName, testTime);
    // FVC files end with the acceptance flags, VC files with the tidal summary.
    QByteArray trailer(type == kTestFvc  ? kAcceptanceSize
                       : type == kTestVc ? kTidalSummarySize
                                         : 0,
                       '\0');
    if (type == kTestFvc && acceptable)
        for (int i = 0; i < 8; ++i)
            trailer[i * 4] = 1;
    home.write("Case/" + QString::number(patientId) + "/" + dataName,
               BuildTestFile(header, record, samples.data(), int(samples.size()), trailer));
    EXPECT_TRUE(RegisterTest(db, patientId, dataName, testTime, record, type));
    return dataName;
}

// An FVC record whose other values follow from the three given.
inline ManeuverResult FvcRecord(float fvc, float fev1, float pef, float fef25 = 6.0f)
{
    ManeuverResult r;
    r.FVC = fvc;
    r.FEV1 = fev1;
    r.PEF = pef;
    r.FEF25 = fef25;
    r.FEF50 = fef25 * 0.7f;
    r.FEF75 = fef25 * 0.35f;
    r.FEF2575 = fef25 * 0.6f;
    r.FEV6 = fvc * 0.98f;
    r.VC = fvc;
    r.FEV1_FVC = fev1 / fvc * 100.0f;
    r.MVV = fev1 * 35.0f;
    r.ELA = 47;
    r.EVOL = 120;
    r.FET = 5.5f;
    return r;
}

// A slow VC record: the lung volumes in a healthy adult's proportions.
inline ManeuverResult VcRecord(float vc)
{
    ManeuverResult r;
    r.VC = vc;
    r.IC = vc * 0.6f;
    r.ERV = vc * 0.4f;
    r.TV = 0.55f;
    r.MV = 7.7f;
    r.RR = 14;
    return r;
}

inline ManeuverResult MvvRecord(float mvv)
{
    ManeuverResult r;
    r.MVV = mvv;
    return r;
}

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
