// Not a test: writes a PNG of every page and dialog of the desktop program
// into the folder given, for looking at them (run under xvfb-run or offscreen).
// Usage: gui_screenshots OUTDIR
#include "core/app/app_paths.h"
#include "core/app/system_settings.h"
#include "core/records/database.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_record.h"
#include "gui/app/about_dlg.h"
#include "gui/app/main_shell_dlg.h"
#include "gui/app/message_dlg.h"
#include "gui/app/setting_dlg.h"
#include "gui/app/show_message.h"
#include "gui/records/diagnose_dlg.h"
#include "gui/records/diagnose_phrase_dlg.h"
#include "gui/records/modify_predict_dlg.h"
#include "gui/records/patient_edit_dlg.h"
#include "gui/records/predict_mod_dlg.h"

#include <QApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {
QString g_out;

void save(QWidget& widget, const QString& name)
{
    widget.show();
    QApplication::processEvents();
    widget.grab().save(g_out + '/' + name + ".png");
}

void seed(Database& db)
{
    const char* names[] = {"Li Wei", "Anna Schmidt", "Robert O'Brien", "Maria Santos"};
    for (int i = 0; i < 4; ++i) {
        PatientRecord r;
        r.Name = names[i];
        r.Gender = i % 2;
        r.Birthdate = QDate(1950 + 15 * i, 4, 12);
        r.Height = 150 + 8 * i;
        r.Weight = 50 + 9 * i;
        r.Nation = i == 0 ? 3 : 1;
        CreatePatient(db, r);
    }
    const char* times[] = {"2026-11-30 09:10:00", "2026-11-30 09:12:30", "2026-11-30 09:20:00",
                           "2026-12-05 14:02:00"};
    for (int i = 0; i < 4; ++i)
        db.Execute(
            "insert into CaseInfo(ID, DataName, TestTime, FVC, PEF, Duration, FEV1, MVV, VC, "
            "TestType) values(1, ?, ?, ?, ?, 6, ?, 0, 3.9, ?)",
            {QString("%1.dt").arg(i + 1), times[i], 4.2 + 0.1 * i, 9.1 - 0.2 * i, 3.4 + 0.05 * i,
             i == 2 ? 1 : 0});
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
    QDir().mkpath(home.path() + "/Language");
    const QString source = qEnvironmentVariable("TAV_LANGUAGE_DIR");
    for (const QString& name : QDir(source).entryList(QDir::Files))
        QFile::copy(source + '/' + name, home.path() + "/Language/" + name);
    Settings().language = argc > 2 ? argv[2] : "English";
    Database db;
    db.Open(AppPaths::DatabaseFile());
    seed(db);
    SetMessageHook([](const QString&, const QString&, int) { return 1; });

    CMainShellDlg shell(db);
    shell.resize(1280, 800);
    shell.show();
    auto* list = shell.findChild<QTableView*>("patientList");
    list->selectRow(0);
    shell.findChild<QTableWidget*>("dayList")->selectRow(1);
    QApplication::processEvents();
    save(shell, "main_page");

    CSettingDlg settings(db, &shell);
    save(settings, "settings_dialog");
    CPatientEditDlg editor(&shell, &shell);
    save(editor, "patient_editor_edit");
    shell.SetSelectedPatientTag(QString());
    CPatientEditDlg newEditor(&shell, &shell);
    save(newEditor, "patient_editor_new");
    CModifyPredictDlg groups(db, &shell);
    save(groups, "nation_groups");
    CPredictModDlg correction({{1, "Caucasian"}, {3, "Chinese"}}, {"ERV", "FVC"}, &shell);
    correction.SetValues(3, 2, "1.000000", "0.000000");
    save(correction, "correction_edit");
    DiagnosisRecord record;
    CDiagnoseDlg diagnose(db, 1, "2026-11-30", record, &shell);
    save(diagnose, "diagnosis");
    CDiagnosePhraseDlg phrases(&shell);
    save(phrases, "diagnosis_phrases");
    CMessageDlg message("The user information have been reworked, do you want to save or not?",
                        "Prompt", 4, &shell);
    save(message, "message_box");
    CAboutDlg about(&shell);
    save(about, "about_box");

    shell.SetCurrentTestType(0);
    shell.ShowPage(CMainShellDlg::kResultsPage);
    save(shell, "results_page");
    shell.ShowPage(CMainShellDlg::kLiveTestPage);
    save(shell, "live_test_page");
    return 0;
}
