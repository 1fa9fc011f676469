#include "core/app/text_limit.h"

QString TextLimit::Left(const QString& text, int characters)
{
    if (characters <= 0)
        return QString();
    qsizetype end = 0;
    for (int n = 0; n < characters && end < text.size(); ++n) {
        const bool pair = text[end].isHighSurrogate() && end + 1 < text.size() &&
                          text[end + 1].isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

int TextLimit::Length(const QString& text)
{
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return count;
}
