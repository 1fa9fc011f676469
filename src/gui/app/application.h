#pragma once
#include <QString>

class QApplication;

// Start-up of the desktop program: settings, language file, case folder,
// database, then the main window; returns the process exit code.
int RunApplication(QApplication& app, const QString& exeFolder);

// When no display is available, selects the offscreen platform (before the
// QApplication exists) and returns true so the caller can say so.
bool SelectOffscreenWhenHeadless();
