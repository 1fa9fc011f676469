#pragma once
#include <QString>

// The one rule for names and free texts, whoever supplies them (the patient
// editor, a CSV import, a GDT request or worklist order, tavctl): no NUL or
// other control character (C0, DEL, C1), no character that overrides or
// isolates the writing direction (U+202A-U+202E, U+2066-U+2069: they make a
// name read differently from what is stored), and a length counted in
// characters (Unicode code points), so 30 emoji fit a 40-character field.
class TextRule {
public:
    enum class Fault { None, Control, Direction, TooLong };

    // The first rule `text` breaks. A multi-line text (`lineBreaks`) may hold CR and LF.
    static Fault Check(const QString& text, int maxCharacters, bool lineBreaks = false);
    // The message of a fault (messages 2933-2935), naming the field.
    static QString Message(Fault fault, const QString& field, int maxCharacters);
    // Check and Message in one: empty when the text keeps the rule.
    static QString Refusal(const QString& text, const QString& field, int maxCharacters,
                           bool lineBreaks = false);
    // `text` for a terminal: control and direction characters as \u{XXXX},
    // a backslash doubled, so a stored text can neither move the cursor nor
    // turn the rest of the line around.
    static QString Escaped(const QString& text);
};
