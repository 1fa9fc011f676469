#pragma once
// IBM code page 437, the 8-bit character set of DOS-era practice systems.
// Qt's converters do not know it, so it is a plain table here.
#include <QByteArray>
#include <QString>

namespace Cp437 {

// Every byte has a character, so decoding never fails.
QString Decode(const QByteArray& bytes);

// False when `text` holds a character the code page lacks; `out` is then
// left empty.
bool Encode(const QString& text, QByteArray& out);

} // namespace Cp437
