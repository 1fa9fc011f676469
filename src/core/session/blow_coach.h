#pragma once
// Coaching cues of a live test, worked out from the turbine pulses alone, as
// they come: what to tell the patient now, and a timed list per blow for the
// session's record. A blow is an expiration and the inspiration after it;
// its times run from its first expiratory pulse (t = 0).
#include "core/measure/test_record.h"

#include <QJsonArray>
#include <QString>

#include <vector>

enum class Cue {
    Inhale,     // before a blow: breathe in fully; VC, MVV: an inspiration begins
    Exhale,     // VC, MVV: an expiration begins
    Blast,      // FVC: the forced expiration starts
    KeepGoing,  // FVC: the blast is over (flow at half its peak), blow on
    EndReached, // FVC: a plateau or 15 s of expiration: breathe in
    SlowStart,  // FVC: back-extrapolated volume over the acceptable limit
    EarlyStop,  // FVC: the expiration ended before any end criterion
    Pause,      // FVC: the flow stopped and came back within the expiration
};

// The cue's name in the session's JSON ("keep-going"), and in the user's words.
const char* CueName(Cue cue);
QString CueText(Cue cue);

struct TimedCue {
    double t = 0; // s from the blow's first expiratory pulse
    Cue cue = Cue::Inhale;
};
using BlowCues = std::vector<TimedCue>;

// The cues of manoeuvre `index` of a test, from its own pulses (so a damaged
// manoeuvre never lends its cues to the next), and as they are stored and
// printed: [{"t": seconds to 0.01, "cue": name}, ...].
BlowCues ManeuverCues(int testType, int expCoefficient, const ManeuverList& list,
                      const PulseStream& stream, int index);
QJsonArray CuesJson(const BlowCues& cues);

class BlowCoach {
  public:
    // A gap this long between expiratory pulses, with flow after it, is a pause.
    static constexpr double kPauseGap = 0.5; // s

    BlowCoach(int testType, int expCoefficient);

    // The test's next pulses, in order; every pulse of the test exactly once.
    void Feed(const PulseSample* pulses, int count);
    void Feed(const PulseStream& pulses) { Feed(pulses.data(), int(pulses.size())); }
    // The test is over: an expiration still open ends here.
    void Finish();

    int Fed() const { return m_fed; }
    // Every blow so far, the last one possibly still open.
    const std::vector<BlowCues>& Blows() const { return m_blows; }

    // What to show now: the last cue of the last blow; inhale before any and,
    // FVC, from the breath in after a blow on.
    Cue Current() const;
    // FVC, the blow under way or the last one: seconds of expiration (from time zero), the
    // share (0..1) of the way to the nearer end criterion, the volume blown
    // (L) and the flow of the last pulses (L/s, 0 once the expiration ended).
    double ExpirationSeconds() const;
    double EndProgress() const;
    double Volume() const;
    double Flow() const;
    bool Expiring() const { return m_expiring; }
    bool EndReached() const { return m_ended; }

  private:
    void beginBlow(std::uint32_t time);
    void expiratoryPulse(std::uint32_t time);
    void endExpiration();
    void judgeStart();
    // Back-extrapolated time zero of the open blow, s.
    double timeZero() const;
    void add(double t, Cue cue);
    // Expired volume at `t` s, linear between pulses (a pulse's volume has passed at its time).
    double volumeAt(double t) const;
    double seconds(std::uint32_t time) const;

    int m_testType;
    double m_pulseVolume;
    int m_fed = 0;
    std::vector<BlowCues> m_blows;
    // The open blow.
    std::uint32_t m_start = 0;
    std::vector<double> m_times; // its expiratory pulses, s
    bool m_expiring = false;
    bool m_inspired = false;
    bool m_ended = false;
    bool m_keptGoing = false;
    bool m_startJudged = false;
    double m_window = 1.0; // L in the last 1 s at the last pulse
    double m_flow = 0;
    double m_peakFlow = 0;
    double m_peakTime = 0;
    double m_peakVolume = 0;
};
