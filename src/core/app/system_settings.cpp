#include "core/app/system_settings.h"

#include "core/app/app_paths.h"
#include "core/app/ini_file.h"

#include <QFile>

SystemSettings& Settings()
{
    static SystemSettings settings;
    return settings;
}

void SystemSettings::Reset()
{
    wait = 0;
    btps = 1;
    communication = 1;
    predicted = 1;
    hospital.clear();
    language = "English";
    space = 10;
    times = 15;
    comPort = 0;
    waveColor = 0xB57160;
    trendColor1 = 0xFF7878;
    trendBkColor = 0xFFFFFF;
    refColor = 0x9E9152;
    fev1Color = 0xFF00FF;
    fvcColor = 0xFF;
    fef50Color = 0x2EA9C2;
    fef2575Color = 0x003399;
    fef75Color = 0xAF4144;
    trendColors[0] = 0xBDE5C9;
    trendColors[1] = 0xB2F3FF;
    trendColors[2] = 0xB2C5FF;
    simulator = 0;
    lockMinutes = 15;
    checkHours = 24;
    portName.clear();
    database.clear();
    unreadable.clear();
    stored.clear();
}

void SystemSettings::Load(const QString& iniPath)
{
    unreadable = IniFile::ReadError(iniPath);
    stored.clear();
    if (!QFile::exists(iniPath) || !unreadable.isEmpty())
        return;
    stored = IniFile::SectionValues(iniPath, kSettingsSection);
    const auto readInt = [&](const char* key, int current) {
        return IniFile::ReadInt(iniPath, kSettingsSection, key, current);
    };
    // A value outside what its field can mean keeps the current one: SPACE and TIMES
    // go to the device as one byte each, the switches index two-entry lists.
    const auto readInRange = [&](const char* key, int current, int low, int high) {
        const int value = readInt(key, current);
        return value >= low && value <= high ? value : current;
    };
    const auto readColor = [&](const char* key, ColorRef current) {
        return static_cast<ColorRef>(readInt(key, static_cast<int>(current)));
    };
    const auto readText = [&](const char* key, const QString& current) {
        return IniFile::ReadString(iniPath, kSettingsSection, key, current,
                                   kSettingsStringLength);
    };
    trendBkColor = readColor("TRENDBKCOLOR", trendBkColor);
    fvcColor = readColor("FVCCOLOR", fvcColor);
    fev1Color = readColor("FEV1COLOR", fev1Color);
    fef50Color = readColor("FEF50COLOR", fef50Color);
    fef75Color = readColor("FEF75COLOR", fef75Color);
    fef2575Color = readColor("FEF2575COLOR", fef2575Color);
    refColor = readColor("REFCOLOR", refColor);
    predicted = readInt("PREDICTED", predicted) == 1 ? 1 : 0;
    language = readText("LANGUAGE", language);
    hospital = readText("HOSPITAL", hospital);
    communication = readInRange("COMMUNICATION", communication, 0, 1);
    comPort = readInt("COMPORT", comPort);
    btps = readInRange("BTPS", btps, 0, 1);
    wait = readInRange("WAIT", wait, 0, 1);
    space = readInRange("SPACE", space, 0, 255);
    times = readInRange("TIMES", times, 0, 255);
    simulator = readInt("SIMULATOR", simulator);
    lockMinutes = readInRange("LOCKMINUTES", lockMinutes, 0, kMaxLockMinutes);
    checkHours = readInRange("CHECKHOURS", checkHours, 1, kMaxCheckHours);
    portName = readText("PORTNAME", portName);
    database = IniFile::ReadString(iniPath, kSettingsSection, "DATABASE", database, 1000).trimmed();
}

bool SystemSettings::WriteInt(const QString& key, int value, QString* error)
{
    return WriteString(key, QString::number(value), error);
}

bool SystemSettings::WriteString(const QString& key, const QString& value, QString* error)
{
    const QString path = AppPaths::SettingsFile();
    if (!IniFile::EnsureExists(path, error) ||
        !IniFile::WriteString(path, kSettingsSection, key, value, error))
        return false;
    Settings().stored.insert(key.toUpper(), value);
    return true;
}

IniFile::Write SystemSettings::SaveKeys(const QList<QPair<QString, QString>>& entries,
                                        bool overwrite, QStringList* changes, QString* error)
{
    const QString path = AppPaths::SettingsFile();
    if (!IniFile::EnsureExists(path, error))
        return IniFile::Write::Failed;
    if (overwrite) {
        // Over what the file holds now, for these keys only.
        const IniFile::Values now = IniFile::SectionValues(path, kSettingsSection);
        for (const auto& entry : entries) {
            const QString name = entry.first.toUpper();
            if (now.contains(name))
                stored.insert(name, now.value(name));
            else
                stored.remove(name);
        }
    }
    QStringList found;
    const IniFile::Write outcome =
        IniFile::WriteIfUnchanged(path, kSettingsSection, entries, stored, &found, error);
    if (changes)
        *changes = found;
    if (outcome == IniFile::Write::Written)
        for (const auto& [key, value] : entries)
            stored.insert(key.toUpper(), value);
    return outcome;
}
