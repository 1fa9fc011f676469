#include "core/session/blow_coach.h"

#include "core/app/lang_text.h"
#include "core/clinical/maneuver_acceptability.h"
#include "core/measure/flow_engine.h"
#include "core/measure/test_file_writer.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kFlowPulses = 4;          // intervals the flow is taken over
constexpr double kPauseJump = 4.0;      // a pause's gap against the interval before it
constexpr double kPlateauWindow = 1.0;  // s

} // namespace

const char* CueName(Cue cue)
{
    static const char* const names[] = {"inhale",      "exhale",     "blast", "keep-going",
                                        "end-reached", "slow-start", "early-stop", "pause"};
    return names[int(cue)];
}

BlowCues ManeuverCues(int testType, int expCoefficient, const ManeuverList& list,
                      const PulseStream& stream, int index)
{
    ManeuverResult record = list[size_t(index)];
    const PulseStream samples = ManeuverSamples(list, stream, index, record);
    BlowCoach coach(testType, expCoefficient);
    coach.Feed(samples);
    coach.Finish();
    return coach.Blows().empty() ? BlowCues{} : coach.Blows().front();
}

QJsonArray CuesJson(const BlowCues& cues)
{
    QJsonArray list;
    for (const TimedCue& cue : cues)
        list.append(QJsonObject{{"t", std::round(cue.t * 100) / 100}, {"cue", CueName(cue.cue)}});
    return list;
}

QString CueText(Cue cue)
{
    return GetLangText("MESSAGE", 3140 + int(cue));
}

BlowCoach::BlowCoach(int testType, int expCoefficient)
    : m_testType(testType), m_pulseVolume(FlowEngine::ExpiratoryPulseVolume(expCoefficient))
{
}

double BlowCoach::seconds(std::uint32_t time) const
{
    return (std::int64_t(time) - std::int64_t(m_start)) / 100000.0;
}

void BlowCoach::add(double t, Cue cue)
{
    m_blows.back().push_back({t, cue});
}

void BlowCoach::Feed(const PulseSample* pulses, int count)
{
    for (int i = 0; i < count; ++i) {
        const PulseSample& p = pulses[i];
        if (p.direction == kDirectionExpiration) {
            if (!m_expiring && (m_blows.empty() || m_inspired))
                beginBlow(p.time);
            if (m_expiring)
                expiratoryPulse(p.time);
        } else if (!m_blows.empty() && !m_inspired) {
            if (m_expiring)
                endExpiration();
            m_inspired = true;
            if (m_testType != kTestFvc)
                add(seconds(p.time), Cue::Inhale);
        }
    }
    m_fed += count;
}

void BlowCoach::Finish()
{
    if (m_expiring)
        endExpiration();
}

void BlowCoach::beginBlow(std::uint32_t time)
{
    m_blows.emplace_back();
    m_start = time;
    m_times.clear();
    m_expiring = true;
    m_inspired = m_ended = m_keptGoing = m_startJudged = false;
    m_window = 1.0;
    m_flow = m_peakFlow = m_peakTime = m_peakVolume = 0;
    if (m_testType == kTestFvc) {
        add(0, Cue::Inhale);
        add(0, Cue::Blast);
    } else {
        add(0, Cue::Exhale);
    }
}

double BlowCoach::volumeAt(double t) const
{
    if (m_times.empty() || t < m_times.front())
        return 0;
    const auto after = std::upper_bound(m_times.begin(), m_times.end(), t);
    const int i = int(after - m_times.begin()) - 1; // the last pulse at or before t
    double volume = (i + 1) * m_pulseVolume;
    if (after != m_times.end())
        volume += m_pulseVolume * (t - m_times[i]) / (*after - m_times[i]);
    return volume;
}

void BlowCoach::expiratoryPulse(std::uint32_t time)
{
    const double t = seconds(time);
    const int n = int(m_times.size());
    if (n > 0 && t < m_times.back())
        return; // a time stamp going back is damage, not flow
    // A long gap after short intervals: the flow stopped and came back.
    if (!m_ended && m_testType == kTestFvc && n >= 2) {
        const double gap = t - m_times[n - 1];
        if (gap >= kPauseGap && gap > kPauseJump * (m_times[n - 1] - m_times[n - 2]))
            add(m_times[n - 1], Cue::Pause);
    }
    m_times.push_back(t);
    if (n + 1 > kFlowPulses) {
        const double t0 = m_times[n - kFlowPulses];
        m_flow = t > t0 ? kFlowPulses * m_pulseVolume / (t - t0) : m_flow;
        if (m_flow > m_peakFlow) {
            m_peakFlow = m_flow;
            m_peakTime = (t + t0) / 2;
            m_peakVolume = volumeAt(m_peakTime);
        }
    }
    if (m_testType != kTestFvc || m_ended)
        return;
    if (!m_keptGoing && m_peakFlow > 0 && m_flow <= m_peakFlow / 2) {
        m_keptGoing = true;
        add(t, Cue::KeepGoing);
    }
    // The last second and the expiration's length as the verdict after the
    // blow takes them, so that the cue and the verdict never disagree: the
    // pulses less than 1 s before this one, this one included, and the time
    // from time zero.
    if (t >= kPlateauWindow) {
        int pulses = 0;
        for (auto it = m_times.rbegin(); it != m_times.rend() && std::llround((t - *it) * 1e5) < 100000;
             ++it)
            ++pulses;
        m_window = pulses * m_pulseVolume;
    }
    const bool plateau = t >= kPlateauWindow && IsPlateau(m_window);
    const double zero = timeZero();
    if (plateau || IsLongExpiration(t - zero)) {
        m_ended = true;
        add(plateau ? t : std::min(t, zero + kLongExpiration), Cue::EndReached);
        judgeStart();
    }
}

void BlowCoach::endExpiration()
{
    m_expiring = false;
    if (m_testType != kTestFvc || m_ended)
        return;
    add(m_times.empty() ? 0.0 : m_times.back(), Cue::EarlyStop);
    judgeStart();
}

void BlowCoach::judgeStart()
{
    if (m_startJudged || m_peakFlow <= 0)
        return;
    m_startJudged = true;
    if (BevTooLarge(volumeAt(timeZero()), Volume()))
        add(m_blows.back().back().t, Cue::SlowStart);
}

double BlowCoach::timeZero() const
{
    // Where the tangent at peak flow meets zero volume; the first pulse until a peak is known.
    return m_peakFlow > 0 ? std::max(0.0, m_peakTime - m_peakVolume / m_peakFlow) : 0.0;
}

Cue BlowCoach::Current() const
{
    // FVC: once the breath in after a blow has begun, the next blow starts with it.
    if (m_blows.empty() || m_blows.back().empty() || (m_testType == kTestFvc && m_inspired))
        return Cue::Inhale;
    return m_blows.back().back().cue;
}

double BlowCoach::ExpirationSeconds() const
{
    return m_times.empty() ? 0 : std::max(0.0, m_times.back() - timeZero());
}

double BlowCoach::EndProgress() const
{
    if (m_ended)
        return 1;
    const double plateau = m_window > 0 ? std::min(1.0, kPlateauVolume / m_window) : 1.0;
    return std::max(ExpirationSeconds() / kLongExpiration, plateau);
}

double BlowCoach::Volume() const
{
    return m_times.size() * m_pulseVolume;
}

double BlowCoach::Flow() const
{
    return m_expiring ? m_flow : 0;
}
