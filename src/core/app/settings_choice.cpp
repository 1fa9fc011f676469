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

namespace {

// One conditional save of `entries`; false when nothing was written.
bool saveKeys(const QList<QPair<QString, QString>>& entries, bool overwrite,
              QStringList* changedMeanwhile, QString* error, bool& written)
{
    QStringList changes;
    QString reason;
    const IniFile::Write outcome = Settings().SaveKeys(entries, overwrite, &changes, &reason);
    if (changedMeanwhile)
        *changedMeanwhile = changes;
    if (error)
        *error = outcome == IniFile::Write::Failed ? reason : QString();
    written = outcome == IniFile::Write::Written;
    // The record takes the choice unless another program's values are to be looked at first.
    return outcome != IniFile::Write::ChangedMeanwhile;
}

} // namespace

bool ApplySettingsChoice(const SettingsChoice& choice, QString* saveError,
                         QStringList* changedMeanwhile, bool overwrite)
{
    SystemSettings& s = Settings();
    const int predicted = choice.predicted == 1 ? 1 : 0;
    const int communication = choice.communication == 1 ? 1 : 0;
    const QString hospital = TextLimit::Left(choice.hospital, kHospitalLength);
    const int lockMinutes = std::clamp(choice.lockMinutes, 0, kMaxLockMinutes);
    bool written = false;
    // LanguageFile follows LANGUAGE by itself.
    if (!saveKeys({{"LANGUAGE", choice.language},
                   {"PREDICTED", QString::number(predicted)},
                   {"HOSPITAL", hospital},
                   {"COMMUNICATION", QString::number(communication)},
                   {"COMPORT", QString::number(s.comPort)},
                   {"BTPS", QString::number(choice.btps)},
                   {"WAIT", QString::number(choice.wait)},
                   {"SIMULATOR", QString::number(choice.simulator)},
                   {"LOCKMINUTES", QString::number(lockMinutes)}},
                  overwrite, changedMeanwhile, saveError, written))
        return false;
    const bool bluetoothToWired = s.communication == 0 && communication == 1;
    s.predicted = predicted;
    s.communication = communication;
    s.hospital = hospital;
    s.language = choice.language;
    s.btps = choice.btps;
    s.wait = choice.wait;
    s.simulator = choice.simulator;
    s.lockMinutes = lockMinutes;
    return bluetoothToWired;
}

bool RestoreDefaultSettings(QString* error, QStringList* changedMeanwhile, bool overwrite)
{
    bool written = false;
    if (!saveKeys({{"LANGUAGE", "English"},
                   {"PREDICTED", "1"},
                   {"HOSPITAL", QString()},
                   {"COMMUNICATION", "1"},
                   {"BTPS", "1"}},
                  overwrite, changedMeanwhile, error, written))
        return false;
    SystemSettings& s = Settings();
    s.waveColor = 0xB57160;
    s.language = QStringLiteral("English");
    s.predicted = 1;
    s.hospital.clear();
    s.communication = 1;
    s.btps = 1;
    s.wait = 0;
    s.comPort = -1; // the dialog's own value, kept in memory only
    return written;
}
