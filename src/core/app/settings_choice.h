#pragma once
#include <QString>
#include <QStringList>

// What the settings dialog edits, and the two ways of confirming it.
struct SettingsChoice {
    QString language;
    int communication = 1; // 1 wired (USB), 0 Bluetooth
    int predicted = 1;     // 1 "Point", 0 "Area"
    QString hospital;      // at most 60 characters
    int btps = 1;
    int wait = 0;
    int simulator = 0; // 0 off, else the demo profile number
    int lockMinutes = 15; // 0 never locks
};

// The current settings as the dialog shows them when it opens.
SettingsChoice CurrentSettingsChoice();

// Names of the language files (every file of `folder`, less ".txt", names
// starting with a dot and sub-folders skipped), sorted by name.
QStringList LanguageNames(const QString& folder);

// The entry to select for `language`: the first one, searching from the
// second entry round to the first, that begins with it (case ignored);
// 0 when none does, -1 for an empty list.
int LanguageIndex(const QStringList& names, const QString& language);

// OK: stores the choice in the settings record and writes LANGUAGE, PREDICTED,
// HOSPITAL, COMMUNICATION, COMPORT, BTPS, WAIT, SIMULATOR and LOCKMINUTES as one version of
// System.ini. Returns true when the link changed from Bluetooth to wired (the
// caller then closes the shared Bluetooth connection). When the file cannot
// be written, `saveError` tells why (empty when all were saved). When another
// program saved another value of one of these keys since this one read them,
// nothing is written or changed in memory and `changedMeanwhile` names them;
// `overwrite` then saves the choice over them.
bool ApplySettingsChoice(const SettingsChoice& choice, QString* saveError = nullptr,
                         QStringList* changedMeanwhile = nullptr, bool overwrite = false);

// Default: wave colour, LANGUAGE "English", PREDICTED 1, HOSPITAL empty,
// COMMUNICATION 1, BTPS 1, WAIT 0 and COMPORT -1 in memory; writes LANGUAGE,
// PREDICTED, HOSPITAL, COMMUNICATION and BTPS only (WAIT and COMPORT keep
// their values in the file). False, with the reason in `error`, when they
// cannot be saved, or (nothing changed) when another program saved one of
// them meanwhile, as for ApplySettingsChoice.
bool RestoreDefaultSettings(QString* error = nullptr, QStringList* changedMeanwhile = nullptr,
                            bool overwrite = false);

inline constexpr int kHospitalLength = 60;
