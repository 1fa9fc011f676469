#include "core/records/statement_watch.h"

#include <sys/socket.h>

StatementWatch::StatementWatch(std::chrono::milliseconds limit)
    : m_limit(limit), m_thread([this] { run(); })
{
}

StatementWatch::~StatementWatch()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void StatementWatch::Watch(int socket)
{
    std::lock_guard lock(m_mutex);
    m_socket = socket;
}

StatementWatch::Guard::Guard(StatementWatch* watch) : m_watch(watch)
{
    if (!m_watch)
        return;
    {
        std::lock_guard lock(m_watch->m_mutex);
        m_watch->m_armed = true;
        m_watch->m_deadline = std::chrono::steady_clock::now() + m_watch->m_limit;
    }
    m_watch->m_changed.notify_all();
}

StatementWatch::Guard::~Guard()
{
    if (!m_watch)
        return;
    {
        std::lock_guard lock(m_watch->m_mutex);
        m_watch->m_armed = false;
    }
    m_watch->m_changed.notify_all();
}

bool StatementWatch::TakeFired()
{
    std::lock_guard lock(m_mutex);
    const bool fired = m_fired;
    m_fired = false;
    return fired;
}

void StatementWatch::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_armed) {
            m_changed.wait(lock);
            continue;
        }
        const auto deadline = m_deadline;
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout && m_armed &&
            m_deadline == deadline && m_socket >= 0) {
            // The waiting call sees the connection end; the socket itself is
            // closed by its owner when it reconnects.
            ::shutdown(m_socket, SHUT_RDWR);
            m_fired = true;
            m_armed = false;
        }
    }
}
