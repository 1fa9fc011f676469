// Not a test: PNGs of the live test page mid-test, the patient list's curve
// panes over a day of demo tests, the calibration dialog and the Bluetooth
// setup dialog. Usage: live_screenshots OUTDIR (offscreen or under xvfb-run).
#include "core/app/app_paths.h"
#include "gui/device/device_hooks.h"
#include "core/session/measurement_parts.h"
#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/session/live_test_session.h"
#include "gui/app/main_shell_dlg.h"
#include "gui/app/show_message.h"
#include "gui/device/comm_setup_dialog.h"
#include "gui/measure/fvc_testing_dlg.h"
#include "gui/measure/scaler_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSqlDatabase>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

namespace {
QString g_out;

void save(QWidget& widget, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    widget.grab().save(g_out + '/' + name + ".png");
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One demo test of `type`, saved for patient `id` as the live page would.
void demoTest(Database& db, int id, int type)
{
    LiveTestSession session(LiveParts());
    QEventLoop loop;
    QObject::connect(&session, &LiveTestSession::deviceFinished, &loop, [&](int request) {
        SaveContext context;
        context.patientId = id;
        context.caseFolder = AppPaths::PatientCaseFolder(id);
        context.heightCm = 172;
        session.Save(request, context, db);
        loop.quit();
    });
    if (session.Start(type) == LiveTestSession::kStarted)
        loop.exec();
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QSqlDatabase::contains(QString());
    if (argc < 2)
        return 2;
    g_out = QDir(argv[1]).absolutePath();
    QDir().mkpath(g_out);
    QTemporaryDir home;
    AppPaths::Init(home.path(), home.path());
    Settings().simulator = 1;
    Database db;
    db.Open(AppPaths::DatabaseFile());
    SetMessageHook([](const QString&, const QString&, int) { return 1; });

    PatientRecord patient;
    patient.Name = "Anna Schmidt";
    patient.Gender = 1;
    patient.Birthdate = QDate(1968, 4, 12);
    patient.Height = 172;
    patient.Weight = 64;
    patient.Nation = 1;
    const int id = CreatePatient(db, patient);
    for (int type : {0, 0, 0, 1, 2})
        demoTest(db, id, type);

    CMainShellDlg shell(db);
    shell.resize(1280, 800);
    shell.show();
    shell.findChild<QTableView*>("patientList")->selectRow(0);
    shell.findChild<QTableWidget*>("dayList")->selectRow(0);
    QApplication::processEvents();
    save(shell, "main_page_panes");

    // The live page half-way through a demo FVC test at a person's pace.
    LiveParts().devices.SetSimulatorRealTime(true);
    shell.SetCurrentTestType(0);
    shell.ShowPage(CMainShellDlg::kLiveTestPage);
    wait(4500);
    save(shell, "live_fvc_running");
    if (auto* live = qobject_cast<CFVCTestingDlg*>(shell.CurrentPage()))
        live->OnCancel();
    shell.SetCurrentTestType(2);
    shell.ShowPage(CMainShellDlg::kLiveTestPage);
    wait(9000);
    save(shell, "live_mvv_running");
    if (auto* live = qobject_cast<CFVCTestingDlg*>(shell.CurrentPage()))
        live->OnCancel();
    LiveParts().devices.SetSimulatorRealTime(false);

    CScalerDlg scaler(&shell);
    scaler.findChild<QComboBox*>("volume")->setCurrentIndex(1);
    save(scaler, "calibration_dialog");
    CommSetupDialog setup(SharedBluetooth(), &shell);
    save(setup, "comm_setup_no_radio");
    return 0;
}
