// Exchange at scale: the CSV table of 1,000 patients with 10,000 stored tests
// (real test files and rows, generated here).
#include "core/app/app_paths.h"
#include "core/exchange/csv_export.h"
#include "core/exchange/imported_patient.h"
#include "core/measure/test_file_writer.h"
#include "core/records/case_store.h"
#include "core/records/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr int kPatients = 1000;
constexpr int kTestsPerPatient = 10;

Database* database = nullptr;

bool generate(Database& db)
{
    if (!db.BeginTransaction())
        return false;
    for (int p = 1; p <= kPatients; ++p) {
        PatientRecord patient;
        patient.PatientNumber = QString::asprintf("R%07d", p);
        patient.Name = QString("Patient %1").arg(p);
        patient.Gender = p % 2;
        patient.Birthdate = QDate(1940 + p % 60, 1 + p % 12, 1 + p % 28);
        patient.Height = 150 + p % 40;
        patient.Weight = 50 + p % 40;
        patient.Nation = 1 + p % 5;
        patient.Standard = p % 5; // every reference set, the GLI ones with LLN and z-scores
        if (!InsertPatientKeepingNumber(db, patient))
            return false;
        const QString folder = AppPaths::PatientCaseFolder(patient.ID);
        QDir().mkpath(folder);
        for (int t = 1; t <= kTestsPerPatient; ++t) {
            const int type = t % 5 == 0 ? kTestVc : t % 7 == 0 ? kTestMvv : kTestFvc;
            ManeuverResult r;
            r.FVC = 3.0f + t * 0.1f;
            r.FEV1 = 2.5f + t * 0.05f;
            r.FEV1_FVC = r.FEV1 / r.FVC * 100.0f;
            r.PEF = 7.0f;
            r.VC = r.FVC;
            r.MVV = 120.0f;
            r.ELA = 40;
            const QString dataName = QString("%1.dt").arg(t);
            const QString testTime = QString("2026-%1-%2 10:%3:00")
                                         .arg(1 + t % 12, 2, 10, QChar('0'))
                                         .arg(1 + p % 28, 2, 10, QChar('0'))
                                         .arg(t, 2, 10, QChar('0'));
            SaveContext context;
            context.testType = type;
            const TestFileHeader header = MakeHeader(context, dataName, testTime);
            QFile file(folder + '/' + dataName);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(BuildTestFile(header, r, nullptr, 0, QByteArray(40, '\0'))) <= 0)
                return false;
            if (!RegisterTest(db, patient.ID, dataName, testTime, r, type))
                return false;
        }
    }
    return db.Commit();
}

void BM_CsvExport1000Patients10000Tests(benchmark::State& state)
{
    for (auto _ : state) {
        QByteArray csv;
        CsvExportResult result;
        if (!BuildTestsCsv(*database, QDate(), QDate(), csv, result) ||
            result.rows != kPatients * kTestsPerPatient) {
            state.SkipWithError("export failed");
            return;
        }
        benchmark::DoNotOptimize(csv.data());
        state.counters["MB"] = csv.size() / 1e6;
    }
}
BENCHMARK(BM_CsvExport1000Patients10000Tests)->Unit(benchmark::kMillisecond)->Iterations(3);


} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    AppPaths::Init(dir.path(), dir.path());
    Database db;
    if (!db.Open(dir.path() + "/data.mdb") || !generate(db)) {
        std::fprintf(stderr, "cannot generate the records\n");
        return 1;
    }
    database = &db;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    database = nullptr;
    return 0;
}
