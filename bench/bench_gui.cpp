// How long the patient list page takes with 100,000 patients: opening the main
// window on the page (first paint included), one keystroke in its search box,
// and selecting a patient at the end of the list; and the longest time the
// interface thread does not answer during a whole test on the virtual device.
// Runs on the offscreen platform.
#include "core/app/app_paths.h"
#include "core/app/system_settings.h"
#include "core/records/database.h"
#include "core/session/measurement_parts.h"
#include "gui/app/page.h"
#include "gui/app/stall_meter.h"
#include "gui/device/device_hooks.h"
#include "gui/app/main_window.h"
#include "gui/app/show_message.h"
#include "gui/records/patient_list_page.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
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

// One key typed into the search box of the page (argument 0: the number of characters of
// "Patient 5432" typed before it), the list narrowed and repainted.
void BM_SearchKeystroke(benchmark::State& state)
{
    MainWindow shell(folder().db);
    shell.show();
    QApplication::processEvents();
    auto* search = shell.findChild<QLineEdit*>("patientSearch");
    auto* list = shell.findChild<QTableView*>("patientList");
    const QString text = "Patient 5432";
    const int before = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        search->setText(text.left(before));
        QApplication::processEvents();
        state.ResumeTiming();
        search->setText(text.left(before + 1));
        list->viewport()->repaint();
    }
}
BENCHMARK(BM_SearchKeystroke)->Arg(0)->Arg(8)->Arg(11)->Unit(benchmark::kMillisecond);

// From nothing to the maximised main window showing the filled patient list.
void BM_ShowPatientListPage(benchmark::State& state)
{
    for (auto _ : state) {
        MainWindow shell(folder().db);
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
    MainWindow shell(folder().db);
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

// A whole FVC session on the virtual device, from the Test button to the
// results page (start, three blows, save): the longest stall of the interface
// thread, reported as the counter longest_stall_ms.
void BM_LiveSessionLongestStall(benchmark::State& state)
{
    Settings().simulator = 1;
    LiveParts().devices.SetSimulatorRealTime(false);
    MainWindow shell(folder().db);
    shell.show();
    shell.findChild<QTableView*>("patientList")->selectRow(0);
    QApplication::processEvents();
    for (auto _ : state) {
        StallMeter meter;
        shell.findChild<QPushButton*>("fvcTest")->click();
        QElapsedTimer bound;
        bound.start();
        while (shell.CurrentPage()->Template() != Workbench::kResultsPage && bound.elapsed() < 120000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        state.counters["longest_stall_ms"] = double(meter.LongestStallMs());
        shell.ShowPage(Workbench::kMainPage);
        QApplication::processEvents();
    }
    LiveParts().devices.Disconnect();
    Settings().simulator = 0;
}
BENCHMARK(BM_LiveSessionLongestStall)->Iterations(3)->Unit(benchmark::kMillisecond);

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
