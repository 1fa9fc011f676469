#include "gui/app/main_shell_dlg.h"

#include "core/accounts/audit_log.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/records/database.h"
#include "gui/app/about_dlg.h"
#include "gui/app/help_command.h"
#include "gui/app/login_dlg.h"
#include "gui/app/page.h"
#include "gui/app/product_picture.h"
#include "gui/measure/fvc_testing_dlg.h"
#include "gui/records/user_manage_dlg.h"
#include "gui/report/tava_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

CMainShellDlg::CMainShellDlg(Database& db, QWidget* parent) : QDialog(parent), Workbench(db)
{
    connect(&m_idleLock, &IdleLock::Locked, this, &CMainShellDlg::onIdleLocked);
    setObjectName("CMainShellDlg");
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

CMainShellDlg::~CMainShellDlg()
{
    qApp->removeEventFilter(this);
    CloseBluetooth();
}

CPage* CMainShellDlg::createPage(int templateId)
{
    switch (templateId) {
    case kMainPage:
        return new CUserManageDlg(this);
    case kResultsPage:
        return new CTAVADlg(this);
    case kLiveTestPage:
        return new CFVCTestingDlg(this);
    default:
        return nullptr;
    }
}

int CMainShellDlg::ShowPage(int templateId)
{
    if (templateId != kMainPage && templateId != kResultsPage && templateId != kLiveTestPage)
        return 0;
    CPage* previous = m_page;
    m_page = nullptr;
    CPage* page = createPage(templateId);
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

void CMainShellDlg::ApplyTexts()
{
    setWindowTitle(GetLangText("CASE", 1193));
    if (m_page)
        m_page->ApplyTexts();
}

void CMainShellDlg::SetUser(const Actor& user)
{
    Workbench::SetUser(user);
    m_idleLock.Watch(user, Settings().lockMinutes * 60 * 1000);
}

void CMainShellDlg::onIdleLocked()
{
    const Actor locked = m_idleLock.User();
    AuditLog(Db()).Append(locked, "logout", 0, "idle lock");
    const QString note = GetLangText("CLINICAL", 2921).arg(Settings().lockMinutes).arg(locked.name);
    while (m_idleLock.IsLocked()) {
        CLoginDlg login(Db(), this);
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

void CMainShellDlg::EndShell()
{
    QDialog::done(QDialog::Rejected);
}

// Escape reaches QDialog as reject(): a page never closes by it.
void CMainShellDlg::reject() {}

void CMainShellDlg::closeEvent(QCloseEvent* event)
{
    // Closing the window is the Cancel command of the current page; the page decides.
    event->ignore();
    if (m_page)
        m_page->OnCancel();
    else
        EndShell();
}

void CMainShellDlg::refreshSharedRecords()
{
    if (auto* page = qobject_cast<CUserManageDlg*>(m_page.data()))
        page->RefreshFromDatabase();
}

void CMainShellDlg::RecordsChanged(int patientId)
{
    if (auto* page = qobject_cast<CUserManageDlg*>(m_page.data()))
        page->RefreshPatientRow(patientId);
}

void CMainShellDlg::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && Db().IsServer())
        refreshSharedRecords();
    QDialog::changeEvent(event);
}

bool CMainShellDlg::eventFilter(QObject* watched, QEvent* event)
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

bool CMainShellDlg::handleKey(QWidget* target, QKeyEvent* key)
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
        CAboutDlg about(this);
        about.exec();
        return true;
    }
    if (k == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
        OpenHelpDocument(this);
        return true;
    }
    return false;
}
