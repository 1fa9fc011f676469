#include "core/hospital/link_check.h"

#include "core/hospital/dicom_store.h"

#include <QTcpSocket>

std::vector<LinkCheck> CheckHospitalLinks(const HospitalSettings& settings)
{
    const int timeoutMs = settings.timeoutSeconds * 1000;
    std::vector<LinkCheck> checks;
    for (const auto& [server, address] : {std::pair<QString, QString>{"WORKLIST", settings.worklist},
                                          std::pair<QString, QString>{"PACS", settings.pacs},
                                          std::pair<QString, QString>{"HL7", settings.hl7}}) {
        if (address.isEmpty())
            continue;
        LinkCheck c{server, address, false, QString()};
        NetworkPeer peer;
        const bool dicom = server != "HL7";
        if (!NetworkPeer::Parse(address, dicom, peer, &c.detail)) {
            checks.push_back(c);
            continue;
        }
        if (dicom) {
            const SendOutcome echo = EchoDicom(peer, settings.callingAe, timeoutMs);
            c.ok = echo.sent;
            c.detail = echo.sent ? "C-ECHO " + echo.answer : echo.reason;
        } else {
            QTcpSocket socket;
            socket.connectToHost(peer.host, peer.port);
            c.ok = socket.waitForConnected(timeoutMs);
            c.detail = c.ok ? QString("reachable") : socket.errorString();
        }
        checks.push_back(c);
    }
    return checks;
}
