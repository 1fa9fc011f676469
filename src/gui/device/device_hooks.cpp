#include "device_hooks.h"

#include "app/dialog_hooks.h"
#include "device/device_manager.h"
#include "device/device_protocol.h"

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
    if (!Hooks().deviceVersion)
        Hooks().deviceVersion = readDeviceVersion;
}
