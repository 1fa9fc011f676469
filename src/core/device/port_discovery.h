#pragma once
#include <QList>
#include <QString>
#include <QStringList>

// Finds the device's serial ports by USB identity, the Linux stand-in for the
// registry walk: libserialport lists every serial port and tells which USB
// vendor and product each belongs to.
class PortDiscovery {
  public:
    struct PortInfo {
        QString name;
        bool usb = false;
        int vendorId = -1;
        int productId = -1;
    };

    // Every serial port the system lists, in its order.
    static QList<PortInfo> ListPorts();
    // Names of the USB ports with the given identity, keeping the order of `ports`.
    static QStringList Select(const QList<PortInfo>& ports, int vendorId, int productId);
    // Select over ListPorts.
    static QStringList FindPorts(int vendorId, int productId);
};
