#pragma once
// Where and how results leave the program: the GDT exchange folder and ids,
// the character set of written GDT files. Keys of section EXCHANGE of System.ini.
#include "core/exchange/gdt_charset.h"

#include <QString>

struct ExchangeSettings {
    QString gdtFolder;                       // GDT_FOLDER: where the practice system drops requests
    QString gdtOwnId = "TAVSPIRO";           // GDT_OWN_ID: our GDT id (8315/8316, up to 8 characters)
    QString gdtPracticeId = "PRAXIS";        // GDT_PRACTICE_ID: the practice system's GDT id
    GdtCharset gdtCharset = GdtCharset::Cp437; // GDT_CHARSET: 1, 2 or 3 as field 9206
    QString gdtVersion = "02.10";            // GDT_VERSION: "02.10" or "03.00"

    // Reads the section; missing or unusable keys keep the defaults.
    static ExchangeSettings Load(const QString& iniPath);
    bool Save(const QString& iniPath) const;

    // GDT file names are the first four characters of the receiver's id, then
    // the sender's: a request reaches us as <our 4><practice 4>.GDT, a result
    // leaves as <practice 4><our 4>.GDT.
    QString RequestFileName() const;
    QString ResultFileName() const;
};

inline const char kExchangeSection[] = "EXCHANGE";
