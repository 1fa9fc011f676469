#include "gui/app/gdt_inbox.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/exchange/exchange_settings.h"
#include "core/exchange/gdt_exchange.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "gui/app/workbench.h"
#include "gui/app/page.h"
#include "gui/app/show_message.h"

#include <QDate>

CGdtInbox::CGdtInbox(Workbench& shell, int intervalMs) : m_shell(shell)
{
    connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
    m_timer.start(intervalMs);
}

bool CGdtInbox::Poll()
{
    // Only from the patient list: a running test or an open result is never taken over.
    CPage* page = m_shell.CurrentPage();
    if (!page || page->Template() != Workbench::kMainPage)
        return false;
    const ExchangeSettings settings = ExchangeSettings::Load(AppPaths::SettingsFile());
    if (settings.gdtFolder.isEmpty())
        return false;
    GdtImport request;
    QString error;
    const GdtInboxResult outcome = TakeGdtRequest(m_shell.Db(), settings, request, &error);
    const bool wasWaiting = m_waiting;
    m_waiting = outcome == GdtInboxResult::Waiting;
    switch (outcome) {
    case GdtInboxResult::Empty:
        return false;
    case GdtInboxResult::Waiting:
        // The request stays and is tried on every tick; say so once, not on every tick.
        if (!wasWaiting) {
            m_timer.stop();
            ShowMessage(error, ErrorCaption(), 0, m_shell.Window());
            m_timer.start();
        }
        return false;
    case GdtInboxResult::Refused:
        m_timer.stop(); // one message per refused file, not one per tick behind it
        ShowMessage(GetLangText("EXCHANGE", 2709) + "\n" + error, ErrorCaption(), 0, m_shell.Window());
        m_timer.start();
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
