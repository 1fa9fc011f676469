#include "core/measure/syringe_check.h"

#include <cmath>

SyringeCheck::SyringeCheck(double syringeVolume, std::vector<FlowBand> bands)
    : m_volume(syringeVolume), m_bands(std::move(bands))
{
}

std::optional<FlowBand> SyringeCheck::Asked() const
{
    if (m_strokes.size() >= m_bands.size())
        return std::nullopt;
    return m_bands[m_strokes.size()];
}

bool SyringeCheck::Offer(const MeasuredStroke& stroke)
{
    const std::optional<FlowBand> band = Asked();
    if (!band || !(stroke.meanFlow >= BandLow(*band) && stroke.meanFlow < BandHigh(*band)))
        return false;
    const double error = (stroke.volume - m_volume) / m_volume * 100.0;
    m_strokes.push_back({*band, stroke.volume, stroke.meanFlow, error});
    return true;
}

bool SyringeCheck::Passed() const
{
    if (!Done() || m_strokes.empty())
        return false;
    for (const SyringeStroke& s : m_strokes)
        if (!(std::fabs(s.error) <= kLimitPercent))
            return false;
    return true;
}

double SyringeCheck::BandLow(FlowBand band)
{
    return band == FlowBand::Low ? 0.5 : band == FlowBand::Mid ? 1.5 : 5.0;
}

double SyringeCheck::BandHigh(FlowBand band)
{
    return band == FlowBand::Low ? 1.5 : band == FlowBand::Mid ? 5.0 : 12.0;
}

QString SyringeCheck::BandName(FlowBand band)
{
    return band == FlowBand::Low ? "low" : band == FlowBand::Mid ? "mid" : "high";
}

bool SyringeCheck::ParseBands(const QString& text, std::vector<FlowBand>& bands)
{
    bands.clear();
    for (const QString& name : text.split(',')) {
        const QString key = name.trimmed().toLower();
        if (key == "low")
            bands.push_back(FlowBand::Low);
        else if (key == "mid")
            bands.push_back(FlowBand::Mid);
        else if (key == "high")
            bands.push_back(FlowBand::High);
        else
            return false;
    }
    return !bands.empty();
}

std::vector<MeasuredStroke> SyringeCheck::Strokes(const PulseStream& pulses,
                                                  const ManeuverList& maneuvers,
                                                  int correctedCoefficient, int rawCoefficient)
{
    // The time stamps of each run of expiratory pulses, one run per manoeuvre.
    std::vector<std::vector<std::uint32_t>> runs;
    bool inRun = false;
    for (const PulseSample& p : pulses) {
        if (p.direction == kDirectionExpiration) {
            if (!inRun)
                runs.emplace_back();
            runs.back().push_back(p.time);
        }
        inRun = p.direction == kDirectionExpiration;
    }
    std::vector<MeasuredStroke> strokes;
    if (correctedCoefficient <= 0)
        return strokes;
    const double toRoom = double(rawCoefficient) / correctedCoefficient;
    for (size_t i = 0; i < maneuvers.size() && i < runs.size(); ++i) {
        const double volume = maneuvers[i].FVC * toRoom;
        // The flow over the middle 90 % of the stroke's pulses: the rotor's
        // start and its run-down after the plunger stops are left out.
        const std::vector<std::uint32_t>& t = runs[i];
        const size_t first = t.size() / 20, last = t.size() - 1 - t.size() / 20;
        const double seconds = last > first ? (t[last] - t[first]) / 100000.0 : 0.0;
        const double share = t.empty() ? 0.0 : double(last - first) / t.size();
        strokes.push_back({volume, seconds > 0 ? volume * share / seconds : 0.0});
    }
    return strokes;
}
