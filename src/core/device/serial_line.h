#pragma once
#include <QString>

#include <memory>

// The raw serial line under SerialPort: open with the device's line settings,
// flush, write with a deadline, and wait for the next bytes. SerialPort builds
// its time-out rules on top, so both implementations share them.
class SerialLine {
  public:
    virtual ~SerialLine() = default;

    // Opens exclusively and applies baud rate, 8 data bits, odd parity, 1 stop bit.
    virtual bool Open(const QString& name, int baudRate) = 0;
    virtual void Close() = 0;
    // Drops unread input and untransmitted output.
    virtual bool Flush() = 0;
    // Bytes written before `timeoutMs` ran out, or -1 on an error.
    virtual int Write(const unsigned char* buffer, int count, int timeoutMs) = 0;
    // Waits up to `timeoutMs` (above 0) for at least one byte and returns what
    // is there (at most `count`); 0 when nothing came, -1 on an error.
    virtual int ReadSome(unsigned char* buffer, int count, int timeoutMs) = 0;
};

// libserialport for every port the system knows as a serial device. It refuses
// names it cannot find under /sys/class/tty, which includes every
// pseudo-terminal, so those go to the termios line below.
std::unique_ptr<SerialLine> MakeSerialLine(const QString& name);

// The line implementations, chosen by MakeSerialLine.
std::unique_ptr<SerialLine> MakeLibSerialLine();
std::unique_ptr<SerialLine> MakeTermiosLine();
// True when libserialport knows the name as a serial port.
bool LibSerialKnowsPort(const QString& name);
