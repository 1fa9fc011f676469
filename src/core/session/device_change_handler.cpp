#include "core/session/device_change_handler.h"

#include "core/device/device_manager.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/session/live_test_session.h"

#include <QTimer>

DeviceChangeHandler::DeviceChangeHandler(LiveTestSession& session, DeviceManager& manager,
                                         DeviceWatch& watch, QObject* parent)
    : QObject(parent), m_session(session), m_manager(manager), m_testType(session.TestType())
{
    connect(&watch, &DeviceWatch::removed, this, &DeviceChangeHandler::OnRemoved);
    connect(&watch, &DeviceWatch::arrived, this, &DeviceChangeHandler::OnArrived);
    // A test that ended early has had the page say why already.
    connect(&session, &LiveTestSession::endedEarly, this, [this] { m_lossShown = true; });
    // A restart that found the stopped test's worker still holding the link runs now.
    connect(&session, &LiveTestSession::workerEnded, this, [this] {
        if (m_restartWhenFree)
            restart();
    });
}

void DeviceChangeHandler::OnRemoved()
{
    if (Settings().communication.load() == 0)
        return;
    m_restartWhenFree = false;
    if (m_session.WorkerActive()) {
        // The test's own ending says the device is gone and offers its whole blows.
        m_session.Stop(TestEnd::DeviceGone);
        return;
    }
    Q_EMIT promptChanged(GetLangText("MESSAGE", 1207));
    // The system may report one unplugging several times.
    if (!m_lossShown) {
        m_lossShown = true;
        Q_EMIT connectionLost();
    }
}

void DeviceChangeHandler::OnArrived()
{
    if (Settings().communication.load() == 0)
        return;
    m_lossShown = false;
    // Give the system a moment to finish setting the device up.
    QTimer::singleShot(kArrivalDelayMs, this, &DeviceChangeHandler::restart);
}

void DeviceChangeHandler::restart()
{
    if (Settings().communication.load() == 0 || m_session.Running())
        return;
    if (m_session.WorkerActive()) {
        // Never closed under the worker's read: wait for it to let go.
        m_restartWhenFree = true;
        return;
    }
    m_restartWhenFree = false;
    Q_EMIT promptChanged(GetLangText("MESSAGE", 1206));
    m_manager.ClosePort();
    // The start sequence waits for the device: on the session's worker, which
    // reports by startDone.
    m_session.StartInBackground(m_testType);
}
