#pragma once
// The daily check of the flow sensor with a calibration syringe: the operator
// pushes one expiratory stroke at each flow asked for (low, mid, high); a
// stroke whose mean flow lies outside the asked band is refused and asked for
// again; each kept stroke's volume is compared with the syringe's.
#include "core/measure/test_record.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

enum class FlowBand { Low = 0, Mid = 1, High = 2 };

struct SyringeStroke {
    FlowBand band = FlowBand::Low;
    double volume = 0;   // L, at the sensor's (room) conditions
    double meanFlow = 0; // L/s
    double error = 0;    // percent of the syringe's volume, signed
};

// One expiratory stroke as measured: its volume and its mean flow (over the
// middle 90 % of its volume).
struct MeasuredStroke {
    double volume = 0;
    double meanFlow = 0;
};

class SyringeCheck {
  public:
    // A stroke passes within 3 % of the syringe's volume for the sensor plus
    // 0.5 % for the syringe's own tolerance.
    static constexpr double kLimitPercent = 3.5;

    SyringeCheck(double syringeVolume, std::vector<FlowBand> bands);

    // Judges the next stroke against the band asked for now: false (the
    // same band is asked again) when its mean flow lies outside it.
    bool Offer(const MeasuredStroke& stroke);
    // The band asked for now; none once every band has its stroke.
    std::optional<FlowBand> Asked() const;
    bool Done() const { return !Asked(); }
    // Every band has a stroke and each is within the limit.
    bool Passed() const;
    const std::vector<SyringeStroke>& Strokes() const { return m_strokes; }
    double SyringeVolume() const { return m_volume; }
    const std::vector<FlowBand>& Bands() const { return m_bands; }

    // Mean flows (L/s) that belong to each band: [low, high).
    static double BandLow(FlowBand band);
    static double BandHigh(FlowBand band);
    static double BandMiddle(FlowBand band) { return (BandLow(band) + BandHigh(band)) / 2.0; }
    static QString BandName(FlowBand band); // "low", "mid", "high"
    // "low,mid,high" into bands; false for an empty list or an unknown name.
    static bool ParseBands(const QString& text, std::vector<FlowBand>& bands);

    // The expiratory strokes of a test run, in order: each manoeuvre's
    // volume from the flow engine, scaled from the BTPS-corrected to the raw
    // coefficient (a syringe's air is at room conditions), and its mean flow
    // over the middle 90 % of its run of expiratory pulses. Inspiratory
    // strokes (the refills) are not judged.
    static std::vector<MeasuredStroke> Strokes(const PulseStream& pulses,
                                               const ManeuverList& maneuvers,
                                               int correctedCoefficient, int rawCoefficient);

  private:
    double m_volume;
    std::vector<FlowBand> m_bands;
    std::vector<SyringeStroke> m_strokes;
};
