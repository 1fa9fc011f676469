#pragma once
#include <QUrl>

#include <functional>

class QWidget;

// The help command (F1): opens TAV(EN).pdf or TAV(CH).pdf from the program
// folder with the system's viewer; "Can not find help file!" when it is missing.
// Returns true when the document was handed to the viewer.
bool OpenHelpDocument(QWidget* parent = nullptr);

// Tests replace the system viewer; an empty function restores it.
void SetHelpOpener(std::function<bool(const QUrl&)> opener);
