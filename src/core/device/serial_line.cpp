#include "core/device/serial_line.h"

#include <libserialport.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

class LibSerialLine : public SerialLine {
  public:
    ~LibSerialLine() override { Close(); }

    bool Open(const QString& name, int baudRate) override
    {
        Close();
        if (sp_get_port_by_name(name.toLocal8Bit().constData(), &m_port) != SP_OK) {
            m_port = nullptr;
            return false;
        }
        if (sp_open(m_port, SP_MODE_READ_WRITE) != SP_OK) {
            sp_free_port(m_port);
            m_port = nullptr;
            return false;
        }
        m_open = true;
        // One setter per field: a whole-config write would also drive RTS/DTR,
        // which some USB-serial functions do not support.
        const bool configured =
            sp_set_baudrate(m_port, baudRate) == SP_OK && sp_set_bits(m_port, 8) == SP_OK &&
            sp_set_parity(m_port, SP_PARITY_ODD) == SP_OK && sp_set_stopbits(m_port, 1) == SP_OK &&
            sp_set_flowcontrol(m_port, SP_FLOWCONTROL_NONE) == SP_OK;
        if (!configured)
            Close();
        return configured;
    }

    void Close() override
    {
        if (!m_port)
            return;
        if (m_open)
            sp_close(m_port);
        sp_free_port(m_port);
        m_port = nullptr;
        m_open = false;
    }

    bool Flush() override { return m_port && sp_flush(m_port, SP_BUF_BOTH) == SP_OK; }

    int Write(const unsigned char* buffer, int count, int timeoutMs) override
    {
        if (!m_port)
            return -1;
        const sp_return result =
            sp_blocking_write(m_port, buffer, static_cast<size_t>(count), timeoutMs);
        return result < 0 ? -1 : static_cast<int>(result);
    }

    int ReadSome(unsigned char* buffer, int count, int timeoutMs) override
    {
        if (!m_port || timeoutMs <= 0)
            return -1;
        const sp_return result =
            sp_blocking_read_next(m_port, buffer, static_cast<size_t>(count), timeoutMs);
        return result < 0 ? -1 : static_cast<int>(result);
    }

  private:
    sp_port* m_port = nullptr;
    bool m_open = false;
};

// Plain termios for pseudo-terminals (the virtual device behind `tavctl devsim`).
class TermiosLine : public SerialLine {
  public:
    ~TermiosLine() override { Close(); }

    bool Open(const QString& name, int baudRate) override
    {
        Close();
        m_fd = ::open(name.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        termios tio{};
        bool ok = ::ioctl(m_fd, TIOCEXCL) == 0 && tcgetattr(m_fd, &tio) == 0;
        if (ok) {
            cfmakeraw(&tio);
            ok = cfsetspeed(&tio, speedFor(baudRate)) == 0;
            tio.c_cflag &= ~(CSIZE | CSTOPB | CRTSCTS);
            tio.c_cflag |= CS8 | CLOCAL | CREAD;
            tio.c_cc[VMIN] = 0;
            tio.c_cc[VTIME] = 0;
            // Odd parity first; a line that refuses it still carries the
            // bytes unchanged (a pseudo-terminal has no parity bit at all).
            termios withParity = tio;
            withParity.c_cflag |= PARENB | PARODD;
            withParity.c_iflag |= INPCK;
            ok = ok && (tcsetattr(m_fd, TCSANOW, &withParity) == 0 ||
                        tcsetattr(m_fd, TCSANOW, &tio) == 0);
        }
        if (!ok)
            Close();
        return ok;
    }

    void Close() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    bool Flush() override { return m_fd >= 0 && tcflush(m_fd, TCIOFLUSH) == 0; }

    int Write(const unsigned char* buffer, int count, int timeoutMs) override
    {
        if (m_fd < 0)
            return -1;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int done = 0;
        while (done < count) {
            const ssize_t n = ::write(m_fd, buffer + done, static_cast<size_t>(count - done));
            if (n > 0) {
                done += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return done > 0 ? done : -1;
            const int left = msLeft(deadline);
            if (left <= 0 || waitFor(POLLOUT, left) != 0)
                break;
        }
        return done;
    }

    int ReadSome(unsigned char* buffer, int count, int timeoutMs) override
    {
        if (m_fd < 0 || timeoutMs <= 0)
            return -1;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        bool hungUp = false;
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, static_cast<size_t>(count));
            if (n > 0)
                return static_cast<int>(n);
            // The other end went away (like an unplugged device) once
            // nothing is left to read after a hang-up.
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || hungUp)
                return -1;
            const int left = msLeft(deadline);
            if (left <= 0)
                return 0;
            const int state = waitFor(POLLIN, left);
            if (state < 0)
                return -1;
            hungUp = state > 0;
        }
    }

  private:
    using Clock = std::chrono::steady_clock;

    static int msLeft(Clock::time_point deadline)
    {
        return static_cast<int>(
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
    }

    // Waits for the event; 1 when the line hung up (the other end of the
    // pseudo-terminal closed), which a read alone does not tell from silence.
    int waitFor(short events, int timeoutMs)
    {
        pollfd p{m_fd, events, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0)
            return errno == EINTR ? 0 : -1;
        return r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) ? 1 : 0;
    }

    static speed_t speedFor(int baudRate)
    {
        switch (baudRate) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return B115200;
        }
    }

    int m_fd = -1;
};

} // namespace

bool LibSerialKnowsPort(const QString& name)
{
    sp_port* port = nullptr;
    if (sp_get_port_by_name(name.toLocal8Bit().constData(), &port) != SP_OK)
        return false;
    sp_free_port(port);
    return true;
}

std::unique_ptr<SerialLine> MakeLibSerialLine()
{
    return std::make_unique<LibSerialLine>();
}
std::unique_ptr<SerialLine> MakeTermiosLine()
{
    return std::make_unique<TermiosLine>();
}

std::unique_ptr<SerialLine> MakeSerialLine(const QString& name)
{
    if (LibSerialKnowsPort(name))
        return MakeLibSerialLine();
    return MakeTermiosLine();
}
