#include "core/device/btps.h"

#include "core/app/system_settings.h"

#include <algorithm>

double BtpsFactor(double celsius) {
    return BtpsFactor(celsius, Settings().btps.load() != 0);
}

double BtpsFactor(double celsius, bool enabled) {
    if (!enabled)
        return 1.0;
    const double t = std::clamp(celsius, 15.0, 40.0);
    const double waterVapour = 9.993 - 0.3952 * t + 0.03775 * t * t; // mmHg
    return (760.0 - waterVapour) * (310.0 / 713.0) / (273.0 + t);
}

int BtpsCorrect(int coefficient, double factor) {
    return static_cast<int>(coefficient * factor + 0.5);
}
