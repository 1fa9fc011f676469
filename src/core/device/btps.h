#pragma once

// Factor that turns a volume measured at ambient temperature `celsius`
// (saturated, 760 mmHg) into body conditions. 1.0 when the BTPS setting is off.
double BtpsFactor(double celsius);

// Same factor with the setting given explicitly (for callers that hold it).
double BtpsFactor(double celsius, bool enabled);

// Coefficient corrected the way the device protocols store it: round(c x factor).
int BtpsCorrect(int coefficient, double factor);
