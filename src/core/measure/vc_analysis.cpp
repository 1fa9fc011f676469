#include "vc_analysis.h"

BreathTimes BreathTimesOf(const ManeuverList&, const PulseStream&, int) { return {}; }

int TidalStability(const ManeuverList&, const PulseStream&, TidalIndices&) { return 0; }

int VcAnalysis(ManeuverList&, const PulseStream&, const TidalIndices&, int& found, std::vector<TidalSummary>&)
{
    found = 0;
    return 0;
}
