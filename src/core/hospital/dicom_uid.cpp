#include "core/hospital/dicom_uid.h"

#include <QUuid>

#include <algorithm>
#include <array>

namespace {

const QUuid kUidNamespace("{3b0e7c52-91a4-4f6d-b8e2-5c17d09a6e41}");

} // namespace

QString DicomUidFromName(const QString& name)
{
    const QByteArray bytes = QUuid::createUuidV5(kUidNamespace, name).toRfc4122();
    // The 128-bit number in decimal: repeated division of the big-endian bytes by 10.
    std::array<unsigned char, 16> n{};
    std::copy(bytes.begin(), bytes.end(), n.begin());
    QString digits;
    while (std::any_of(n.begin(), n.end(), [](unsigned char b) { return b != 0; })) {
        unsigned remainder = 0;
        for (unsigned char& b : n) {
            const unsigned value = remainder * 256 + b;
            b = static_cast<unsigned char>(value / 10);
            remainder = value % 10;
        }
        digits.prepend(QChar('0' + char(remainder)));
    }
    return "2.25." + (digits.isEmpty() ? QString("0") : digits);
}
