#include "core/device/qt_bluetooth_transport.h"

#include <QBluetoothAddress>
#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothDeviceInfo>
#include <QBluetoothHostInfo>
#include <QBluetoothLocalDevice>
#include <QBluetoothSocket>
#include <QBluetoothUuid>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

constexpr int kInquiryLimitMs = 30000;
constexpr int kConnectLimitMs = 20000;

class QtBluetoothTransport : public BluetoothTransport {
  public:
    QtBluetoothTransport()
    {
        m_thread.setObjectName("bluetooth");
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_context, &QObject::deleteLater);
        m_thread.start();
    }

    ~QtBluetoothTransport() override
    {
        Disconnect();
        m_thread.quit();
        m_thread.wait();
    }

    QList<Radio> Radios() override
    {
        QList<Radio> radios;
        run([&] {
            for (const QBluetoothHostInfo& host : QBluetoothLocalDevice::allDevices()) {
                QBluetoothLocalDevice local(host.address());
                if (!local.isValid())
                    continue;
                // Discoverable also accepts incoming connections.
                local.setHostMode(QBluetoothLocalDevice::HostDiscoverable);
                radios.append({host.name(), host.address().toUInt64()});
            }
        });
        return radios;
    }

    bool Discover(bool, QList<Found>& found) override
    {
        // A Qt inquiry always asks the air afresh; there is no cached variant.
        bool begun = false;
        run([&] {
            QBluetoothDeviceDiscoveryAgent agent;
            QEventLoop loop;
            bool failed = false;
            QObject::connect(&agent, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered,
                             [&](const QBluetoothDeviceInfo& info) {
                                 found.append({info.name(), info.address().toUInt64()});
                             });
            QObject::connect(&agent, &QBluetoothDeviceDiscoveryAgent::finished, &loop,
                             &QEventLoop::quit);
            QObject::connect(&agent, &QBluetoothDeviceDiscoveryAgent::canceled, &loop,
                             &QEventLoop::quit);
            QObject::connect(&agent, &QBluetoothDeviceDiscoveryAgent::errorOccurred,
                             [&](QBluetoothDeviceDiscoveryAgent::Error) {
                                 failed = true;
                                 loop.quit();
                             });
            agent.start(QBluetoothDeviceDiscoveryAgent::ClassicMethod);
            if (!agent.isActive() && agent.error() != QBluetoothDeviceDiscoveryAgent::NoError)
                return;
            QTimer::singleShot(kInquiryLimitMs, &loop, &QEventLoop::quit);
            if (agent.isActive())
                loop.exec();
            agent.stop();
            begun = !failed || !found.isEmpty();
        });
        return begun;
    }

    bool Connect(quint64 address, const QString& serviceUuid) override
    {
        bool connected = false;
        run([&] {
            dropSocket();
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_incoming.clear();
                m_ended = false;
            }
            m_socket = new QBluetoothSocket(QBluetoothServiceInfo::RfcommProtocol, m_context);
            QEventLoop loop;
            bool failed = false;
            auto connection = QObject::connect(m_socket, &QBluetoothSocket::errorOccurred,
                                               [&](QBluetoothSocket::SocketError) {
                                                   failed = true;
                                                   loop.quit();
                                               });
            QObject::connect(m_socket, &QBluetoothSocket::connected, &loop, &QEventLoop::quit);
            QObject::connect(m_socket, &QBluetoothSocket::readyRead, m_context, [this] {
                const QByteArray bytes = m_socket->readAll();
                std::lock_guard<std::mutex> lock(m_mutex);
                m_incoming.append(bytes);
                m_ready.notify_all();
            });
            QObject::connect(m_socket, &QBluetoothSocket::disconnected, m_context,
                             [this] { markEnded(); });
            QTimer::singleShot(kConnectLimitMs, &loop, &QEventLoop::quit);
            m_socket->connectToService(QBluetoothAddress(address),
                                       QBluetoothUuid(QUuid(serviceUuid)));
            if (!failed && m_socket->state() != QBluetoothSocket::SocketState::ConnectedState)
                loop.exec();
            QObject::disconnect(connection);
            connected =
                !failed && m_socket->state() == QBluetoothSocket::SocketState::ConnectedState;
            if (!connected) {
                dropSocket();
                return;
            }
            QObject::connect(m_socket, &QBluetoothSocket::errorOccurred, m_context,
                             [this](QBluetoothSocket::SocketError) { markEnded(); });
            m_hasSocket = true;
        });
        return connected;
    }

    void Disconnect() override
    {
        run([&] { dropSocket(); });
    }

    int Send(const unsigned char* buffer, int count) override
    {
        int sent = -1;
        run([&] {
            if (m_socket)
                sent =
                    static_cast<int>(m_socket->write(reinterpret_cast<const char*>(buffer), count));
        });
        return sent;
    }

    int WaitReadable(int waitMicroseconds) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_hasSocket)
            return -1;
        m_ready.wait_for(lock, std::chrono::microseconds(waitMicroseconds),
                         [this] { return !m_incoming.isEmpty() || m_ended; });
        return !m_incoming.isEmpty() || m_ended ? 1 : 0;
    }

    int Receive(unsigned char* buffer, int count) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_hasSocket)
            return -1;
        const int n = std::min(count, static_cast<int>(m_incoming.size()));
        std::copy(m_incoming.constBegin(), m_incoming.constBegin() + n, buffer);
        m_incoming.remove(0, n);
        return n; // 0 once the stream has ended and all was taken
    }

  private:
    template <typename Work> void run(Work work)
    {
        if (QThread::currentThread() == &m_thread)
            work();
        else
            QMetaObject::invokeMethod(m_context, work, Qt::BlockingQueuedConnection);
    }

    void markEnded()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        m_ready.notify_all();
    }

    // On the Bluetooth thread only.
    void dropSocket()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_hasSocket = false;
            m_incoming.clear();
            m_ready.notify_all();
        }
        if (!m_socket)
            return;
        m_socket->disconnect();
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }

    QThread m_thread;
    QObject* m_context = nullptr;
    QBluetoothSocket* m_socket = nullptr; // used on the Bluetooth thread only

    std::mutex m_mutex;
    std::condition_variable m_ready;
    QByteArray m_incoming;
    bool m_ended = false;
    bool m_hasSocket = false;
};

} // namespace

std::unique_ptr<BluetoothTransport> MakeQtBluetoothTransport()
{
    return std::make_unique<QtBluetoothTransport>();
}

std::unique_ptr<BluetoothTransport> MakeSystemBluetoothTransport()
{
    return MakeQtBluetoothTransport();
}
