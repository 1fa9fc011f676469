#pragma once
#include <QFont>
#include <QString>
#include <QStringList>

// The faces of everything the program paints as a report or a curve, first
// choice first: a Simplified Chinese face for Chinese, a metric-compatible
// sans for every other language (the other face covers names written in the
// other script).
QStringList ReportFontFamilies(const QString& language);

// A font of those faces for the current language, `pixelSize` high.
QFont ReportFont(int pixelSize, bool bold = false);
