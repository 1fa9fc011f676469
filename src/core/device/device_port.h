#pragma once

// A byte pipe to the spirometer: serial, USB HID, Bluetooth or the virtual
// device all look the same to the protocols. Every operation returns 1 for
// success and 0 for failure.
class DevicePort {
public:
    virtual ~DevicePort() = default;

    virtual int IsOpen() = 0;
    virtual int Open() = 0;
    virtual int Close() = 0;
    // 1 when all `count` bytes went out.
    virtual int Write(const unsigned char* buffer, int count) = 0;
    // 1 when the read completed: on a byte stream all `count` bytes came (a
    // short read fails, it is never padded); on a report link one report of
    // at most `count` bytes came (its frames carry their own lengths and
    // checksums). Callers zero `buffer` first.
    virtual int Read(unsigned char* buffer, int count) = 0;
    // Reads like Read and returns how many bytes arrived (0: none, or the
    // link failed). Ports that always fill the whole block keep this default.
    virtual int ReadSome(unsigned char* buffer, int count)
    {
        return Read(buffer, count) ? count : 0;
    }
    // The one call another thread may make on a port that a worker is using:
    // while set, a read in progress returns within a few milliseconds and
    // later reads return at once. Writes still go out, so the worker can tell
    // the device to stop; Open clears it. Ports whose reads are short anyway
    // keep this default.
    virtual void SetReadsCancelled(bool cancelled) { (void)cancelled; }
};
