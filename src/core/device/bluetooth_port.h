#pragma once
#include "core/device/blue_tooth.h"
#include "core/device/device_port.h"

#include <atomic>
#include <functional>

// The Bluetooth link: a thin byte pipe over the program's one shared
// connection. Every BluetoothPort talks through the same CBlueTooth, so a
// connection made once serves every later connect.
class BluetoothPort : public DevicePort {
  public:
    static constexpr int kPollLimit = 200;

    // The communication setup dialog: lets the user choose a device (its
    // index goes to BluetoothLink::chosenIndex) and returns 1 for OK. The
    // window layer installs it; without one, Open cannot ask and fails.
    using SetupDialog = std::function<int()>;
    static void SetSetupDialog(SetupDialog dialog);

    explicit BluetoothPort(BluetoothLink& link = SharedBluetooth());

    int IsOpen() override;
    // Succeeds at once while connected; otherwise asks for a device and connects.
    int Open() override;
    // The shared connection stays up; only Disconnect drops it.
    int Close() override;
    int Write(const unsigned char* buffer, int count) override;
    // One byte per receive; the first byte that does not come fails the read.
    int Read(unsigned char* buffer, int count) override;
    // Hands over the bytes that came before the link fell quiet, also when
    // they end inside a frame: nothing is dropped, the next read brings the
    // rest (the receive worker holds a cut two-byte frame back until then).
    int ReadSome(unsigned char* buffer, int count) override;

  private:
    BluetoothLink& m_link;
    std::atomic<int> m_open{0};
};
