#pragma once
#include "core/device/bluetooth_transport.h"

// The blocking adaptor over QtBluetooth: its objects live on a thread of
// their own with an event loop, and each call waits for its answer there, so
// the receive worker can read as it would from a socket.
std::unique_ptr<BluetoothTransport> MakeQtBluetoothTransport();
