#include "gui/device/device_hooks.h"

#include "core/device/blue_tooth.h"
#include "core/device/bluetooth_port.h"
#include "core/device/device_manager.h"
#include "core/device/device_protocol.h"
#include "core/device/real_link_factories.h"
#include "core/session/measurement_parts.h"
#include "gui/app/dialog_hooks.h"
#include "gui/app/workbench.h"
#include "gui/device/comm_setup_dialog.h"
#include "gui/measure/calibration_dialog.h"

#include <QApplication>
#include <QThread>

#include <thread>

namespace {
// Connects through the device manager, asks for the version text, closes the
// port. On the worker: a connection may wait on a radio or a silent device.
bool readDeviceVersion(DeviceManager& manager, QString& version)
{
    bool answered = false;
    if (manager.ConnectDevice() == 1 && manager.CurrentProtocol()) {
        manager.LendLink(); // the worker has it: no test can start meanwhile
        int frameLength = 0;
        QString text;
        answered = manager.CurrentProtocol()->GetVersion(frameLength, text) == 1 && !text.isEmpty();
        if (answered)
            version = text;
        manager.ReturnLink();
    }
    manager.ClosePort();
    return answered;
}

// The worker of the version query, joined before the device manager goes
// away at exit.
class VersionQuery {
  public:
    ~VersionQuery()
    {
        if (m_worker.joinable())
            m_worker.join();
    }
    void Ask(DialogHooks::VersionAnswer done)
    {
        DeviceManager& manager = LiveParts().devices;
        if (manager.LinkLent()) {
            done(false, QString()); // a test or a query has the link
            return;
        }
        if (m_worker.joinable())
            m_worker.join(); // the last query has answered: it is leaving
        m_worker = std::thread([&manager, done = std::move(done)] {
            QString version;
            const bool answered = readDeviceVersion(manager, version);
            QMetaObject::invokeMethod(qApp, [done, answered, version] { done(answered, version); });
        });
    }

  private:
    std::thread m_worker;
};

// BluetoothPort::Open asks through here when no connection is up. Opens come
// from the interface thread; one from a worker waits for the dialog there.
int askForBluetoothDevice()
{
    auto run = [] {
        CommSetupDialog dialog(SharedBluetooth(), QApplication::activeWindow());
        return dialog.exec() == QDialog::Accepted ? 1 : 0;
    };
    if (!qApp)
        return 0;
    if (QThread::currentThread() == qApp->thread())
        return run();
    int result = 0;
    QMetaObject::invokeMethod(qApp, [&] { result = run(); }, Qt::BlockingQueuedConnection);
    return result;
}
} // namespace

MeasurementParts& LiveParts()
{
    static MeasurementParts parts;
    return parts;
}

void InstallDeviceHooks()
{
    static bool linksRegistered = false;
    if (!linksRegistered) {
        RegisterRealLinks(LiveParts().devices);
        linksRegistered = true;
    }
    if (!Hooks().deviceVersion)
        Hooks().deviceVersion = [](DialogHooks::VersionAnswer done) {
            static VersionQuery query; // after the device manager: joined before it goes
            query.Ask(std::move(done));
        };
    if (!Hooks().calibration)
        Hooks().calibration = [](Workbench* bench, QWidget* parent) {
            CalibrationDialog dialog(LiveParts(), &bench->Db(), bench->User(), parent);
            dialog.exec();
        };
    if (!Hooks().commSetup)
        Hooks().commSetup = [](QWidget* parent) {
            CommSetupDialog dialog(SharedBluetooth(), parent);
            dialog.exec();
        };
    BluetoothPort::SetSetupDialog(askForBluetoothDevice);
    // The demo device breathes at a person's pace in the desktop program.
    LiveParts().devices.SetSimulatorRealTime(true);
}

void AttachSharedBluetooth(Workbench& shell)
{
    shell.Bluetooth().isOpen = [] { return SharedBluetooth().blueTooth.IsConnected(); };
    shell.Bluetooth().close = [] { SharedBluetooth().blueTooth.Disconnect(); };
}
