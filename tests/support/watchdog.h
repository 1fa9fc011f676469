#pragma once
// Fails a test that would otherwise hang: a call that blocks (a FIFO opened
// for reading, a device read to its end) ends the test program with a failure
// once `patienceMs` pass, rather than stall the whole test run.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
    explicit Watchdog(std::string what, int patienceMs = 30000)
        : m_thread([this, what = std::move(what), patienceMs] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, std::chrono::milliseconds(patienceMs), [this] { return m_finished; })) {
                  std::fprintf(stderr, "FAILED: %s did not return within %d ms\n", what.c_str(), patienceMs);
                  std::_Exit(1);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};
