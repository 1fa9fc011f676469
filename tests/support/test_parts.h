#pragma once
// The live-test objects the device tests share, as an entry point would make them.
#include "core/session/measurement_parts.h"

inline MeasurementParts& TestParts()
{
    static MeasurementParts parts;
    return parts;
}
