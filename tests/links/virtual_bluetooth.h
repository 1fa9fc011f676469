#pragma once
// The tests' name for the virtual spirometer behind a played Bluetooth module.
#include "core/device/simulated_bluetooth.h"

using VirtualBluetooth = SimulatedBluetooth;
