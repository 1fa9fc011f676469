#include "core/device/chid.h"

#include <QMap>

#include <algorithm>
#include <vector>

CHID::CHID(std::unique_ptr<HidBackend> backend) : m_backend(std::move(backend)) {}

CHID::~CHID()
{
    Close();
}

int CHID::SelectDeviceOpen(int index, int vendorId, int productId, const QString& manufacturer,
                           const QString& product)
{
    if (!m_backend || index < 1)
        return 0;
    Close();
    m_lost = 0;
    int seen = 0;
    for (const HidBackend::DeviceInfo& info : m_backend->Enumerate(vendorId, productId)) {
        if (info.vendorId != vendorId || info.productId != productId ||
            info.manufacturer != manufacturer || info.product != product)
            continue;
        if (++seen < index)
            continue;
        if (!m_backend->Open(info.path))
            return 0;
        const int length = ReportLengthFromDescriptor(m_backend->ReportDescriptor());
        return length > 1 ? length : kDefaultReportLength;
    }
    return 0;
}

int CHID::IsOpen() const
{
    return m_backend && m_backend->IsOpen() ? 1 : 0;
}

int CHID::Close()
{
    if (m_backend && m_backend->IsOpen())
        m_backend->Close();
    return 1;
}

int CHID::Write(const unsigned char* report, int length, int* written)
{
    if (written)
        *written = 0;
    if (!IsOpen() || !report || length < 1)
        return 0;
    const int sent = m_backend->Write(report, length);
    if (written)
        *written = std::max(sent, 0);
    return sent == length ? 1 : 0;
}

int CHID::Read(unsigned char* report, int length, int* read)
{
    if (read)
        *read = 0;
    if (!IsOpen() || !report || length < 2)
        return 0;
    report[0] = 0;
    const int got = m_backend->Read(report + 1, length - 1, kReadWaitMs);
    if (got < 0)
        m_lost = 1;
    if (got <= 0)
        return 0;
    if (read)
        *read = got + 1;
    return 1;
}

int CHID::ReportLengthFromDescriptor(const QByteArray& descriptor)
{
    // The longest input report we accept; sums stop just above it, so that
    // sizes and counts of up to 2^32 - 1 from a hostile device cannot overflow.
    constexpr unsigned long long kMaxBits = 8 * 4096;
    struct Globals {
        unsigned long long size = 0;
        unsigned long long count = 0;
        int reportId = 0;
    };
    Globals globals;
    std::vector<Globals> stack;
    QMap<int, unsigned long long> inputBits; // per report ID, at most kMaxBits + 1
    const auto* bytes = reinterpret_cast<const unsigned char*>(descriptor.constData());
    const qsizetype total = descriptor.size();
    qsizetype at = 0;
    while (at < total) {
        const unsigned char prefix = bytes[at];
        if (prefix == 0xFE) { // long item: size byte, tag byte, data
            if (at + 1 >= total)
                break;
            at += 3 + bytes[at + 1];
            continue;
        }
        const int size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (at + 1 + size > total)
            break;
        unsigned long value = 0;
        for (int i = 0; i < size; ++i)
            value |= static_cast<unsigned long>(bytes[at + 1 + i]) << (8 * i);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (type == 1) { // global
            if (tag == 7)
                globals.size = value;
            else if (tag == 8)
                globals.reportId = static_cast<int>(value);
            else if (tag == 9)
                globals.count = value;
            else if (tag == 10)
                stack.push_back(globals);
            else if (tag == 11 && !stack.empty()) {
                globals = stack.back();
                stack.pop_back();
            }
        } else if (type == 0 && tag == 8) { // input
            // Both factors are below 2^32: the product fits in 64 bits.
            const unsigned long long bits = std::min(globals.size * globals.count, kMaxBits + 1);
            unsigned long long& sum = inputBits[globals.reportId];
            sum = std::min(sum + bits, kMaxBits + 1);
        }
        at += 1 + size;
    }
    unsigned long long longest = 0;
    for (unsigned long long bits : inputBits)
        longest = std::max(longest, bits);
    if (longest == 0 || longest > kMaxBits)
        return 0;
    return static_cast<int>((longest + 7) / 8) + 1;
}
