#pragma once
// DICOM services of the archive: C-STORE of one DICOM file's bytes (held in
// memory: a killed send leaves no temporary file) and C-ECHO for
// "test connection". Sent only on status Success (0x0000): a warning, a
// failure, a refused association or silence past the time limit are failures
// with the reason. Blocking: call it from a worker, never the GUI thread.
#include "core/hospital/network_peer.h"
#include "core/hospital/send_outcome.h"

#include <QByteArray>
#include <QString>

class DcmSCU;

// Opens an association of `scu` with `peer` offering `sopClass` (explicit and
// implicit VR little endian); empty when it stands, else why not. DCMTK's own
// log says only warnings and errors.
QString OpenDicomAssociation(DcmSCU& scu, const NetworkPeer& peer, const QString& callingAe,
                             const char* sopClass, int timeoutMs);

SendOutcome StoreDicomBytes(const NetworkPeer& pacs, const QString& callingAe,
                            const QByteArray& bytes, int timeoutMs);

SendOutcome EchoDicom(const NetworkPeer& node, const QString& callingAe, int timeoutMs);
