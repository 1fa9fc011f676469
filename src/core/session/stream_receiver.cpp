#include "core/session/stream_receiver.h"

StreamReceiver::StreamReceiver(DeviceProtocol& protocol, AssemblerSink& sink, AskAgain ask)
    : m_protocol(protocol), m_sink(sink), m_ask(std::move(ask))
{
    m_protocol.SetMissingPulseRule([this](int pulse) { return askAgain(pulse); });
}

StreamReceiver::~StreamReceiver()
{
    m_protocol.SetMissingPulseRule({});
}

void StreamReceiver::Received(const unsigned char* block, int count)
{
    m_protocol.ParseStream(block, count);
}

bool StreamReceiver::Quiet()
{
    return m_protocol.LinkIdle() > 0;
}

bool StreamReceiver::askAgain(int pulse)
{
    if (StreamOver() != AssemblerSink::Over::kNo)
        return true; // nothing counts any more: nothing to ask or give up
    if (pulse != m_pulse) {
        m_pulse = pulse;
        m_requests = 0;
    }
    if (m_requests < kMaxResendRequests) {
        ++m_requests;
        m_ask(pulse);
        return true;
    }
    m_pulse = 0;
    m_requests = 0;
    return false;
}
