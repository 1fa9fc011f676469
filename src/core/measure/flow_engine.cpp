#include "core/measure/flow_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {
constexpr double kSlotSeconds = 0.002;
constexpr std::uint32_t kInitialInterval = 5000; // 50 ms

// Whole number of a value that absurd coefficients could push out of range.
std::int32_t saturate(double v) {
    if (std::isnan(v))
        return 0;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return v < 2147483647.0 ? std::int32_t(v) : INT32_MAX;
}
} // namespace

FlowEngine::FlowEngine()
    : m_kExp(ExpiratoryPulseVolume(145)), m_kInsp(InspiratoryPulseVolume(145)), m_k(m_kExp) {
    ResetEngine();
}

double FlowEngine::ExpiratoryPulseVolume(int expCoefficient) {
    return expCoefficient * 0.008 * 0.0127;
}

double FlowEngine::InspiratoryPulseVolume(int inspCoefficient) {
    return inspCoefficient / 130.0 * 0.0132;
}

void FlowEngine::SetCoefficients(int expCoefficient, int inspCoefficient) {
    SetPulseVolumes(ExpiratoryPulseVolume(expCoefficient), InspiratoryPulseVolume(inspCoefficient));
}

void FlowEngine::SetPulseVolumes(double expVolume, double inspVolume)
{
    m_kExp = expVolume;
    m_kInsp = inspVolume;
    m_k = m_inspiratory ? m_kInsp : m_kExp;
}

void FlowEngine::ResetEngine() {
    m_prevInterval = kInitialInterval;
    m_interpPrev = kInitialInterval;
    m_prevRate = 0;
    m_carry = 0;
    m_ring.fill(0);
    m_ringIndex = 15;
    m_slotCount = 0;
    m_slotTotal = 0;
    m_slotsThisCall = 0;
    m_lastFlow = 0;
    m_slowCount = 0;
    m_stopped = 0;
    m_volume = 0;
    m_fvcSum = 0;
    m_firstSecondRaw = 0;
    m_pef = 0;
    m_maxRaw = 0;
    m_peakFlow = 0;
    m_peakSlot = 0;
    m_pastPeak = 0;
    m_s = 0.98;
    m_prevS = 0.98;
    m_detectorState = 0;
    m_extreme = 0;
    m_extremeSlot = 0;
    m_valley = 50.0;
    m_valleySlot = 0;
    m_offset = 50.0;
    m_index1s = m_index3s = m_index6s = 32767;
    m_timeZero = 0;
}

void FlowEngine::SetDirection(int direction) {
    m_inspiratory = direction == 1;
    m_k = m_inspiratory ? m_kInsp : m_kExp;
    m_prevInterval = kInitialInterval;
    m_interpPrev = kInitialInterval;
}

int FlowEngine::FeedInterval(std::uint32_t dt) {
    m_volume += m_k;
    m_slotsThisCall = 0;
    m_lastFlow = 0;
    if (dt == 0)
        return 0;
    if (dt > 60000) {
        trickle(dt);
        return m_slotsThisCall;
    }

    // Slow pulses mean the turbine is coasting to a stop: the low-flow lift of
    // the correction is dropped once three come in a row.
    if (dt > 30000 || (dt > 15000 && dt > m_prevInterval + 3000)) {
        if (++m_slowCount >= 3)
            m_stopped = 1;
    } else {
        m_slowCount = 0;
        m_stopped = 0;
    }

    // A sudden long gap after fast pulses is split in half so the flow does
    // not drop in one step.
    if (dt > m_prevInterval + 10000 && m_prevInterval < 2000)
        dt = m_prevInterval + (dt - m_prevInterval) / 2;

    m_prevInterval = dt;
    interpolate(dt);
    return m_slotsThisCall;
}

void FlowEngine::interpolate(std::uint32_t dt) {
    // Pulse rate (pulses per second) over the last two intervals; the first
    // pulse of a phase has no usable predecessor.
    const double rate =
        m_slotTotal == 0 ? 200000.0 / (2.0 * dt) : 200000.0 / (double(dt) + m_interpPrev);
    m_interpPrev = dt;
    const double slope = (rate - m_prevRate) / dt;

    std::uint32_t pos = dt + m_carry;
    int j = 0;
    while (pos > kSlotTime && j < kMaxSlotsPerPulse) {
        pos -= kSlotTime;
        ++j;
        const double r = m_prevRate + slope * (double(kSlotTime) * j - double(m_carry));
        takeSlot(r * m_k);
    }
    m_carry = pos;
    m_prevRate = rate;
}

void FlowEngine::trickle(std::uint32_t dt) {
    // Over 0.6 s between pulses the rotor barely turns: no rate to
    // interpolate and too little flow for the correction, whose constant
    // term would take it all. The pulse's gas goes into the interval's slots
    // as their mean flow, uncorrected.
    const int n = std::min<int>(dt / kSlotTime, kMaxSlotsPerPulse);
    const double f = m_k / (n * kSlotSeconds);
    for (int i = 0; i < n; ++i)
        storeSlot(f, f);
    m_prevRate = 100000.0 / dt;
    m_interpPrev = 60000;
    m_carry = 0;
}

void FlowEngine::takeSlot(double f) {
    detectExtreme(f);
    storeSlot(f, correct(f));
}

void FlowEngine::storeSlot(double f, double q) {
    m_ring[m_ringIndex] = f;
    m_pef = std::max(m_pef, q);
    m_maxRaw = std::max(m_maxRaw, f);
    if (m_slotCount < kMaxSlots) {
        if (q > m_peakFlow) {
            m_peakFlow = q;
            m_peakSlot = m_slotCount;
        } else if (q < m_peakFlow - 1.0) {
            m_pastPeak = 1;
        }
        m_flow[m_slotCount] = float(q);
        m_rawFlow[m_slotCount] = float(f);
        ++m_slotCount;
    }
    m_fvcSum += q;
    if (m_slotTotal < 500)
        m_firstSecondRaw += f * kSlotSeconds;

    m_ringIndex = (m_ringIndex + 1) % kRingSize;
    ++m_slotTotal;
    ++m_slotsThisCall;
    m_lastFlow = float(q);
}

void FlowEngine::detectExtreme(double f) {
    if (m_detectorState == 0) {
        if (f > 0.5 && f > m_extreme) {
            m_extreme = f;
            m_extremeSlot = m_slotTotal;
        } else if (m_extreme - f > 0.3 && m_slotTotal - m_extremeSlot > 5) {
            // Past the peak the turbine overruns the flow: subtract a share of the peak.
            m_detectorState = 1;
            m_offset = std::min(m_extreme * 0.0098, 0.06);
            m_s = m_prevS = f / 2;
            m_extreme = f;
            m_extremeSlot = m_slotTotal;
        }
    } else {
        if (f < m_extreme) {
            m_extreme = f;
            m_extremeSlot = m_slotTotal;
        } else if (f - m_extreme > 0.2 && m_slotTotal - m_extremeSlot > 5) {
            m_valley = m_extreme;
            m_valleySlot = m_extremeSlot;
            m_detectorState = 0;
        }
    }
}

double FlowEngine::correct(double f) {
    double a = 0.01;
    if (m_slotTotal >= 30) {
        const double previous = m_ring[(m_ringIndex + kRingSize - 1) % kRingSize];
        a = std::min(f - previous, 0.3);
    }
    m_prevS = m_s;
    m_s = 0.05 * f + 0.95 * m_s;
    double c = -0.0061334 * f * f - 0.99789 * a * a + 0.027205 * f - 0.5105 * a - 0.03157;
    if (m_s < 0.98 && !m_stopped)
        c += (-0.2 * m_s + 0.175) * m_s + 0.025;
    if (m_detectorState == 1)
        c -= m_offset;
    const double q = f + c;
    return q < 0 ? 0 : q;
}

FlowPhaseResult FlowEngine::FinishPhase() {
    // Let the flow decay to zero when the phase ended on fast pulses.
    if (m_prevInterval < 4000)
        FeedInterval(15000);

    const int n = m_slotCount;
    const double total = m_fvcSum;
    double cumulative = 0;
    double sum2575 = 0;
    int i25 = -1, i50 = -1, i75 = -1, ipk = -1;
    double peak = -1, volumeAtPeak = 0;
    for (int i = 0; i < n; ++i) {
        const double q = m_flow[i];
        cumulative += q;
        if (cumulative >= 0.25 * total && cumulative < 0.75 * total) {
            sum2575 += q;
            if (i25 < 0)
                i25 = i;
        }
        if (i50 < 0 && cumulative >= 0.5 * total)
            i50 = i;
        if (i75 < 0 && cumulative >= 0.75 * total)
            i75 = i;
        if (q > peak) {
            peak = q;
            ipk = i;
            volumeAtPeak = cumulative;
        }
    }

    // Time zero: slot index as a straight line of volume through the peak
    // and the two slots before it, taken back to zero volume.
    int t0 = 0;
    bool extrapolated = false;
    if (ipk >= 3) {
        const double v[3] = {volumeAtPeak, volumeAtPeak - m_flow[ipk],
                             volumeAtPeak - m_flow[ipk] - m_flow[ipk - 1]};
        const double x[3] = {double(ipk), double(ipk - 1), double(ipk - 2)};
        const double vMean = (v[0] + v[1] + v[2]) / 3, xMean = (x[0] + x[1] + x[2]) / 3;
        double sxy = 0, sxx = 0;
        for (int i = 0; i < 3; ++i) {
            sxy += (v[i] - vMean) * (x[i] - xMean);
            sxx += (v[i] - vMean) * (v[i] - vMean);
        }
        if (sxx > 0) {
            const double atZero = xMean - (sxy / sxx) * vMean;
            if (atZero >= 0 && atZero <= 32767) {
                t0 = int(atZero + 0.5);
                extrapolated = true;
            }
        }
    }
    m_timeZero = t0;
    m_index1s = std::min(extrapolated ? t0 + 500 : 500, n);
    m_index3s = std::min(extrapolated ? t0 + 1500 : 1500, n);
    m_index6s = std::min(extrapolated ? t0 + 3000 : 3000, n);

    auto sum = [&](int from, int to) { // slots from..to-1 that are stored
        double s = 0;
        for (int i = std::max(from, 0); i < std::min(to, n); ++i)
            s += m_flow[i];
        return s;
    };
    // The volume-time curve read at time zero + 1 s: what was blown before
    // time zero belongs to FEV1 too.
    double fev1 = sum(0, m_index1s);
    double fev3 = fev1 + sum(m_index1s, m_index3s);
    double fev6 = fev3 + sum(m_index3s, m_index6s + 1);
    const double evol = sum(0, t0);
    fev1 = std::min(fev1, total);
    fev3 = std::min(fev3, total);
    fev6 = std::min(fev6, total);

    FlowPhaseResult r;
    r.fvc = float(total * kSlotSeconds);
    r.fev1 = float(fev1 * kSlotSeconds);
    r.fev3 = float(fev3 * kSlotSeconds);
    r.fev6 = float(fev6 * kSlotSeconds);
    r.evol = float(evol * kSlotSeconds);
    r.fev1Fvc = total > 0 ? float(fev1 * 100.0 / total) : 0.0f;
    r.pef = float(m_pef);
    r.fef25 = i25 >= 0 ? m_flow[i25] : 0.0f;
    r.fef50 = i50 >= 0 ? m_flow[i50] : 0.0f;
    r.fef75 = i75 >= 0 ? m_flow[i75] : 0.0f;
    r.fef2575 = (i25 >= 0 && i75 > i25) ? float(sum2575 / (i75 - i25)) : 0.0f;
    r.fet = float(kSlotSeconds * (n - t0));
    r.totalTime = float(kSlotSeconds * n);
    r.evolMl = saturate(evol * kSlotSeconds * 1000.0);
    r.duration = saturate(r.totalTime + 0.5);
    r.timeZero = t0;
    return r;
}
