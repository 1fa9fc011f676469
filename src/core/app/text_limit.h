#pragma once
#include <QString>

// Cutting texts to their documented limits. A limit counts characters as a
// person sees them (Unicode code points), so a character outside the basic
// plane - two UTF-16 units - is kept whole or left out, never halved.
class TextLimit {
public:
    // The first `characters` characters of `text`.
    static QString Left(const QString& text, int characters);
    // The number of characters of `text`.
    static int Length(const QString& text);
};
