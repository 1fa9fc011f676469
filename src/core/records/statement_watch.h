#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A time limit for each statement sent to a server. A server that stopped
// (a frozen machine, a stopped process) still has its kernel acknowledge the
// connection, so neither TCP keepalives nor the server's own statement
// timeout can end the wait; the watch shuts the connection's socket when a
// statement outlives its limit, so the waiting call returns with an error.
class StatementWatch {
public:
    explicit StatementWatch(std::chrono::milliseconds limit);
    ~StatementWatch();
    StatementWatch(const StatementWatch&) = delete;
    StatementWatch& operator=(const StatementWatch&) = delete;

    // The socket of the current connection (after each connect); -1: none.
    void Watch(int socket);

    // Arms the watch for one statement, for the guard's lifetime.
    class Guard {
    public:
        explicit Guard(StatementWatch* watch);
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        StatementWatch* m_watch;
    };

    // True once since the last call when the watch ended a statement.
    bool TakeFired();
    std::chrono::milliseconds Limit() const { return m_limit; }

private:
    void run();

    const std::chrono::milliseconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_socket = -1;
    bool m_armed = false;
    bool m_fired = false;
    bool m_stop = false;
    std::chrono::steady_clock::time_point m_deadline;
    std::thread m_thread;
};
