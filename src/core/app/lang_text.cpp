#include "core/app/lang_text.h"

#include "core/app/app_paths.h"
#include "core/app/builtin_strings.h"
#include "core/app/ini_file.h"

QString GetLangTextFrom(const QString& languageFile, const QString& section, int id)
{
    QString value =
        IniFile::ReadString(languageFile, section, QString::number(id), QString(), kLangTextLength);
    if (value.isEmpty())
        return BuiltinString(id);
    value.replace("\\n", "\n");
    return value;
}

QString GetLangText(const QString& section, int id)
{
    return GetLangTextFrom(AppPaths::LanguageFile(), section, id);
}
