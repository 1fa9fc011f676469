#include "core/session/test_ending.h"

#include "core/app/lang_text.h"
#include "core/measure/measurement_store.h"

QString TestEnding::Message() const
{
    switch (end) {
    case TestEnd::NoBlow:
        return GetLangText("MESSAGE", 3110).arg(silenceLimitMs / 1000);
    case TestEnd::SilentInBlow:
        return GetLangText("MESSAGE", 3111);
    case TestEnd::DeviceGone:
        return GetLangText("MESSAGE", 3112);
    case TestEnd::DeviceStopped:
        return GetLangText("MESSAGE", 3113);
    case TestEnd::Finished:
    case TestEnd::Closed:
        break;
    }
    return {};
}

const char* TestEnding::Name() const
{
    switch (end) {
    case TestEnd::NoBlow:
    case TestEnd::SilentInBlow:
        return "timeout";
    case TestEnd::DeviceGone:
        return "device-gone";
    case TestEnd::DeviceStopped:
        return "device-stopped";
    case TestEnd::Closed:
        return "closed";
    case TestEnd::Finished:
        break;
    }
    return "finished";
}

TestEnding JudgeEnding(TestEnd end, int testType, const MeasurementStore& store,
                       int silenceLimitMs)
{
    TestEnding ending;
    ending.end = end;
    ending.silenceLimitMs = silenceLimitMs;
    const ManeuverList blows = store.Maneuvers();
    const std::vector<ManeuverStatus> statuses = store.Statuses();
    // Pulses the closed manoeuvres do not account for belong to one under way.
    long long counted = 0;
    for (const ManeuverResult& blow : blows)
        counted += blow.ExpCount + blow.InspCount;
    ending.blowCut = end != TestEnd::Finished && store.PulseCount() > counted;
    if (end == TestEnd::NoBlow && ending.blowCut)
        ending.end = TestEnd::SilentInBlow;
    if (testType == kTestFvc)
        for (size_t i = 0; i < blows.size(); ++i)
            if (i >= statuses.size() || statuses[i].complete)
                ++ending.kept;
    return ending;
}
