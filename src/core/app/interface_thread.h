#pragma once
// The desktop program names its interface thread; calls that wait on a
// device, a worker, a disk sync or a connection note themselves here, and a
// note made on that thread is counted (and warned about), so tests can tell
// that no such wait ever runs there.

// The calling thread is the interface thread from now on.
void MarkInterfaceThread();
// `what` is about to wait; counted when it runs on the interface thread.
void NoteBlockingCall(const char* what);
// Waits noted on the interface thread since the program started.
int BlockingCallsOnInterfaceThread();
