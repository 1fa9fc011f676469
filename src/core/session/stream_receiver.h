#pragma once
// What the receiving end does with a test's stream, the same for the live
// worker and for the replay of a recorded one: hands each block to the
// protocol, asks for a missing pulse again a few times and then gives it up,
// and says when the test is over (from the sink, which hears the device).
#include "core/session/assembler_sink.h"

#include <functional>

class StreamReceiver {
  public:
    // A missing pulse is asked for at most this often before it is given up:
    // a device that has not sent it after that no longer holds it.
    static constexpr int kMaxResendRequests = 4;
    using AskAgain = std::function<void(int pulse)>;

    // `ask` sends the request for a pulse (or records it, offline). The
    // receiver is the protocol's missing-pulse rule while it lives.
    StreamReceiver(DeviceProtocol& protocol, AssemblerSink& sink, AskAgain ask);
    ~StreamReceiver();
    StreamReceiver(const StreamReceiver&) = delete;
    StreamReceiver& operator=(const StreamReceiver&) = delete;

    // A block that came from the link.
    void Received(const unsigned char* block, int count);
    // The link has been quiet for a while: a pulse still missing is asked for
    // again or given up. True when it was asked for again.
    bool Quiet();
    AssemblerSink::Over StreamOver() const { return m_sink.StreamOver(); }

  private:
    // The missing-pulse rule: true when `pulse` was asked for again.
    bool askAgain(int pulse);

    DeviceProtocol& m_protocol;
    AssemblerSink& m_sink;
    AskAgain m_ask;
    int m_pulse = 0;    // the pulse asked for last
    int m_requests = 0; // times it was asked for
};
