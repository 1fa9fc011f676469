#pragma once
#include "core/app/ini_file.h"

#include <QString>

#include <atomic>
#include <cstdint>

using ColorRef = std::uint32_t; // 0x00BBGGRR

// The process-wide settings record: one field per key of section SYSTEM of
// System.ini. Worker threads read the integer fields while a test runs, so
// those are atomic; strings are only touched on the interface thread.
struct SystemSettings {
    std::atomic<int> wait{0};
    std::atomic<int> btps{1};
    std::atomic<int> communication{1}; // 1 wired, 0 Bluetooth
    int predicted = 1;                 // 1 "Point", 0 "Area"
    QString hospital;
    QString language = "English";
    std::atomic<int> space{10};
    std::atomic<int> times{15};
    int comPort = 0;
    ColorRef waveColor = 0xB57160;   // not stored
    ColorRef trendColor1 = 0xFF7878; // not stored
    ColorRef trendBkColor = 0xFFFFFF;
    ColorRef refColor = 0x9E9152;
    ColorRef fev1Color = 0xFF00FF;
    ColorRef fvcColor = 0xFF;
    ColorRef fef50Color = 0x2EA9C2;
    ColorRef fef2575Color = 0x003399;
    ColorRef fef75Color = 0xAF4144;
    ColorRef trendColors[3] = {0xBDE5C9, 0xB2F3FF, 0xB2C5FF}; // not stored
    std::atomic<int> simulator{0}; // 0 off, else the demo profile number
    int lockMinutes = 15;          // with accounts on: idle minutes before the program locks; 0 never
    int checkHours = 24;           // hours a passed syringe check of the flow sensor stays valid
    QString portName;              // serial port of the wired link on Linux (e.g. /dev/ttyACM0)
    // DATABASE: empty for data.mdb beside the program, else the connection URI
    // of the clinic's PostgreSQL database (without a password). Never written.
    QString database;
    // Why the last Load refused the file (too large, not a regular file,
    // unreadable): every field then keeps its initial value, DATABASE too, so
    // which database to open is unknown. Empty when it was read or is missing.
    QString unreadable;
    // The keys of section SYSTEM as this process last read or wrote them: a
    // save is conditional on the file still holding these (see SaveKeys).
    IniFile::Values stored;

    // Puts every field back to its initial value.
    void Reset();
    // Start-up read: keys in their documented order; a missing file or key keeps the field.
    void Load(const QString& iniPath);
    // The write rule: make sure the file exists, then write the one key ("%d" for numbers).
    // False, with the reason in `error`, when the key is not saved; a file that
    // could not be read whole is then left as it is.
    static bool WriteInt(const QString& key, int value, QString* error = nullptr);
    static bool WriteString(const QString& key, const QString& value, QString* error = nullptr);
    // The settings dialog's save: the keys as one version of the file, refused
    // (ChangedMeanwhile, `changes` naming each) when another program saved
    // another value of one of them since this process read it, unless
    // `overwrite`. Other keys in the file are kept whatever they hold.
    IniFile::Write SaveKeys(const QList<QPair<QString, QString>>& entries, bool overwrite,
                            QStringList* changes, QString* error = nullptr);
};

// The one record, created on first use and kept until exit.
SystemSettings& Settings();

inline constexpr int kSettingsStringLength = 99;
inline constexpr int kMaxLockMinutes = 24 * 60;
inline constexpr int kMaxCheckHours = 24 * 366;
inline const char kSettingsSection[] = "SYSTEM";
