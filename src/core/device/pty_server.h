#pragma once
// The virtual spirometer behind a pseudo-terminal: whatever opens the slave
// side talks to it as to a spirometer on a serial port. A user that lets go
// of the port in the middle of a test leaves a device that is switched off
// and on again, so that the next user does not receive the rest of that
// stream. Otherwise the device stays on between users, like a spirometer
// that is simply unplugged and plugged in again.
#include "core/device/virtual_spirometer.h"

#include <QString>

#include <atomic>
#include <future>
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
    // Devices switched on so far: the first, and one after each abandoned test.
    int Sessions() const { return m_sessions; }

  private:
    void takeReplacement();
    bool writeAll(const unsigned char* data, int count, const std::atomic<int>& stop);

    SimConfig m_config;
    int m_master = -1;
    QString m_slaveName;
    std::unique_ptr<VirtualSpirometer> m_device;
    // A new device being made off the serving thread: making one builds its
    // whole test in advance, which takes longer than a handshake may wait.
    std::future<std::unique_ptr<VirtualSpirometer>> m_replacement;
    std::atomic<int> m_sessions{0};
    std::atomic<int> m_stop{0};
    std::thread m_thread;
};
