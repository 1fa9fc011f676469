#include "core/app/settings_choice.h"

#include "core/app/system_settings.h"
#include "core/app/text_limit.h"

#include <QDir>

#include <algorithm>

SettingsChoice CurrentSettingsChoice()
{
    const SystemSettings& s = Settings();
    SettingsChoice choice;
    choice.language = s.language;
    choice.communication = s.communication;
    choice.predicted = s.predicted;
    choice.hospital = s.hospital;
    choice.btps = s.btps;
    choice.wait = s.wait;
    choice.simulator = s.simulator;
    choice.lockMinutes = s.lockMinutes;
    return choice;
}

QStringList LanguageNames(const QString& folder)
{
    QStringList names;
    const QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (QString name : files) {
        if (name.startsWith('.'))
            continue;
        if (name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
            name.chop(4);
        names << name;
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

int LanguageIndex(const QStringList& names, const QString& language)
{
    const int count = int(names.size());
    if (count == 0)
        return -1;
    for (int step = 1; step <= count; ++step) {
        const int i = step % count;
        if (names[i].startsWith(language, Qt::CaseInsensitive))
            return i;
    }
    return 0;
}

bool ApplySettingsChoice(const SettingsChoice& choice, QString* saveError)
{
    SystemSettings& s = Settings();
    const bool bluetoothToWired = s.communication == 0 && choice.communication == 1;
    s.predicted = choice.predicted == 1 ? 1 : 0;
    s.communication = choice.communication == 1 ? 1 : 0;
    s.hospital = TextLimit::Left(choice.hospital, kHospitalLength);
    s.language = choice.language;
    s.btps = choice.btps;
    s.wait = choice.wait;
    s.simulator = choice.simulator;
    s.lockMinutes = std::clamp(choice.lockMinutes, 0, kMaxLockMinutes);

    // Each write makes sure the file exists first; LanguageFile follows LANGUAGE by itself.
    QString error;
    const bool saved = SystemSettings::WriteString("LANGUAGE", s.language, &error) &&
                       SystemSettings::WriteInt("PREDICTED", s.predicted, &error) &&
                       SystemSettings::WriteString("HOSPITAL", s.hospital, &error) &&
                       SystemSettings::WriteInt("COMMUNICATION", s.communication, &error) &&
                       SystemSettings::WriteInt("COMPORT", s.comPort, &error) &&
                       SystemSettings::WriteInt("BTPS", s.btps, &error) &&
                       SystemSettings::WriteInt("WAIT", s.wait, &error) &&
                       SystemSettings::WriteInt("SIMULATOR", s.simulator, &error) &&
                       SystemSettings::WriteInt("LOCKMINUTES", s.lockMinutes, &error);
    if (saveError)
        *saveError = saved ? QString() : error;
    return bluetoothToWired;
}

bool RestoreDefaultSettings(QString* error)
{
    SystemSettings& s = Settings();
    s.waveColor = 0xB57160;
    s.language = QStringLiteral("English");
    s.predicted = 1;
    s.hospital.clear();
    s.communication = 1;
    s.btps = 1;
    s.wait = 0;
    s.comPort = -1; // the dialog's own value, kept in memory only

    return SystemSettings::WriteString("LANGUAGE", s.language, error) &&
           SystemSettings::WriteInt("PREDICTED", s.predicted, error) &&
           SystemSettings::WriteString("HOSPITAL", s.hospital, error) &&
           SystemSettings::WriteInt("COMMUNICATION", s.communication, error) &&
           SystemSettings::WriteInt("BTPS", s.btps, error);
}
