#include "core/exchange/gdt_charset.h"

#include "core/exchange/cp437_codec.h"

#include <cstdint>

namespace {

// ISO 8859-15 replaces eight positions of ISO 8859-1.
struct Latin9Change {
    std::uint8_t byte;
    char16_t code;
};
constexpr Latin9Change kLatin9[] = {{0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161},
                                    {0xB4, 0x017D}, {0xB8, 0x017E}, {0xBC, 0x0152},
                                    {0xBD, 0x0153}, {0xBE, 0x0178}};

char16_t latin9Char(std::uint8_t byte)
{
    for (const Latin9Change& c : kLatin9)
        if (c.byte == byte)
            return c.code;
    return byte;
}

int latin9Byte(char16_t code)
{
    for (const Latin9Change& c : kLatin9) {
        if (c.code == code)
            return c.byte;
        if (c.byte == code)
            return -1; // the Latin-1 character this position held is gone
    }
    return code <= 0xFF ? int(code) : -1;
}

} // namespace

bool GdtCharsetFromField(const QString& value, GdtCharset& charset)
{
    if (value == "1")
        charset = GdtCharset::Ascii7;
    else if (value == "2")
        charset = GdtCharset::Cp437;
    else if (value == "3")
        charset = GdtCharset::Latin1;
    else
        return false;
    return true;
}

QString GdtCharsetField(GdtCharset charset)
{
    switch (charset) {
    case GdtCharset::Ascii7:
        return "1";
    case GdtCharset::Cp437:
        return "2";
    case GdtCharset::Latin1:
        return "3";
    case GdtCharset::Latin9:
        break;
    }
    return QString();
}

QString GdtCharsetName(GdtCharset charset)
{
    switch (charset) {
    case GdtCharset::Ascii7:
        return "7-bit ASCII";
    case GdtCharset::Cp437:
        return "IBM 437";
    case GdtCharset::Latin1:
        return "ISO 8859-1";
    case GdtCharset::Latin9:
        break;
    }
    return "ISO 8859-15";
}

bool DecodeGdtText(const QByteArray& bytes, GdtCharset charset, QString& text, int* badAt)
{
    for (int i = 0; i < int(bytes.size()); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        const bool control = byte < 0x20 || byte == 0x7F;
        const bool outside = (charset == GdtCharset::Ascii7 && byte > 0x7F) ||
                             ((charset == GdtCharset::Latin1 || charset == GdtCharset::Latin9) &&
                              byte >= 0x80 && byte <= 0x9F);
        if (control || outside) {
            if (badAt)
                *badAt = i;
            return false;
        }
    }
    switch (charset) {
    case GdtCharset::Ascii7:
        text = QString::fromLatin1(bytes);
        return true;
    case GdtCharset::Cp437:
        text = Cp437::Decode(bytes);
        return true;
    case GdtCharset::Latin1:
        text = QString::fromLatin1(bytes);
        return true;
    case GdtCharset::Latin9:
        text.clear();
        text.reserve(bytes.size());
        for (const char c : bytes)
            text.append(QChar(latin9Char(static_cast<std::uint8_t>(c))));
        return true;
    }
    return false;
}

bool EncodeGdtText(const QString& text, GdtCharset charset, QByteArray& bytes)
{
    QByteArray out;
    out.reserve(text.size());
    switch (charset) {
    case GdtCharset::Cp437:
        return Cp437::Encode(text, bytes);
    case GdtCharset::Ascii7:
    case GdtCharset::Latin1:
    case GdtCharset::Latin9: {
        for (const QChar ch : text) {
            int byte = ch.unicode();
            if (charset == GdtCharset::Ascii7 && byte > 0x7F)
                return false;
            if (charset == GdtCharset::Latin1 && byte > 0xFF)
                return false;
            if (charset == GdtCharset::Latin9)
                byte = latin9Byte(ch.unicode());
            if (byte < 0)
                return false;
            out.append(char(byte));
        }
        bytes = out;
        return true;
    }
    }
    return false;
}
