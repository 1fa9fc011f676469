#pragma once
// Text inside an HL7 v2 field with the default delimiters |^~\&: every
// delimiter written as its escape (\F\ \S\ \R\ \T\ \E\), line breaks as
// \X0D\ and \X0A\, other control characters as spaces, so that nothing a
// name or a note holds can start a field, a component or a segment.
#include <QString>

QString Hl7Escape(const QString& text);
// The reverse for text a receiver sent (MSA-3, ERR-8): the five delimiter
// escapes, \X..\ as bytes; other escapes are dropped.
QString Hl7Unescape(const QString& text);

// The HL7 timestamp (DTM) of a local time: YYYYMMDDHHMMSS+ZZZZ.
class QDateTime;
QString Hl7DateTime(const QDateTime& local);
