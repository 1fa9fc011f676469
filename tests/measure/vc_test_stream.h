#pragma once
// Breath records and a matching pulse stream for the slow-VC tests: each
// phase gets `kPulsesPerPhase` evenly spaced pulses over its length.
#include "core/measure/test_record.h"

#include <cstdint>

struct Breath {
    float expired;
    float inspired;
    double expSeconds = 1.5;
    double inspSeconds = 1.0;
};

class VcTestStream {
  public:
    static constexpr int kPulsesPerPhase = 5;

    void add(const Breath& b) {
        ManeuverResult r;
        r.FVC = b.expired;
        r.FIVC = b.inspired;
        r.VC = std::max(b.expired, b.inspired); // as the save-time completion sets it
        r.ExpCount = kPulsesPerPhase;
        r.InspCount = kPulsesPerPhase;
        phase(b.expSeconds, kDirectionExpiration);
        phase(b.inspSeconds, kDirectionInspiration);
        list.push_back(r);
    }

    ManeuverList list;
    PulseStream stream;

  private:
    void phase(double seconds, std::int32_t direction) {
        const double step = seconds * 100000.0 / kPulsesPerPhase;
        for (int i = 1; i <= kPulsesPerPhase; ++i)
            stream.push_back({std::uint32_t(m_time + step * i + 0.5), direction});
        m_time += seconds * 100000.0;
    }
    double m_time = 100000.0; // the first breath starts 1 s into the test
};
