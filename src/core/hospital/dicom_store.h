#pragma once
// DICOM services of the archive: C-STORE of one Part 10 file and C-ECHO for
// "test connection". Sent only on status Success (0x0000): a warning, a
// failure, a refused association or silence past the time limit are failures
// with the reason. Blocking: call it from a worker, never the GUI thread.
#include "core/hospital/network_peer.h"
#include "core/hospital/send_outcome.h"

#include <QString>

SendOutcome StoreDicomFile(const NetworkPeer& pacs, const QString& callingAe, const QString& path,
                           int timeoutMs);

SendOutcome EchoDicom(const NetworkPeer& node, const QString& callingAe, int timeoutMs);
