#pragma once
// What the virtual spirometer keeps between program runs, as a real device
// keeps its calibration in its own memory: the factor of its last
// calibration, in VirtualDevice.ini of the program folder.
struct SimConfig;

// Puts the stored calibration into `config` (nothing stored: unchanged).
void RecallSimulatorCalibration(SimConfig& config);
// Stores the calibration of `config`; false when the file cannot be written.
bool StoreSimulatorCalibration(const SimConfig& config);
