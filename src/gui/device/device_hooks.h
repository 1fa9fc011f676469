#pragma once

class CMainShellDlg;

// Registers the real links with the device manager and fills the dialog hooks
// that the device layer answers (the device's version on Ctrl+Alt+C in the
// settings dialog). Called once at start-up.
void InstallDeviceHooks();

// Makes the program's one Bluetooth connection the main window's shared one.
void AttachSharedBluetooth(CMainShellDlg& shell);
