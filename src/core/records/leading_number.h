#pragma once
#include <QString>

// The C library's atof rule, independent of the process locale: the longest
// leading decimal number of `text` (after leading white space), 0 when there is none.
// Only decimal notation counts: "inf", "nan" and hexadecimal forms give 0.
double LeadingNumber(const QString& text);
