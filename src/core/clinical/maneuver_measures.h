#pragma once
// The grading measures of one stored FVC manoeuvre: its record and, where the
// device streamed pulses, the expiratory pulses that follow the curve's end.
#include "core/clinical/maneuver_acceptability.h"
#include "core/measure/test_record.h"

// `samples` holds the manoeuvre's pulses, expiratory ones first (as the test
// file stores them); null or empty when the device gave results only.
// `expCoefficient` is the BTPS-corrected coefficient of the test file's header.
ManeuverMeasures MeasuresFromRecord(const ManeuverResult& record, const PulseSample* samples, int count,
                                    int expCoefficient);
