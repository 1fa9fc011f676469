#include "core/app/text_rule.h"

#include "core/app/lang_text.h"
#include "core/app/text_limit.h"

#include <QList>

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isDirection(char32_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

TextRule::Fault TextRule::Check(const QString& text, int maxCharacters, bool lineBreaks)
{
    for (const char32_t c : text.toUcs4()) {
        if (isControl(c) && !(lineBreaks && (c == '\r' || c == '\n')))
            return Fault::Control;
        if (isDirection(c))
            return Fault::Direction;
    }
    return TextLimit::Length(text) > maxCharacters ? Fault::TooLong : Fault::None;
}

QString TextRule::Message(Fault fault, const QString& field, int maxCharacters)
{
    switch (fault) {
    case Fault::None:
        break;
    case Fault::Control:
        return GetLangText("MESSAGE", 2933).arg(field);
    case Fault::Direction:
        return GetLangText("MESSAGE", 2934).arg(field);
    case Fault::TooLong:
        return GetLangText("MESSAGE", 2935).arg(field).arg(maxCharacters);
    }
    return QString();
}

QString TextRule::Refusal(const QString& text, const QString& field, int maxCharacters,
                          bool lineBreaks)
{
    return Message(Check(text, maxCharacters, lineBreaks), field, maxCharacters);
}

QString TextRule::Escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c == '\\')
            out += "\\\\";
        else if (isControl(c) || isDirection(c))
            out += QString("\\u{%1}").arg(uint(c), 4, 16, QChar('0'));
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out;
}
