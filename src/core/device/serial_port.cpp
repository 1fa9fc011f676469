#include "core/device/serial_port.h"

#include "core/device/port_discovery.h"

#include "core/app/system_settings.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr int kInterByteMs = 100;
constexpr int kPerByteMs = 50;
constexpr int kConstantMs = 50;
// A read waits in slices this long, so that a cancel is seen promptly.
constexpr int kCancelSliceMs = 20;

} // namespace

SerialPort::SerialPort()
    : SerialPort([] { return PortDiscovery::FindPorts(kVendorId, kProductId); })
{
}

SerialPort::SerialPort(PortLister lister) : m_lister(std::move(lister)) {}

SerialPort::~SerialPort()
{
    Close();
}

int SerialPort::IsOpen()
{
    return m_open;
}

int SerialPort::Open()
{
    Close();
    m_readsCancelled = false;
    m_open = findAndOpen();
    return m_open;
}

int SerialPort::Close()
{
    closeLine();
    m_open = 0;
    return 1;
}

void SerialPort::closeLine()
{
    if (m_line) {
        m_line->Flush();
        m_line->Close();
    }
    m_line.reset();
    m_portName.clear();
}

void SerialPort::lost()
{
    // The device went away (unplugged, or the other end of a pseudo-terminal
    // closed): report the port closed so that a reader stops waiting on it.
    // The line itself is let go by Close, on the thread that owns the port.
    m_open = 0;
}

int SerialPort::findAndOpen()
{
    const QString configured = Settings().portName;
    if (!configured.isEmpty() && openOne(configured))
        return 1;
    const QStringList candidates = m_lister ? m_lister() : QStringList();
    for (const QString& name : candidates) {
        if (!openOne(name))
            continue;
        // Remember the port that answered; an unchanged setting leaves the file alone.
        if (name != configured) {
            Settings().portName = name;
            SystemSettings::WriteString("PORTNAME", name);
        }
        return 1;
    }
    return 0;
}

int SerialPort::openOne(const QString& name)
{
    closeLine();
    m_line = MakeSerialLine(name);
    if (!m_line->Open(name, kBaudRate) || !m_line->Flush()) {
        closeLine();
        return 0;
    }
    m_portName = name;
    const unsigned char hello = 'E';
    unsigned char answer[2] = {0, 0};
    if (Write(&hello, 1) && Read(answer, 1) && answer[0] == 'T')
        return 1;
    closeLine();
    return 0;
}

int SerialPort::Write(const unsigned char* buffer, int count)
{
    if (!m_line || count < 0 || (count > 0 && !buffer))
        return 0;
    // A reply to an earlier command that nobody read must not be taken for
    // the answer to this one.
    m_line->Flush();
    if (count == 0)
        return 1;
    const int written = m_line->Write(buffer, count, kPerByteMs * count + kConstantMs);
    if (written < 0)
        lost();
    return written == count ? 1 : 0;
}

int SerialPort::ReadSome(unsigned char* buffer, int count)
{
    return std::max(readUpTo(buffer, count), 0);
}

int SerialPort::Read(unsigned char* buffer, int count)
{
    if (count == 0)
        return m_line ? 1 : 0;
    // A reply is whole or it failed: a short read is never padded.
    return readUpTo(buffer, count) == count ? 1 : 0;
}

int SerialPort::readUpTo(unsigned char* buffer, int count)
{
    if (!m_line || count <= 0 || !buffer)
        return -1;
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(kPerByteMs * count + kConstantMs);
    auto lastByte = Clock::now();
    int got = 0;
    while (got < count && !m_readsCancelled.load()) {
        auto until = deadline;
        if (got > 0)
            until = std::min(until, lastByte + std::chrono::milliseconds(kInterByteMs));
        const int wait = static_cast<int>(
            std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count());
        if (wait <= 0)
            break;
        const int n = m_line->ReadSome(buffer + got, count - got, std::min(wait, kCancelSliceMs));
        if (n < 0) {
            lost();
            return -1;
        }
        if (n > 0) {
            got += n;
            lastByte = Clock::now();
        }
    }
    return got;
}
