#pragma once
// HL7 v2 over a TCP connection with MLLP framing (0x0B message 0x1C 0x0D): one
// message sent, its acknowledgement awaited within the time limit. AA and CA
// are success; AE, AR, CE and CR are errors with the receiver's text (MSA-3,
// else ERR-8); silence, a broken connection or an acknowledgement of another
// message are failures too. Blocking: call it from a worker, never the GUI thread.
#include "core/hospital/network_peer.h"
#include "core/hospital/send_outcome.h"

#include <QByteArray>

SendOutcome SendMllp(const NetworkPeer& receiver, const QByteArray& message, int timeoutMs);
