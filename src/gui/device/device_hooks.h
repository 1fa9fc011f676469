#pragma once

// Fills the dialog hooks that the device layer answers (the device's version
// on Ctrl+Alt+C in the settings dialog). Called once at start-up.
void InstallDeviceHooks();
