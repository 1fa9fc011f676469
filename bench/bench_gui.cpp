// How long the patient list page takes with 100,000 patients: reading the
// rows, opening the main window on the page (first paint included), and
// selecting a patient at the end of the list. Runs on the offscreen platform.
#include "core/app/app_paths.h"
#include "core/app/patient_list.h"
#include "core/app/system_settings.h"
#include "core/records/database.h"
#include "gui/app/main_shell_dlg.h"
#include "gui/app/show_message.h"
#include "gui/records/user_manage_dlg.h"

#include <QApplication>
#include <QSqlDatabase>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kPatients = 100000;

// A program folder whose data.mdb holds kPatients patients, made once.
class Folder {
  public:
    Folder()
    {
        AppPaths::Init(m_dir.path(), m_dir.path());
        Settings().Reset();
        db.Open(AppPaths::DatabaseFile());
        db.BeginTransaction();
        for (int id = 1; id <= kPatients; ++id) {
            db.Execute(
                "insert into UserInfo(ID, ptID, LastName, FirstName, Gender, Birthdate, Height, "
                "Weight, Nation, Smoke, Address, Postalcode, City, Job, UserPassWord, "
                "PassWordFlag, Standard) values(?, ?, ?, ?, ?, ?, ?, ?, ?, 0, '', '', '', '', "
                "'586', 1, 0)",
                {id, QString::asprintf("%08d", id), "Patient", QString("Patient %1").arg(id),
                 id % 2, QString("%1-05-17").arg(1930 + id % 80), 150 + id % 50, 50 + id % 40,
                 1 + id % 10});
        }
        db.Commit();
    }

    Database db;

  private:
    QTemporaryDir m_dir;
};

Folder& folder()
{
    static Folder instance;
    return instance;
}

void BM_ReadPatientList(benchmark::State& state)
{
    folder();
    for (auto _ : state) {
        auto rows = ReadPatientList(folder().db);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * kPatients);
}
BENCHMARK(BM_ReadPatientList)->Unit(benchmark::kMillisecond);

// From nothing to the maximised main window showing the filled patient list.
void BM_ShowPatientListPage(benchmark::State& state)
{
    for (auto _ : state) {
        CMainShellDlg shell(folder().db);
        shell.show();
        QApplication::processEvents();
        auto* list = shell.findChild<QTableView*>("patientList");
        list->viewport()->repaint();
        benchmark::DoNotOptimize(list->model()->rowCount());
    }
}
BENCHMARK(BM_ShowPatientListPage)->Unit(benchmark::kMillisecond);

// Selecting the last patient: record, predicted values, days, panes.
void BM_SelectLastPatient(benchmark::State& state)
{
    CMainShellDlg shell(folder().db);
    shell.show();
    QApplication::processEvents();
    auto* list = shell.findChild<QTableView*>("patientList");
    int row = kPatients - 1;
    for (auto _ : state) {
        list->selectRow(row);
        list->scrollTo(list->model()->index(row, 0));
        list->viewport()->repaint();
        row = row == kPatients - 1 ? kPatients - 2 : kPatients - 1;
    }
}
BENCHMARK(BM_SelectLastPatient)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Qt's connection registry must be created before the static folder's
    // Database, so that it is destroyed after it at exit.
    QSqlDatabase::contains(QString());
    SetMessageHook([](const QString&, const QString&, int) { return 1; });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
