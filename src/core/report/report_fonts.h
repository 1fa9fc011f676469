#pragma once
#include <QFont>
#include <QString>
#include <QStringList>

// The faces of everything the program paints as a report or a curve, first
// choice first: the metric-compatible sans for Latin letters and digits, the
// Simplified Chinese face for Chinese characters, in every language (a
// Chinese report holds parameter names, an English one may hold a Chinese name).
QStringList ReportFontFamilies(const QString& language);

// A font of those faces for the current language, `pixelSize` high.
QFont ReportFont(int pixelSize, bool bold = false);
