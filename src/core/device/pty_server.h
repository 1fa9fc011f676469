#pragma once
// The virtual spirometer behind a pseudo-terminal: whatever opens the slave
// side talks to it as to a spirometer on a serial port. Every time the slave
// is opened anew after all users closed it, a fresh device answers, so each
// connection starts from a device just switched on. A port closed and opened
// again at once keeps the device, like a spirometer that stayed switched on.
#include "virtual_spirometer.h"

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class PtyServer {
  public:
    explicit PtyServer(const SimConfig& config);
    ~PtyServer();

    // Makes the pseudo-terminal and switches the device on; false when the
    // system has no pseudo-terminal to give.
    bool Create();
    // The path a serial port opens, e.g. /dev/pts/4.
    QString SlaveName() const { return m_slaveName; }
    // Serves on the calling thread until `stop` becomes non-zero.
    void Serve(const std::atomic<int>& stop);
    // Serves on a thread of its own until Stop or destruction.
    void StartThread();
    void Stop();
    // Devices switched on so far: the first, and one after each pause in use.
    int Sessions() const { return m_sessions; }

  private:
    void switchOn();
    bool writeAll(const unsigned char* data, int count, const std::atomic<int>& stop);

    SimConfig m_config;
    int m_master = -1;
    QString m_slaveName;
    std::unique_ptr<VirtualSpirometer> m_device;
    bool m_deviceUsed = false;
    std::atomic<int> m_sessions{0};
    std::atomic<int> m_stop{0};
    std::thread m_thread;
};
