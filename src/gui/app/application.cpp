#include "gui/app/application.h"

#include "core/accounts/account_store.h"
#include "core/app/interface_thread.h"
#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/records/calibration_log.h"
#include "core/records/database.h"
#include "core/records/database_location.h"
#include "core/records/interrupted_saves.h"
#include "core/records/patient_numbers.h"
#include "gui/app/gdt_inbox.h"
#include "gui/app/login_dialog.h"
#include "gui/app/main_window.h"
#include "gui/app/show_message.h"
#include "gui/device/device_hooks.h"
#include "gui/report/report_hooks.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextStream>

namespace {
// With TAV_AUTO_ANSWER set (scripted runs, tests) every message box is written
// to stderr and answered with that number instead of waiting for a user.
void installAutoAnswer()
{
    bool ok = false;
    const int answer = qEnvironmentVariableIntValue("TAV_AUTO_ANSWER", &ok);
    if (!ok)
        return;
    SetMessageHook([answer](const QString& text, const QString& caption, int) {
        QTextStream(stderr) << caption << ": " << text << '\n';
        return answer;
    });
}

// The start-up failure uses the standard message box (the program's own needs the language tables).
void startupError(const QString& text)
{
    if (MessageHookInstalled())
        ShowMessage(text, QString(), 0);
    else
        QMessageBox::critical(nullptr, QString(), text);
}
// data.mdb, or the clinic's server named by the DATABASE setting. A server that
// wants a password neither PGPASSWORD nor the password file gave is asked for
// one; it is used for this run only.
bool openRecords(Database& db)
{
    QString target;
    QString error;
    if (!ChooseDatabase(QString(), Settings().database, AppPaths::DatabaseFile(), target,
                        &error)) {
        QTextStream(stderr) << error << '\n';
        return false;
    }
    if (db.Open(target, Database::kPassword))
        return true;
    QTextStream(stderr) << db.LastError() << '\n';
    DatabaseLocation location;
    if (!db.NeedsPassword() || MessageHookInstalled() ||
        !ParseDatabaseLocation(target, location, nullptr))
        return false;
    bool given = false;
    const QString password = QInputDialog::getText(
        nullptr, location.Display(), GetLangText("MESSAGE", 2800), QLineEdit::Password,
        QString(), &given);
    return given && db.OpenServer(location, password);
}
} // namespace

bool SelectOffscreenWhenHeadless()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

int RunApplication(QApplication& app, const QString& exeFolder)
{
    // Waits on a device, a worker or a disk sync are noted when they run here.
    MarkInterfaceThread();
    installAutoAnswer();
    AppPaths::Init(exeFolder);
    QString folderError;
    if (!AppPaths::PrepareProgramFolder(&folderError)) {
        startupError(GetLangText("MESSAGE", 2900) + '\n' + folderError);
        return 1;
    }
    Settings().Load(AppPaths::SettingsFile());
    if (!Settings().unreadable.isEmpty()) {
        // Starting on the defaults would open a new empty database in place of the clinic's.
        startupError("The settings are not read: " + Settings().unreadable);
        return 1;
    }
    AppPaths::SetCaseFolder(AppPaths::CaseRoot());

    Database db;
    if (!openRecords(db)) {
        startupError(QString::fromUtf8("连接数据库失败！"));
        return 1;
    }
    // What killed saves left is settled before any page reads the records.
    InterruptedSaves settled;
    QString settleError;
    const bool settledAll = SettleInterruptedSaves(db, settled, settleError);
    InstallDeviceHooks();
    InstallReportHooks(db);
    Database::SetNotifier(
        [](const QString& text, const QString& caption) { ShowMessage(text, caption, 0); });

    // Once accounts are on, nobody works unnamed.
    Actor user = Actor::Unchecked();
    if (AccountStore(db).AccountsOn()) {
        LoginDialog login(db);
        if (login.exec() != QDialog::Accepted)
            return 1;
        user = login.LoggedIn();
    }
    {
        MainWindow shell(db);
        shell.SetUser(user);
        AttachSharedBluetooth(shell);
        GdtInbox gdtInbox(shell); // requests of the practice system, while the patient list shows
        // Not exec(): hiding a dialog ends its exec(), and the print preview
        // hides the main window while it is open.
        QApplication::setQuitOnLastWindowClosed(false);
        QObject::connect(&shell, &QDialog::finished, &app, &QApplication::quit);
        shell.show();
        // Patients sharing a number (from a database older than the rule) are named once.
        const std::vector<SharedPatientNumber> shared =
            FindSharedPatientNumbers(db);
        if (!shared.empty())
            ShowMessage(SharedPatientNumbersText(shared), PromptCaption(), 0, &shell);
        if (!settled.recovered.isEmpty())
            ShowMessage(GetLangText("MESSAGE", 2901).arg(AppPaths::RecoveryFolder()) + '\n' +
                            settled.recovered.join('\n'),
                        PromptCaption(), 0, &shell);
        if (!settledAll)
            ShowMessage(GetLangText("MESSAGE", 2902) + '\n' + settleError, PromptCaption(), 0,
                        &shell);
        // The flow sensor's daily syringe check, when none passed recently.
        if (CheckDue(db, QDateTime::currentDateTime(), Settings().checkHours))
            ShowMessage(GetLangText("MESSAGE", 3183).arg(Settings().checkHours), PromptCaption(), 0,
                        &shell);
        const QStringList open = AppPaths::OpenToOthers();
        if (!open.isEmpty())
            ShowMessage(GetLangText("MESSAGE", 2903) + '\n' + open.join('\n'), PromptCaption(), 0,
                        &shell);
        app.exec();
    }
    db.Close();
    return 0;
}
