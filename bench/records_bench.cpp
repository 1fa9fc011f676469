// Records at scale: 100,000 patients and 1,000,000 stored tests, generated here.
// With TAV_BENCH_SERVER=1 the same on a throw-away PostgreSQL server (the test
// suite's), the busy day's test files stored in the database.
#include "core/app/app_paths.h"
#include "core/measure/test_file_writer.h"
#include "core/records/case_file_store.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/patient_list.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"
#include "core/records/recordset.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "support/pg_server.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

namespace {

constexpr int kPatients = 100000;
constexpr int kCaseRows = 1000000;
constexpr int kBusyPatient = 1;  // the patient with 1,000 tests
constexpr int kBusyTests = 1000; // over 100 days, ten a day
const char* const kBusyDay = "2025-06-15";

struct Fixture {
    QTemporaryDir dir;
    Database db;
    PatientRecord patient;
};

Fixture* fixture = nullptr;

bool exec(QSqlQuery& query)
{
    if (query.exec())
        return true;
    std::fprintf(stderr, "insert failed\n");
    return false;
}

// The busy patient's day holds ten FVC tests with real test files.
void writeDayFiles(Database& db)
{
    std::vector<PulseSample> samples(3000);
    for (int i = 0; i < int(samples.size()); ++i)
        samples[i] = {static_cast<std::uint32_t>(i * 200), 1};
    for (int n = 1; n <= 10; ++n) {
        ManeuverResult r;
        r.FVC = 4.0f + n * 0.01f;
        r.FEV1 = 3.0f + (n % 4) * 0.05f;
        SaveContext context;
        const QString name = QString("%1.dt").arg(n);
        const TestFileHeader header = MakeHeader(
            context, name, QString("%1 09:%2:00").arg(kBusyDay).arg(n, 2, 10, QChar('0')));
        db.Files().Write(kBusyPatient, name,
                         BuildTestFile(header, r, samples.data(), int(samples.size()),
                                       QByteArray(32, '\1')));
    }
}

bool generate(Database& db)
{
    std::mt19937 random(7);
    QElapsedTimer timer;
    timer.start();
    QSqlDatabase connection = db.Connection();
    QSqlQuery(connection).exec("PRAGMA synchronous = OFF"); // a throw-away file
    if (!db.BeginTransaction())
        return false;
    QSqlQuery patient(connection);
    patient.prepare(
        "insert into UserInfo(ID, ptID, LastName, FirstName, Gender, Birthdate, Height, "
        "Weight, Nation, Smoke, Address, Postalcode, City, Job, UserPassWord, "
        "PassWordFlag, Standard) values(?, ?, ?, ?, ?, ?, ?, ?, ?, 0, '', '', '', '', "
        "'586', 1, ?)");
    for (int id = 1; id <= kPatients; ++id) {
        const QString name = QString("Patient %1").arg(id);
        patient.bindValue(0, id);
        patient.bindValue(1, QString::asprintf("%08d", id));
        patient.bindValue(2, name);
        patient.bindValue(3, name);
        patient.bindValue(4, id % 2);
        patient.bindValue(
            5, QString::asprintf("%04d-%02d-%02d", 1930 + id % 80, 1 + id % 12, 1 + id % 28));
        patient.bindValue(6, 150 + id % 45);
        patient.bindValue(7, 45 + id % 60);
        patient.bindValue(8, 1 + id % 10);
        patient.bindValue(9, id % 3);
        if (!exec(patient))
            return false;
    }
    QSqlQuery test(connection);
    test.prepare("insert into CaseInfo(ID, DataName, TestTime, FVC, PEF, Duration, FEV1, MVV, VC, "
                 "TestType) values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    auto insert = [&](int id, int n, const QString& time, int kind) {
        test.bindValue(0, id);
        test.bindValue(1, QString("%1.dt").arg(n));
        test.bindValue(2, time);
        test.bindValue(3, 3.0 + (n % 100) / 100.0);
        test.bindValue(4, 8.0);
        test.bindValue(5, 6);
        test.bindValue(6, 2.5 + (n % 50) / 100.0);
        test.bindValue(7, 100.0);
        test.bindValue(8, 3.5);
        test.bindValue(9, kind);
        return exec(test);
    };
    // Busy patient: days going back from the bench day, ten tests each; the bench day's are FVC.
    const QDate busyDay = QDate::fromString(kBusyDay, "yyyy-MM-dd");
    for (int n = 1; n <= kBusyTests; ++n) {
        const int dayIndex = (n - 1) / 10;
        const QString time = QString("%1 09:%2:00")
                                 .arg(busyDay.addDays(-dayIndex).toString("yyyy-MM-dd"))
                                 .arg((n - 1) % 10 + 1, 2, 10, QChar('0'));
        if (!insert(kBusyPatient, n, time, dayIndex == 0 ? 0 : n % 3))
            return false;
    }
    const qint64 rest = kCaseRows - kBusyTests;
    if (db.IsServer()) {
        // The server makes its rows itself: a million round trips would measure the socket.
        const bool made = db.Execute(QString(
            "insert into CaseInfo(ID, DataName, TestTime, FVC, PEF, Duration, FEV1, MVV, VC, TestType) "
            "select 2 + (i::bigint * %1) / %2, i || '.dt', "
            "to_char(date '2020-01-01' + (i::bigint * 7919 %% 2190)::int, 'YYYY-MM-DD') || ' ' || "
            "to_char(i %% 24, 'FM00') || ':' || to_char(i %% 60, 'FM00') || ':00', "
            "3.0 + (i %% 100) / 100.0, 8, 6, 2.5 + (i %% 50) / 100.0, 100, 3.5, i %% 3 "
            "from generate_series(0, %2 - 1) as i").arg(kPatients - 1).arg(rest).replace("%%", "%"));
        if (!made || !db.Commit())
            return false;
        db.Execute("ANALYZE");
        std::fprintf(stderr, "generated %d patients and %d tests in %.1f s\n", kPatients,
                     kCaseRows, timer.elapsed() / 1000.0);
        return true;
    }
    // The other patients share the rest, about ten tests each, on random days; rows go in
    // patient order, as tests accumulate per patient, which keeps the index inserts local.
    std::uniform_int_distribution<int> dayOf(0, 6 * 365);
    const QDate first(2020, 1, 1);
    int previous = 0, number = 0;
    for (qint64 i = 0; i < rest; ++i) {
        const int id = 2 + static_cast<int>(i * (kPatients - 1) / rest);
        number = id == previous ? number + 1 : 1;
        previous = id;
        const QString time = first.addDays(dayOf(random)).toString("yyyy-MM-dd") +
                             QString::asprintf(" %02d:%02d:00", int(i % 24), int(i % 60));
        if (!insert(id, number, time, int(i % 3)))
            return false;
    }
    if (!db.Commit())
        return false;
    std::fprintf(stderr, "generated %d patients and %d tests in %.1f s\n", kPatients, kCaseRows,
                 timer.elapsed() / 1000.0);
    return true;
}

void printPlan(Database& db, const QString& sql)
{
    if (db.IsServer())
        return; // the plans printed are SQLite's
    QSqlQuery query(db.Connection());
    query.exec("EXPLAIN QUERY PLAN " + sql);
    std::fprintf(stderr, "plan of %s\n", qPrintable(sql.simplified()));
    while (query.next())
        std::fprintf(stderr, "    %s\n", qPrintable(query.value(3).toString()));
}

void BM_PatientList(benchmark::State& state)
{
    for (auto _ : state) {
        const auto rows = LoadPatientList(fixture->db);
        benchmark::DoNotOptimize(rows.data());
        if (rows.size() != kPatients)
            state.SkipWithError("wrong patient count");
    }
}
BENCHMARK(BM_PatientList)->Unit(benchmark::kMillisecond);

constexpr int kScreenRows = 40; // rows of a maximised patient list

// What the patient page and `tavctl patient list` do before showing anything: read the
// group names, count the patients and read the rows of one screen, in the order of
// argument 0 (a PatientListColumn).
void BM_PatientListFirstScreen(benchmark::State& state)
{
    const auto column = PatientListColumn(state.range(0));
    for (auto _ : state) {
        PatientListQuery query(fixture->db);
        query.SetOrder(column, false);
        int count = 0;
        const auto rows = query.FirstRows(kScreenRows, count);
        if (count != kPatients || int(rows.size()) != kScreenRows)
            state.SkipWithError("wrong rows");
    }
}
BENCHMARK(BM_PatientListFirstScreen)
    ->Arg(int(PatientListColumn::Key))
    ->Arg(int(PatientListColumn::Name))
    ->Arg(int(PatientListColumn::Age))
    ->Arg(int(PatientListColumn::Nation))
    ->Unit(benchmark::kMillisecond);

// A screen far down the list sorted by name, as after dragging the scroll bar to the end.
void BM_PatientListLastScreen(benchmark::State& state)
{
    PatientListQuery query(fixture->db);
    query.SetOrder(PatientListColumn::Name, false);
    for (auto _ : state) {
        const auto rows = query.Rows(kPatients - kScreenRows, kScreenRows);
        if (int(rows.size()) != kScreenRows)
            state.SkipWithError("wrong rows");
    }
}
BENCHMARK(BM_PatientListLastScreen)->Unit(benchmark::kMillisecond);

// One keystroke in the search box: the list narrowed to the typed text (argument 0 is
// how many characters of "Patient 5432" or "0005432" are typed), counted and its first
// screen read.
void BM_PatientSearchKeystroke(benchmark::State& state)
{
    const bool byNumber = state.range(1) != 0;
    const QString typed = QString(byNumber ? "0005432" : "Patient 5432").left(int(state.range(0)));
    PatientListQuery query(fixture->db);
    for (auto _ : state) {
        query.SetFilter(typed);
        int count = 0;
        const auto rows = query.FirstRows(128, count); // a page of the patient page's model
        if (count <= 0 || rows.empty())
            state.SkipWithError("nothing found");
    }
}
BENCHMARK(BM_PatientSearchKeystroke)
    ->Args({1, 0})
    ->Args({9, 0})
    ->Args({12, 0})
    ->Args({4, 1})
    ->Args({7, 1})
    ->Unit(benchmark::kMillisecond);

// Finding the row of the selected patient again after a sort.
void BM_PatientListPositionOf(benchmark::State& state)
{
    PatientListQuery query(fixture->db);
    query.SetOrder(PatientListColumn::Name, true);
    for (auto _ : state)
        if (query.PositionOf(kPatients - 7) < 0)
            state.SkipWithError("patient not found");
}
BENCHMARK(BM_PatientListPositionOf)->Unit(benchmark::kMicrosecond);

void BM_TestDays(benchmark::State& state)
{
    for (auto _ : state) {
        const QStringList days = TestDays(fixture->db, kBusyPatient);
        if (days.size() != kBusyTests / 10)
            state.SkipWithError("wrong day count");
    }
}
BENCHMARK(BM_TestDays)->Unit(benchmark::kMillisecond);

void BM_LoadDayTests(benchmark::State& state)
{
    for (auto _ : state) {
        const CaseTestList tests = LoadDayTests(fixture->db, kBusyPatient, kBusyDay, 0);
        if (tests.size() != 10)
            state.SkipWithError("wrong test count");
    }
}
BENCHMARK(BM_LoadDayTests)->Unit(benchmark::kMicrosecond);

void BM_ComputePredictedValues(benchmark::State& state)
{
    for (auto _ : state) {
        ManeuverResult predicted;
        ComputePredictedValues(fixture->db, predicted, fixture->patient);
        benchmark::DoNotOptimize(predicted);
    }
}
BENCHMARK(BM_ComputePredictedValues)->Unit(benchmark::kMicrosecond);

void BM_PatientNumberTaken(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(PatientNumberTaken(fixture->db, "00054321", 7));
}
BENCHMARK(BM_PatientNumberTaken)->Unit(benchmark::kMicrosecond);

void BM_LastPatientId(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(LastPatientId(fixture->db));
}
BENCHMARK(BM_LastPatientId)->Unit(benchmark::kMicrosecond);

void BM_ReconcileDay(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ReconcileDay(fixture->db, kBusyPatient, kBusyDay));
}
BENCHMARK(BM_ReconcileDay)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Fixture f;
    fixture = &f;
    AppPaths::Init(f.dir.path(), f.dir.path());
    const QString where = qEnvironmentVariable("TAV_BENCH_SERVER") == "1"
                              ? PgTestServer::Shared().NewDatabase()
                              : f.dir.path() + "/data.mdb";
    if (where.isEmpty() || !f.db.Open(where) || !generate(f.db))
        return 1;
    writeDayFiles(f.db);
    ReconcileDay(f.db, kBusyPatient, kBusyDay); // rows follow their files once
    LoadPatient(f.db, 1234, f.patient);
    printPlan(f.db,
              "SELECT * FROM CaseInfo WHERE ID = 1 and TestType = 0 and YEAR(TestTime) = 2025 "
              "AND MONTH(TestTime) = 6 and DAY(TestTime) = 15 order by FVC+FEV1 desc");
    printPlan(f.db, "SELECT TestTime FROM CaseInfo WHERE ID = 1 order by YEAR(TestTime) DESC, "
                    "MONTH(TestTime) DESC, DAY(TestTime) DESC");
    printPlan(f.db, "SELECT * FROM UserInfo WHERE ptID = '00054321' AND ID <> 7");
    printPlan(f.db, "SELECT ID FROM UserInfo ORDER BY FirstName DESC, ID DESC LIMIT 40 OFFSET 0");
    printPlan(f.db, "SELECT * FROM Predict WHERE Type = 0 AND Gender = 0 AND Age_lower_limit <= 40 "
                    "AND Age_upper_limit > 40");
    printPlan(f.db, "SELECT * FROM Nation WHERE nNation = 3 ORDER BY ParamName");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fixture = nullptr;
    return 0;
}
