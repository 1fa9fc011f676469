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

namespace {
// Connects through the device manager, asks for the version text, closes the port.
bool readDeviceVersion(QString& version)
{
    DeviceManager& manager = LiveParts().devices;
    bool answered = false;
    if (manager.ConnectDevice() == 1 && manager.CurrentProtocol()) {
        int frameLength = 0;
        QString text;
        answered = manager.CurrentProtocol()->GetVersion(frameLength, text) == 1 && !text.isEmpty();
        if (answered)
            version = text;
    }
    manager.ClosePort();
    return answered;
}

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
        Hooks().deviceVersion = readDeviceVersion;
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
