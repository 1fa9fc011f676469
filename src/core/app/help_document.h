#pragma once
#include <QString>

// Which help document belongs to a language: the Chinese guide for LANGUAGE
// "Chinese" (any letter case), the English one otherwise.
struct HelpDocument {
    QString title;    // the viewer window's title
    QString fileName; // in the program folder
    QString path;     // ProgramFolder + fileName
};

HelpDocument HelpDocumentFor(const QString& language);
