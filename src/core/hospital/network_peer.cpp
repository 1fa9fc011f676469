#include "core/hospital/network_peer.h"

#include <QRegularExpression>

bool NetworkPeer::Parse(const QString& text, bool withAe, NetworkPeer& out, QString* error)
{
    // A DICOM AE title: 1-16 characters of the default repertoire, no backslash.
    static const QRegularExpression dicom(
        R"(^([ -\[\]-~]{1,16})@([A-Za-z0-9.\-]+|\[[0-9A-Fa-f:]+\]):(\d{1,5})$)");
    static const QRegularExpression plain(R"(^([A-Za-z0-9.\-]+|\[[0-9A-Fa-f:]+\]):(\d{1,5})$)");
    const QRegularExpressionMatch m = (withAe ? dicom : plain).match(text.trimmed());
    const int port = m.hasMatch() ? m.captured(withAe ? 3 : 2).toInt() : 0;
    if (!m.hasMatch() || port < 1 || port > 65535) {
        if (error)
            *error = withAe ? "a DICOM node is AE@HOST:PORT, not \"" + text + "\""
                            : "an HL7 receiver is HOST:PORT, not \"" + text + "\"";
        return false;
    }
    NetworkPeer peer;
    peer.aeTitle = withAe ? m.captured(1).trimmed() : QString();
    QString host = m.captured(withAe ? 2 : 1);
    if (host.startsWith('['))
        host = host.mid(1, host.size() - 2);
    peer.host = host;
    peer.port = quint16(port);
    if (withAe && peer.aeTitle.isEmpty()) {
        if (error)
            *error = "the AE title is empty: \"" + text + "\"";
        return false;
    }
    out = peer;
    return true;
}

QString NetworkPeer::Text() const
{
    const QString host = this->host.contains(':') ? '[' + this->host + ']' : this->host;
    return (aeTitle.isEmpty() ? QString() : aeTitle + '@') + host + ':' + QString::number(port);
}
