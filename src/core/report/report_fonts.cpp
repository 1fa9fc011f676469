#include "core/report/report_fonts.h"

#include "core/app/system_settings.h"

#include <algorithm>

QStringList ReportFontFamilies(const QString& language)
{
    // Named faces, never a fallback chosen by the system (which picked a
    // Japanese CJK face). Latin letters and digits always come from the
    // metric-compatible sans, whose text map is plain; Chinese characters from
    // the Simplified Chinese face (PDF text maps mended by MendPdfTextMap).
    // The same pair serves every language: each face draws its own script.
    Q_UNUSED(language);
    return {"Liberation Sans", "Noto Sans CJK SC"};
}

QFont ReportFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies(ReportFontFamilies(Settings().language));
    font.setPixelSize(std::max(1, pixelSize));
    font.setBold(bold);
    return font;
}
