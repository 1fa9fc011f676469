#pragma once
// A pseudo-terminal whose master side plays a device: every byte the port
// sends is handed to a responder, whose answer is written back.
#include <QByteArray>
#include <QString>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

class PtyDevice {
  public:
    using Responder = std::function<QByteArray(unsigned char)>;

    explicit PtyDevice(Responder responder = {}) : m_responder(std::move(responder))
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_name = QString::fromLocal8Bit(ptsname(m_master));
        m_thread = std::thread([this] { serve(); });
    }
    ~PtyDevice()
    {
        m_stop = 1;
        m_thread.join();
        if (m_master >= 0)
            close(m_master);
    }

    QString name() const { return m_name; }
    // Everything the port has sent so far.
    QByteArray received()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    // Sends bytes to the port unasked.
    void send(const QByteArray& bytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        writeAll(bytes);
    }
    void setResponder(Responder responder)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_responder = std::move(responder);
    }

  private:
    void serve()
    {
        while (!m_stop) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            unsigned char byte = 0;
            const ssize_t n = read(m_master, &byte, 1);
            if (n != 1) {
                // No slave open yet (EIO): wait for the port to come.
                usleep(5000);
                continue;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.append(static_cast<char>(byte));
            if (m_responder)
                writeAll(m_responder(byte));
        }
    }
    void writeAll(const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_master, bytes.constData() + done, bytes.size() - done);
            if (n > 0)
                done += n;
            else if (errno == EAGAIN)
                usleep(1000);
            else
                return;
        }
    }

    int m_master = -1;
    QString m_name;
    Responder m_responder;
    QByteArray m_received;
    std::mutex m_mutex;
    std::atomic<int> m_stop{0};
    std::thread m_thread;
};

// The device's half of the handshake: "E" is answered with `reply`.
inline PtyDevice::Responder AnswerE(char reply)
{
    return
        [reply](unsigned char byte) { return byte == 'E' ? QByteArray(1, reply) : QByteArray(); };
}
