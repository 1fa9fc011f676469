#include "core/report/report_fonts.h"

#include "core/app/system_settings.h"

#include <algorithm>

QStringList ReportFontFamilies(const QString& language)
{
    // Named faces, never a fallback chosen by the system: a Japanese CJK face
    // maps common Chinese characters to radicals and the PDF text is lost.
    const bool chinese = language.compare("Chinese", Qt::CaseInsensitive) == 0;
    return chinese ? QStringList{"Noto Sans CJK SC", "Liberation Sans"}
                   : QStringList{"Liberation Sans", "Noto Sans CJK SC"};
}

QFont ReportFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies(ReportFontFamilies(Settings().language));
    font.setPixelSize(std::max(1, pixelSize));
    font.setBold(bold);
    return font;
}
