#pragma once
// How a live test ended and what of it is kept. The receive worker judges it
// once, when it lets go of the link; the page and the command line only show
// it (and the page asks whether to keep the blows).
#include <QString>

class MeasurementStore;

enum class TestEnd {
    Finished,      // the device reported the end, or the session was full or ended by the user
    NoBlow,        // nothing came for the silence limit: no blow was under way
    SilentInBlow,  // the device went silent during a blow
    DeviceGone,    // unplugged, or the link dropped
    DeviceStopped, // the device stopped the test itself
    Closed,        // the user closed the test
};

struct TestEnding {
    TestEnd end = TestEnd::Finished;
    int kept = 0;          // whole FVC blows that can be saved; a blow under way never counts
    bool blowCut = false;  // a blow was under way and is lost
    int silenceLimitMs = 0;

    // What happened, for the prompt line and the message box; empty for a
    // finished or closed test.
    QString Message() const;
    // "finished", "timeout", "device-gone", "device-stopped", "closed".
    const char* Name() const;
};

// The ending of a test of `testType` whose worker stopped for `end`, judged
// on what the store holds: only FVC blows the device closed and that lost no
// pulse are kept.
TestEnding JudgeEnding(TestEnd end, int testType, const MeasurementStore& store,
                       int silenceLimitMs);
