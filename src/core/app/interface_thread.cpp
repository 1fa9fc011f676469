#include "core/app/interface_thread.h"

#include <QtGlobal>

#include <atomic>
#include <thread>

namespace {
std::atomic<std::thread::id> g_interface{};
std::atomic<int> g_blocked{0};
} // namespace

void MarkInterfaceThread()
{
    g_interface = std::this_thread::get_id();
}

void NoteBlockingCall(const char* what)
{
    if (std::this_thread::get_id() != g_interface.load())
        return;
    ++g_blocked;
#ifndef NDEBUG
    qWarning("%s waits on the interface thread", what);
#else
    (void)what;
#endif
}

int BlockingCallsOnInterfaceThread()
{
    return g_blocked.load();
}
