#pragma once
// What a live test does when the wired spirometer is unplugged or plugged in
// while its page is open. Unplugged during a test: the test ends as
// "device gone" (the session reports it, with the blows it keeps); with no
// test running the prompt line says "USB CONNECT ERROR!" and the page is
// asked once to show "Please check the connection!". Plugged in: after
// 200 ms (and once the stopped test's worker has let go of the link) the
// prompt says "Blow!", the link is closed and the test starts again on the
// session's worker (its startDone reports). Bluetooth links (COMMUNICATION 0)
// are left alone.
#include "core/device/device_watch.h"

#include <QObject>
#include <QString>

class DeviceManager;
class LiveTestSession;

class DeviceChangeHandler : public QObject {
    Q_OBJECT
  public:
    static constexpr int kArrivalDelayMs = 200;

    DeviceChangeHandler(LiveTestSession& session, DeviceManager& manager, DeviceWatch& watch,
                        QObject* parent = nullptr);

    // The test type a restart runs (the page's current one).
    void SetTestType(int testType) { m_testType = testType; }

    void OnRemoved();
    void OnArrived();

  Q_SIGNALS:
    void promptChanged(const QString& text);
    // Show "Please check the connection!" / "Error": once between two
    // pluggings in, and not when the test's reader already reported the loss.
    void connectionLost();

  private:
    void restart();

    LiveTestSession& m_session;
    DeviceManager& m_manager;
    int m_testType = 0;
    bool m_lossShown = false;
    bool m_restartWhenFree = false;
};
