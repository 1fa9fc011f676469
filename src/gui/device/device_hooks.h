#pragma once

class Workbench;
struct MeasurementParts;

// The desktop program's one set of live-test objects (device link, store,
// flow engine, live point list), made on first use by the interface thread
// and handed to the pages that run tests.
MeasurementParts& LiveParts();

// Registers the real links with the device manager and fills the dialog hooks
// that the device layer answers: the device's version on Ctrl+Alt+C in the
// settings dialog, calibration, the communication setup dialog (also the one
// BluetoothPort::Open asks through), and the demo device's real-time pace.
// Called once at start-up.
void InstallDeviceHooks();

// Makes the program's one Bluetooth connection the main window's shared one.
void AttachSharedBluetooth(Workbench& shell);
