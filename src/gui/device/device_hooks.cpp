#include "device_hooks.h"

#include "app/dialog_hooks.h"
#include "app/main_shell_dlg.h"
#include "device/blue_tooth.h"
#include "device/device_manager.h"
#include "device/device_protocol.h"
#include "device/real_link_factories.h"

namespace {
// Connects through the device manager, asks for the version text, closes the port.
bool readDeviceVersion(QString& version)
{
    DeviceManager& manager = DeviceManager::Instance();
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
} // namespace

void InstallDeviceHooks()
{
    static bool linksRegistered = false;
    if (!linksRegistered) {
        RegisterRealLinks(DeviceManager::Instance());
        linksRegistered = true;
    }
    if (!Hooks().deviceVersion)
        Hooks().deviceVersion = readDeviceVersion;
}

void AttachSharedBluetooth(CMainShellDlg& shell)
{
    shell.Bluetooth().isOpen = [] { return SharedBluetooth().blueTooth.IsConnected(); };
    shell.Bluetooth().close = [] { SharedBluetooth().blueTooth.Disconnect(); };
}
