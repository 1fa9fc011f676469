#include "gui/app/ui_text.h"

#include "core/app/system_settings.h"

QString UiText(const char* english, const char* chinese)
{
    const bool isChinese = Settings().language.compare("Chinese", Qt::CaseInsensitive) == 0;
    return isChinese ? QString::fromUtf8(chinese) : QString::fromUtf8(english);
}
