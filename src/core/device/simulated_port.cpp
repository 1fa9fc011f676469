#include "core/device/simulated_port.h"

#include <algorithm>
#include <chrono>
#include <thread>

SimulatedPort::SimulatedPort(std::shared_ptr<VirtualSpirometer> device, int idleWaitMs)
    : m_device(std::move(device)), m_idleWaitMs(idleWaitMs)
{
}

int SimulatedPort::IsOpen()
{
    std::lock_guard lock(m_mutex);
    return m_open && m_device->Connected() ? 1 : 0;
}

int SimulatedPort::Open()
{
    std::lock_guard lock(m_mutex);
    m_readsCancelled = false;
    m_open = m_device->Connected() ? 1 : 0;
    return m_open;
}

int SimulatedPort::Close()
{
    std::lock_guard lock(m_mutex);
    m_open = 0;
    return 1;
}

int SimulatedPort::Write(const unsigned char* buffer, int count)
{
    std::lock_guard lock(m_mutex);
    if (!m_open || !m_device->Connected() || count < 0)
        return 0;
    m_device->HostBytes(buffer, count);
    return 1;
}

int SimulatedPort::take(unsigned char* buffer, int count)
{
    std::lock_guard lock(m_mutex);
    if (!m_open || !m_device->Connected())
        return -1;
    return m_device->DeviceBytes(buffer, count);
}

int SimulatedPort::Read(unsigned char* buffer, int count)
{
    if (count <= 0)
        return IsOpen();
    // A report link answers a command with one whole report.
    if (m_device->ReportSize() > 0)
        return ReadSome(buffer, count) > 0 ? 1 : 0;
    // A byte link's reply gets exactly its bytes, however they are cut, or fails.
    for (int n = 0; n < count;) {
        const int got = ReadSome(buffer + n, count - n);
        if (got <= 0)
            return 0;
        n += got;
    }
    return 1;
}

int SimulatedPort::ReadSome(unsigned char* buffer, int count)
{
    using Clock = std::chrono::steady_clock;
    if (count <= 0)
        return 0;
    const bool reports = m_device->ReportSize() > 0;
    const int split = m_device->Config().faults.splitBytes;
    if (!reports && split > 0)
        count = std::min(count, split); // a read that ends inside a frame
    // A byte-stream link keeps collecting until the block is full or the
    // device pauses; a report link delivers one report per read.
    // At a person's pace a read waits long enough that the ten empty reads a
    // live test tolerates outlast the longest rest between two manoeuvres (1.5 s).
    const auto pause = std::chrono::milliseconds(m_device->Config().realTime ? 250 : m_idleWaitMs);
    auto last = Clock::now();
    int n = 0;
    while (n < count) {
        const int got = take(buffer + n, count - n);
        if (got < 0)
            return 0;
        if (got > 0) {
            n += got;
            last = Clock::now();
            if (reports)
                break;
            continue;
        }
        if (Clock::now() - last >= pause || m_readsCancelled.load())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return n;
}
