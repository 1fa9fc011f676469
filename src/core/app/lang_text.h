#pragma once
#include <QString>

// Text `id` of `section` from the current language file (read on every call,
// "\n" pairs turned into line breaks, at most 511 characters), or the built-in
// text of `id` when the file has none.
QString GetLangText(const QString& section, int id);

// Same lookup in a given language file (used by tests and the settings dialog).
QString GetLangTextFrom(const QString& languageFile, const QString& section, int id);

inline constexpr int kLangTextLength = 511;
