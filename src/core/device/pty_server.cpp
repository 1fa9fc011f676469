#include "core/device/pty_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PtyServer::PtyServer(const SimConfig& config) : m_config(config) {}

PtyServer::~PtyServer()
{
    Stop();
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyServer::Create()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return false;
    const char* name = nullptr;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || !(name = ptsname(m_master))) {
        ::close(m_master);
        m_master = -1;
        return false;
    }
    m_slaveName = QString::fromLocal8Bit(name);
    m_device = VirtualSpirometer::Make(m_config);
    ++m_sessions;
    return true;
}

void PtyServer::takeReplacement()
{
    m_device = m_replacement.get();
    ++m_sessions;
}

void PtyServer::StartThread()
{
    m_stop = 0;
    m_thread = std::thread([this] { Serve(m_stop); });
}

void PtyServer::Stop()
{
    m_stop = 1;
    if (m_thread.joinable())
        m_thread.join();
}

void PtyServer::Serve(const std::atomic<int>& stop)
{
    if (m_master < 0)
        return;
    unsigned char in[512];
    unsigned char out[4096];
    while (!stop) {
        if (m_replacement.valid() &&
            m_replacement.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            takeReplacement();
        pollfd p{m_master, POLLIN, 0};
        ::poll(&p, 1, 5);
        const ssize_t n = ::read(m_master, in, sizeof in);
        if (n > 0) {
            if (m_replacement.valid())
                takeReplacement(); // the next user is there: wait for the new device
            m_device->HostBytes(in, static_cast<int>(n));
        } else if (n < 0 && errno == EIO) {
            // Nobody has the slave open. A test left running is ended by
            // switching the device off and on again.
            if (m_device->Streaming() && !m_replacement.valid()) {
                const SimConfig config = m_config;
                m_replacement = std::async(std::launch::async,
                                           [config] { return VirtualSpirometer::Make(config); });
            }
            usleep(10000);
            continue;
        }
        if (m_replacement.valid())
            continue; // the old device is off
        int produced = 0;
        const int split = m_config.faults.splitBytes;
        while (!stop && (produced = m_device->DeviceBytes(out, sizeof out)) > 0) {
            bool written = true;
            // In pieces with a pause between: the reader gets frames cut anywhere.
            for (int at = 0; written && at < produced; at += split > 0 ? split : produced) {
                const int piece = split > 0 ? std::min(split, produced - at) : produced;
                written = writeAll(out + at, piece, stop);
                if (split > 0)
                    usleep(2000);
            }
            if (!written)
                break;
        }
    }
}

bool PtyServer::writeAll(const unsigned char* data, int count, const std::atomic<int>& stop)
{
    int done = 0;
    while (done < count && !stop) {
        const ssize_t n = ::write(m_master, data + done, static_cast<size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        // The reader is behind: wait until the pseudo-terminal takes more.
        pollfd p{m_master, POLLOUT, 0};
        ::poll(&p, 1, 20);
        if (p.revents & POLLHUP)
            return false; // nobody reads any more
    }
    return done == count;
}
