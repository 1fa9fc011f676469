#include "core/device/port_discovery.h"

#include <libserialport.h>

QList<PortDiscovery::PortInfo> PortDiscovery::ListPorts()
{
    QList<PortInfo> result;
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) != SP_OK || !ports)
        return result;
    for (int i = 0; ports[i]; ++i) {
        PortInfo info;
        info.name = QString::fromLocal8Bit(sp_get_port_name(ports[i]));
        if (sp_get_port_transport(ports[i]) == SP_TRANSPORT_USB) {
            int vendor = -1;
            int product = -1;
            if (sp_get_port_usb_vid_pid(ports[i], &vendor, &product) == SP_OK) {
                info.usb = true;
                info.vendorId = vendor;
                info.productId = product;
            }
        }
        result.append(info);
    }
    sp_free_port_list(ports);
    return result;
}

QStringList PortDiscovery::Select(const QList<PortInfo>& ports, int vendorId, int productId)
{
    QStringList names;
    for (const PortInfo& port : ports) {
        if (port.usb && port.vendorId == vendorId && port.productId == productId)
            names.append(port.name);
    }
    return names;
}

QStringList PortDiscovery::FindPorts(int vendorId, int productId)
{
    return Select(ListPorts(), vendorId, productId);
}
