#include "core/device/virtual_spirometer.h"

#include "core/device/ascii_device_side.h"
#include "core/device/checksum_device_side.h"
#include "core/device/turbine_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// Silence before the first manoeuvre starts, s.
constexpr double kLeadIn = 0.05;
} // namespace

SimConfig SimConfig::ForSetting(int simulator, SimTest test)
{
    SimConfig config;
    config.profile = simulator;
    config.test = test;
    config.protocol = simulator > 10 ? SimProtocol::Ascii : SimProtocol::Checksum;
    return config;
}

std::unique_ptr<VirtualSpirometer> VirtualSpirometer::Make(const SimConfig& config)
{
    if (config.protocol == SimProtocol::Ascii)
        return std::make_unique<AsciiDeviceSide>(config);
    return std::make_unique<ChecksumDeviceSide>(config);
}

VirtualSpirometer::VirtualSpirometer(const SimConfig& config, int reportSize)
    : m_config(config), m_patient(patient(config)), m_reportSize(reportSize)
{
}

PatientModel VirtualSpirometer::patient(const SimConfig& config)
{
    if (!config.syringeFlows.empty())
        return PatientModel::Syringe(config.syringeVolume > 0 ? config.syringeVolume : 3.0,
                                     config.syringeFlows);
    if (config.blow && config.test == SimTest::Fvc)
        return PatientModel(*config.blow, config.fvcBlows);
    return PatientModel(config.profile, config.test, config.mvvBreaths, config.fvcBlows);
}

void VirtualSpirometer::SetTest(SimTest test)
{
    m_config.test = test;
    m_patient = patient(m_config);
}

void VirtualSpirometer::HostBytes(const unsigned char* data, int count)
{
    if (!m_connected || m_silent)
        return;
    for (int i = 0; i < count; ++i)
        hostByte(data[i]);
}

int VirtualSpirometer::DeviceBytes(unsigned char* out, int max)
{
    if (!m_connected || m_silent || max <= 0)
        return 0;
    if (!m_replies.empty()) {
        if (m_reportSize > 0) {
            const Wire::Bytes front = m_replies.front();
            m_replies.pop_front();
            const int n = std::min<int>(max, static_cast<int>(front.size()));
            std::memcpy(out, front.data(), n);
            return n;
        }
        int n = 0;
        while (n < max && !m_replies.empty()) {
            Wire::Bytes& front = m_replies.front();
            const int take = std::min<int>(max - n, static_cast<int>(front.size()));
            std::memcpy(out + n, front.data(), take);
            n += take;
            front.erase(front.begin(), front.begin() + take);
            if (front.empty())
                m_replies.pop_front();
        }
        return n;
    }
    return m_streaming ? takeStream(out, max) : 0;
}

bool VirtualSpirometer::pausesBefore(int blow) const
{
    const SimFaults& faults = m_config.faults;
    if (faults.pauseMs <= 0)
        return false;
    if (faults.pauseBlow > 0)
        return blow == faults.pauseBlow;
    // Forced blows are separate efforts; VC and MVV breaths are one.
    return blow == 1 || m_config.test == SimTest::Fvc;
}

int VirtualSpirometer::blowNumber(size_t item) const
{
    int blow = 0;
    for (size_t i = 0; i <= item && i < m_stream.size(); ++i)
        blow += m_stream[i].blowStart ? 1 : 0;
    return blow;
}

bool VirtualSpirometer::released(const StreamItem& item) const
{
    if (!m_config.realTime)
        return true;
    const auto elapsed = std::chrono::steady_clock::now() - m_streamStart;
    const auto units = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() / 10;
    return units >= static_cast<long long>(item.time);
}

int VirtualSpirometer::takeStream(unsigned char* out, int max)
{
    const int limit = m_reportSize > 0 ? std::min(max, m_reportSize) : max;
    int n = 0;
    while (n < limit) {
        if (!m_partial.empty()) {
            const int take = std::min<int>(limit - n, static_cast<int>(m_partial.size()));
            std::memcpy(out + n, m_partial.data(), take);
            m_partial.erase(m_partial.begin(), m_partial.begin() + take);
            n += take;
            continue;
        }
        if (m_cursor >= m_stream.size()) {
            m_streaming = false;
            break;
        }
        const StreamItem& item = m_stream[m_cursor];
        if (!released(item))
            break;
        const SimFaults& faults = m_config.faults;
        if (item.blowStart && !m_config.realTime && !m_paused[m_cursor] &&
            pausesBefore(blowNumber(m_cursor))) {
            // The patient rests before the blow; at a person's pace the
            // time stamps carry the rest already.
            const auto now = std::chrono::steady_clock::now();
            if (m_pauseUntil == std::chrono::steady_clock::time_point{})
                m_pauseUntil = now + std::chrono::milliseconds(faults.pauseMs);
            if (now < m_pauseUntil)
                break;
            m_paused[m_cursor] = 1;
            m_pauseUntil = {};
        }
        if (item.pulse != 0 && item.pulse == faults.lostPulse) {
            ++m_cursor; // gone for good
            continue;
        }
        if (item.pulse != 0 && item.pulse == faults.dropPulse && !m_dropped) {
            m_dropped = true;
            ++m_cursor;
            continue;
        }
        if (faults.dropEnd && item.pulse != 0 && m_cursor + 1 < m_stream.size() &&
            m_stream[m_cursor + 1].phaseEnd && !m_heldBack[m_cursor]) {
            m_heldBack[m_cursor] = 1;
            ++m_cursor;
            continue;
        }
        const int size = static_cast<int>(item.bytes.size());
        if (m_reportSize > 0 && n + size > limit)
            break; // frames never straddle two reports
        // Only the checksum device has a checksum to get wrong.
        if (m_reportSize > 0 && item.pulse != 0 && item.pulse == faults.badChecksumPulse &&
            !m_corrupted) {
            std::memcpy(out + n, item.bytes.data(), size);
            out[n + size - 1] = static_cast<unsigned char>((out[n + size - 1] + 1) & 0x7F);
            n += size;
            m_corrupted = true;
            continue;
        }
        ++m_cursor;
        if (m_reportSize > 0) {
            std::memcpy(out + n, item.bytes.data(), size);
            addNoise(out + n, size);
            n += size;
        } else {
            m_partial = item.bytes;
            addNoise(m_partial.data(), size);
        }
        if (item.pulse != 0 && item.pulse == faults.silenceAfterPulse) {
            m_silent = true;
            break;
        }
        if (item.pulse != 0 && item.pulse == faults.disconnectAfterPulse) {
            m_connected = false;
            break;
        }
    }
    if (m_reportSize == 0 && !m_partial.empty() && (m_silent || !m_connected)) {
        // The last frame still goes out whole before the device falls silent.
        const int take = std::min<int>(limit - n, static_cast<int>(m_partial.size()));
        std::memcpy(out + n, m_partial.data(), take);
        n += take;
        m_partial.clear();
    }
    return n;
}

void VirtualSpirometer::addNoise(unsigned char* bytes, int count)
{
    const double p = m_config.faults.noise;
    if (p <= 0.0)
        return;
    for (int i = 0; i < count; ++i) {
        // A small linear congruential generator: the same seed gives the same
        // damage on every machine.
        m_noiseState = m_noiseState * 1103515245u + 12345u;
        const double draw = ((m_noiseState >> 8) & 0xFFFFFF) / double(0x1000000);
        m_noiseState = m_noiseState * 1103515245u + 12345u;
        if (draw < p)
            bytes[i] = static_cast<unsigned char>(m_noiseState >> 16);
    }
}

void VirtualSpirometer::reply(const Wire::Bytes& bytes)
{
    m_replies.push_back(bytes);
}

void VirtualSpirometer::startStream()
{
    m_stream = buildStream();
    m_cursor = 0;
    m_partial.clear();
    m_dropped = m_corrupted = false;
    m_heldBack.assign(m_stream.size(), 0);
    m_paused.assign(m_stream.size(), 0);
    m_pauseUntil = {};
    m_noiseState = m_config.faults.seed;
    m_streaming = true;
    m_streamStart = std::chrono::steady_clock::now();
}

void VirtualSpirometer::stopStream()
{
    m_streaming = false;
    m_partial.clear();
}

void VirtualSpirometer::startCalibration(int volume)
{
    m_calibrationVolume = volume;
    // One stroke is enough to tell a 2 L syringe from a 3 L one.
    if (m_config.syringeVolume != 0 && volume != m_config.syringeVolume) {
        reply(calibrationStatus(9));
        reply(calibrationStatus(2));
        return;
    }
    for (int status : m_config.calibrationScript) {
        reply(calibrationStatus(status));
        // The device measures its pulses per litre with the syringe and
        // stores the coefficient that corrects them.
        if (status == 1)
            m_config.calibration = 1.0 / (1.0 + m_config.drift / 100.0);
    }
}

int VirtualSpirometer::ReportedExpCoefficient() const
{
    return static_cast<int>(std::lround(m_config.expCoefficient * m_config.calibration));
}

int VirtualSpirometer::ReportedInspCoefficient() const
{
    return static_cast<int>(std::lround(m_config.inspCoefficient * m_config.calibration));
}

void VirtualSpirometer::stopCalibration()
{
    m_replies.clear();
}

void VirtualSpirometer::rewindToPulse(int pulse)
{
    m_resends.push_back(pulse);
    if (pulse == m_config.faults.lostPulse)
        return; // the device cannot send it again
    for (size_t i = 0; i < m_stream.size(); ++i) {
        if (m_stream[i].pulse == pulse) {
            m_cursor = i;
            m_partial.clear();
            m_streaming = true;
            return;
        }
    }
}

std::vector<VirtualSpirometer::Phase> VirtualSpirometer::phases() const
{
    const int cexp = m_config.expCoefficient > 0 ? m_config.expCoefficient : 145;
    const int cinsp = m_config.inspCoefficient > 0 ? m_config.inspCoefficient : 145;
    const double drift = 1.0 + m_config.drift / 100.0;
    const TurbineModel expTurbine(cexp * 0.008 * 0.0127 / drift, m_config.rotor);
    const TurbineModel inspTurbine(cinsp / 130.0 * 0.0132 / drift, m_config.rotor);
    // Expired gas is at body temperature; inspired gas at the room's; a
    // syringe's air is the room's both ways and its volume is what the sensor sees.
    const bool syringe = !m_config.syringeFlows.empty();
    const double expFactor = syringe ? 1.0 : PhysicalBtpsFactor(33.0);
    const double inspFactor = syringe ? 1.0 : PhysicalBtpsFactor(m_config.temperature);
    // A rotor still running down when the gas stops ends its phase with its
    // last pulse; gas the other way, `next` s on, stops it at once.
    auto runDown = [](Phase& phase, double next) {
        const auto stop = static_cast<std::uint32_t>((next - 0.01) * 100000.0);
        while (!phase.pulses.empty() && phase.pulses.back() >= stop)
            phase.pulses.pop_back();
        if (!phase.pulses.empty())
            phase.end = std::max(phase.end, phase.pulses.back() / 100000.0 + 0.01);
    };
    std::vector<Phase> result;
    const double pause = m_config.realTime ? m_config.faults.pauseMs / 1000.0 : 0.0;
    double t = kLeadIn;
    int blow = 0;
    for (const SimBreath& breath : m_patient.Breaths()) {
        if (pausesBefore(++blow))
            t += pause;
        Phase exp{1, t, t + breath.expiration.duration,
                  expTurbine.PhasePulses(breath.expiration, t, expFactor)};
        t = exp.end + breath.pauseMid;
        runDown(exp, t);
        Phase insp{0, t, t + breath.inspiration.duration,
                   inspTurbine.PhasePulses(breath.inspiration, t, inspFactor)};
        t = insp.end + breath.pauseAfter;
        runDown(insp, t);
        result.push_back(std::move(exp));
        result.push_back(std::move(insp));
    }
    return result;
}

int VirtualSpirometer::TotalPulses() const
{
    int total = 0;
    for (const Phase& phase : phases())
        total += static_cast<int>(phase.pulses.size());
    return total;
}
