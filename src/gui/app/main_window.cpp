#include "gui/app/main_window.h"

#include "core/accounts/audit_log.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/records/database.h"
#include "gui/app/about_dialog.h"
#include "gui/app/help_command.h"
#include "gui/app/login_dialog.h"
#include "gui/app/page.h"
#include "gui/app/product_picture.h"
#include "gui/measure/live_test_page.h"
#include "gui/records/patient_list_page.h"
#include "gui/report/results_page.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

MainWindow::MainWindow(Database& db, QWidget* parent) : QDialog(parent), Workbench(db)
{
    connect(&m_idleLock, &IdleLock::Locked, this, &MainWindow::onIdleLocked);
    setObjectName("MainWindow");
    setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(ProductPicture(64)));
    setWindowTitle(GetLangText("CASE", 1193));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Cover the work area (the screen less its panels), then maximise.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    setWindowState(Qt::WindowMaximized);
    qApp->installEventFilter(this);
    // With a shared server the patient page follows the other workstations.
    if (Db().IsServer())
        Db().WatchChanges(this, [this] { refreshSharedRecords(); });
    ShowPage(kMainPage);
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    CloseBluetooth();
}

Page* MainWindow::createPage(int templateId)
{
    switch (templateId) {
    case kMainPage:
        return new PatientListPage(this);
    case kResultsPage:
        return new ResultsPage(this);
    case kLiveTestPage:
        return new LiveTestPage(this);
    default:
        return nullptr;
    }
}

int MainWindow::ShowPage(int templateId)
{
    if (templateId != kMainPage && templateId != kResultsPage && templateId != kLiveTestPage)
        return 0;
    Page* previous = m_page;
    m_page = nullptr;
    Page* page = createPage(templateId);
    layout()->addWidget(page);
    page->show();
    m_page = page;
    if (previous) {
        // The request usually comes from a handler of the old page: let it return first.
        layout()->removeWidget(previous);
        previous->hide();
        previous->deleteLater();
    }
    return 1;
}

void MainWindow::ApplyTexts()
{
    setWindowTitle(GetLangText("CASE", 1193));
    if (m_page)
        m_page->ApplyTexts();
}

void MainWindow::SetUser(const Actor& user)
{
    Workbench::SetUser(user);
    m_idleLock.Watch(user, Settings().lockMinutes * 60 * 1000);
}

void MainWindow::onIdleLocked()
{
    const Actor locked = m_idleLock.User();
    AuditLog(Db()).Append(locked, "logout", 0, "idle lock");
    const QString note = GetLangText("CLINICAL", 2921).arg(Settings().lockMinutes).arg(locked.name);
    while (m_idleLock.IsLocked()) {
        LoginDialog login(Db(), this);
        login.setObjectName("idleLogin");
        login.SetNote(note);
        if (login.exec() != QDialog::Accepted) {
            EndShell();
            return;
        }
        if (m_idleLock.Unlock(login.LoggedIn())) {
            Workbench::SetUser(login.LoggedIn());
            return;
        }
        AuditLog(Db()).Append(login.LoggedIn(), "refused", 0, "unlock of " + locked.name);
    }
}

void MainWindow::EndShell()
{
    QDialog::done(QDialog::Rejected);
}

// Escape reaches QDialog as reject(): a page never closes by it.
void MainWindow::reject() {}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing the window is the Cancel command of the current page; the page decides.
    event->ignore();
    if (m_page)
        m_page->OnCancel();
    else
        EndShell();
}

void MainWindow::refreshSharedRecords()
{
    if (auto* page = qobject_cast<PatientListPage*>(m_page.data()))
        page->RefreshFromDatabase();
}

void MainWindow::RecordsChanged(int patientId)
{
    if (auto* page = qobject_cast<PatientListPage*>(m_page.data()))
        page->RefreshPatientRow(patientId);
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && Db().IsServer())
        refreshSharedRecords();
    QDialog::changeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QDialog::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    // Only keys meant for this window, not for the dialogs it opens.
    if (!widget || widget->window() != this)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::ShortcutOverride) {
        const int k = key->key();
        return k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Escape;
    }
    return handleKey(widget, key);
}

bool MainWindow::handleKey(QWidget* target, QKeyEvent* key)
{
    const int k = key->key();
    if (k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Escape) {
        // Enter and Escape become Tab, so neither closes a page.
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &tab);
        return true;
    }
    const Qt::KeyboardModifiers ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    if ((key->modifiers() & ctrlAlt) == ctrlAlt && k == Qt::Key_C) {
        if (m_page)
            m_page->OnHotKey();
        return true;
    }
    if ((key->modifiers() & ctrlAlt) == ctrlAlt && k == Qt::Key_A && m_page &&
        m_page->Template() == kMainPage) {
        AboutDialog about(this);
        about.exec();
        return true;
    }
    if (k == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
        OpenHelpDocument(this);
        return true;
    }
    return false;
}
