#pragma once
// A server address as the settings and tavctl write it: "AE@HOST:PORT" for a
// DICOM node, "HOST:PORT" for an HL7 receiver.
#include <QString>

struct NetworkPeer {
    QString aeTitle; // empty for an HL7 receiver
    QString host;
    quint16 port = 0;

    // False, with the reason, for a malformed address; `withAe` asks for the AE title.
    static bool Parse(const QString& text, bool withAe, NetworkPeer& out, QString* error = nullptr);
    QString Text() const;
};
