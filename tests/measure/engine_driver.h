#pragma once
// Feeds pulse streams through a FlowEngine the way the checksum-frame parser
// does: each pulse's stamp minus the previous one, a reset and a direction
// switch after each phase.
#include "core/measure/flow_engine.h"
#include "core/measure/ideal_pulses.h"

#include <memory>

class EngineDriver {
  public:
    explicit EngineDriver(int expCoefficient = 145, int inspCoefficient = 145)
        : m_engine(std::make_unique<FlowEngine>()) {
        m_engine->SetCoefficients(expCoefficient, inspCoefficient);
        m_engine->ResetEngine();
        m_engine->SetDirection(0);
    }

    FlowEngine& engine() { return *m_engine; }

    // Feeds samples [from, to) and finishes the phase; the engine is then set
    // for the other direction, as after an end-of-phase frame.
    FlowPhaseResult phase(const PulseStream& stream, int from, int to, bool expiration) {
        for (int i = from; i < to; ++i) {
            m_engine->FeedInterval(stream[i].time - m_last);
            m_last = stream[i].time;
        }
        FlowPhaseResult result = m_engine->FinishPhase();
        m_engine->ResetEngine();
        m_engine->SetDirection(expiration ? 1 : 0);
        return result;
    }

  private:
    std::unique_ptr<FlowEngine> m_engine;
    std::uint32_t m_last = 0;
};
