#pragma once
// Qt writes the text map of an embedded font (which glyph is which character)
// by asking the font, code point by code point, and keeps the first answer.
// CJK faces draw a radical and the ideograph it comes from with one glyph, so
// 日 女 高 人 身 and many more would read back as radicals (⽇ ⼥ ⾼ ⼈ ⾝) and
// a search for them would fail. This mends the map of a written PDF.
#include <QByteArray>

// `pdf` with every radical in its text maps replaced by the ideograph of the
// same glyph in the report's Chinese face. The replacement has the same
// length, so offsets and the cross-reference table stay valid.
QByteArray MendPdfTextMap(const QByteArray& pdf);
