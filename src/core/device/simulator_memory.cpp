#include "core/device/simulator_memory.h"

#include "core/app/app_paths.h"
#include "core/app/ini_file.h"
#include "core/device/virtual_spirometer.h"

namespace {

// Empty before the program folder is known: nothing is kept then.
QString memoryFile()
{
    const QString folder = AppPaths::ProgramFolder();
    return folder.isEmpty() ? QString() : folder + "VirtualDevice.ini";
}

} // namespace

void RecallSimulatorCalibration(SimConfig& config)
{
    if (memoryFile().isEmpty())
        return;
    bool ok = false;
    const double factor =
        IniFile::ReadString(memoryFile(), "DEVICE", "CALIBRATION", QString(), 32).toDouble(&ok);
    // A factor far from 1 is not one a working sensor's calibration gives.
    if (ok && factor > 0.5 && factor < 2.0)
        config.calibration = factor;
}

bool StoreSimulatorCalibration(const SimConfig& config)
{
    const QString path = memoryFile();
    return !path.isEmpty() && IniFile::EnsureExists(path) &&
           IniFile::WriteString(path, "DEVICE", "CALIBRATION",
                                QString::number(config.calibration, 'g', 10));
}
