#include "gui/app/gdt_inbox.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/exchange/exchange_settings.h"
#include "core/exchange/gdt_exchange.h"
#include "core/records/database.h"
#include "core/records/patient_numbers.h"
#include "core/records/patient_record.h"
#include "gui/app/workbench.h"
#include "gui/app/page.h"
#include "gui/app/show_message.h"

#include <QDate>
#include <QThread>

GdtInbox::GdtInbox(Workbench& shell, int intervalMs) : m_shell(shell)
{
    connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
    m_timer.start(intervalMs);
}

GdtInbox::~GdtInbox()
{
    // A look still reading ends by itself (reads never block); its answer is dropped.
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
    }
}

bool GdtInbox::onPatientList() const
{
    // Only from the patient list: a running test or an open result is never taken over.
    Page* page = m_shell.CurrentPage();
    return page && page->Template() == Workbench::kMainPage;
}

void GdtInbox::Poll()
{
    if (m_worker || !onPatientList())
        return;
    const ExchangeSettings settings = ExchangeSettings::Load(AppPaths::SettingsFile());
    if (settings.gdtFolder.isEmpty())
        return;
    m_worker = QThread::create([this, settings] {
        const GdtInboxFile file = ReadGdtInbox(settings);
        QMetaObject::invokeMethod(this, [this, file] { finish(file); }, Qt::QueuedConnection);
    });
    m_worker->start();
}

void GdtInbox::finish(const GdtInboxFile& file)
{
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
    emit Looked(settle(file));
}

void GdtInbox::say(const QString& text, const QString& caption)
{
    m_timer.stop(); // one message at a time, not one per tick behind it
    ShowMessage(text, caption, 0, m_shell.Window());
    m_timer.start();
}

bool GdtInbox::settle(const GdtInboxFile& file)
{
    const bool wasWaiting = m_waiting;
    m_waiting = false;
    GdtImport request;
    QString reason, error;
    GdtInboxResult outcome = GdtInboxResult::Empty;
    switch (file.state) {
    case GdtInboxFile::State::Empty:
        return false;
    case GdtInboxFile::State::Waiting:
        outcome = GdtInboxResult::Waiting;
        error = file.reason;
        break;
    case GdtInboxFile::State::Refused:
        outcome = GdtInboxResult::Refused;
        error = file.reason;
        break;
    case GdtInboxFile::State::Request: {
        if (!onPatientList())
            return false; // the file stays for a look from the patient list
        Database& db = m_shell.Db();
        GdtRequest asked = file.request;
        GdtStore stored = StoreGdtRequest(db, asked, request, &reason);
        bool cancelled = false;
        if (stored == GdtStore::Conflict) {
            // Another person has this number here: a new number, or the request is refused.
            const QString number = NextFreePatientNumber(db, LastPatientId(db) + 1);
            m_timer.stop();
            cancelled = ShowMessage(reason + "\n" + GetLangText("MESSAGE", 2936).arg(number),
                                    PromptCaption(), 4, m_shell.Window()) != 6;
            m_timer.start();
            if (!cancelled) {
                asked.patientNumber = number;
                stored = StoreGdtRequest(db, asked, request, &reason);
            }
        }
        outcome = SettleGdtRequest(file, stored, reason, &error);
        if (cancelled)
            return false; // set aside as refused; the user has seen why
        break;
    }
    }
    switch (outcome) {
    case GdtInboxResult::Empty:
        return false;
    case GdtInboxResult::Waiting:
        // The request stays and is tried on every tick; say so once, not on every tick.
        m_waiting = true;
        if (!wasWaiting)
            say(error, ErrorCaption());
        return false;
    case GdtInboxResult::Refused:
        say(GetLangText("EXCHANGE", 2709) + "\n" + error, ErrorCaption());
        return false;
    case GdtInboxResult::Taken:
        break;
    }
    const int id = request.patientId;
    m_shell.SetCurrentPatientId(id);
    AppPaths::SetCaseFolder(AppPaths::PatientCaseFolder(id));
    PatientRecord& patient = m_shell.Patient();
    patient.Clear();
    LoadPatient(m_shell.Db(), id, patient);
    m_shell.RecomputePredicted();
    m_shell.SetSelectedPatientTag(patient.Name);
    m_shell.SetCurrentTestDate(QDate::currentDate().toString("yyyy-MM-dd"));
    if (request.testType >= 0) {
        m_shell.SetCurrentTestType(request.testType);
        m_shell.ShowPage(Workbench::kLiveTestPage);
    }
    return true;
}
