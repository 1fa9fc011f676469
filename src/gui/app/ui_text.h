#pragma once
#include <QString>

// A few labels have no entry in the language tables: the Chinese text when the
// language is Chinese, the English one otherwise.
QString UiText(const char* english, const char* chinese);
