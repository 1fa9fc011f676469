#include "core/device/bluetooth_port.h"

#include "core/app/interface_thread.h"

#include <mutex>

namespace {

std::mutex g_dialogMutex;
BluetoothPort::SetupDialog g_setupDialog;

} // namespace

void BluetoothPort::SetSetupDialog(SetupDialog dialog)
{
    std::lock_guard<std::mutex> lock(g_dialogMutex);
    g_setupDialog = std::move(dialog);
}

BluetoothPort::BluetoothPort(BluetoothLink& link) : m_link(link) {}

int BluetoothPort::IsOpen()
{
    // Every port shares the one connection: open while it is up, also for a
    // port the manager made after the connection was proven.
    return m_open || m_link.blueTooth.IsConnected() ? 1 : 0;
}

int BluetoothPort::Open()
{
    if (m_link.blueTooth.IsConnected()) {
        m_open = 1;
        return m_open;
    }
    SetupDialog dialog;
    {
        std::lock_guard<std::mutex> lock(g_dialogMutex);
        dialog = g_setupDialog;
    }
    int result = 0;
    if (dialog && dialog() == 1) {
        NoteBlockingCall("a Bluetooth connect");
        const int chosen = m_link.chosenIndex;
        const auto& devices = m_link.blueTooth.Devices();
        if (chosen >= 0 && chosen < devices.size())
            result = m_link.blueTooth.ConnectToBlueToothServer(devices[chosen].address) == 0;
    }
    m_open = result;
    return m_open;
}

int BluetoothPort::Close()
{
    return 1;
}

int BluetoothPort::Write(const unsigned char* buffer, int count)
{
    return m_link.blueTooth.Send(buffer, count);
}

int BluetoothPort::ReadSome(unsigned char* buffer, int count)
{
    if (!buffer || count < 1)
        return 0;
    int got = 0;
    while (got < count) {
        int one = 1;
        if (!m_link.blueTooth.Receive(buffer + got, one, kPollLimit))
            break;
        ++got;
    }
    return got;
}

int BluetoothPort::Read(unsigned char* buffer, int count)
{
    if (!buffer || count < 1)
        return 0;
    for (int i = 0; i < count; ++i) {
        int one = 1;
        if (!m_link.blueTooth.Receive(buffer + i, one, kPollLimit))
            return 0;
    }
    // Callers treat the buffer as holding `count` bytes; nothing is written
    // after them, so a buffer of exactly `count` bytes is safe.
    return 1;
}
