#pragma once
// The character sets a GDT file may declare (field 9206) and their byte forms.
#include <QByteArray>
#include <QString>

enum class GdtCharset {
    Ascii7 = 1, // 9206 = 1: 7-bit ASCII
    Cp437 = 2,  // 9206 = 2: IBM code page 437 (the default of a 2.1 file without 9206)
    Latin1 = 3, // 9206 = 3: ISO 8859-1
    Latin9 = 15 // ISO 8859-15, the fixed set of GDT 3.0 files (no 9206 there)
};

// The set of a 9206 value; false for anything but "1", "2" or "3".
bool GdtCharsetFromField(const QString& value, GdtCharset& charset);
// The 9206 value of a set ("" for Latin9, which 2.1 files cannot declare).
QString GdtCharsetField(GdtCharset charset);

// The set's name for messages ("ISO 8859-1").
QString GdtCharsetName(GdtCharset charset);

// Bytes to text. False when a byte is no character of the set: a control byte
// (below 0x20, 0x7F) in any set, a byte above 0x7F in a 7-bit file, 0x80 to
// 0x9F in the ISO sets (where a file in another code page puts its umlauts).
// `badAt` then holds the offset of the first such byte.
bool DecodeGdtText(const QByteArray& bytes, GdtCharset charset, QString& text,
                   int* badAt = nullptr);
// Text to bytes. False when a character has no byte in the set.
bool EncodeGdtText(const QString& text, GdtCharset charset, QByteArray& bytes);
