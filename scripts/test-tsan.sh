#!/bin/sh
# The live test end to end under ThreadSanitizer: the receive worker, the
# interface thread stopping it, the calibration worker, a device change that
# restarts a stopped test over a real pseudo-terminal, and the virtual
# spirometer behind its port, and one whole test over the Bluetooth link. Kept
# short: the session suites and that one transport run.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_WERROR=ON \
    -DTAV_TSAN=ON -DTAV_CORE_ONLY=ON -DTAV_BENCH=OFF >/dev/null
cmake --build build-tsan --target test_device test_links
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    build-tsan/bin/test_device --gtest_filter='LiveTestSessionTest.*:CalibrationSessionTest.*:PortOwnershipTest.*'
# A whole test over the Bluetooth link, with a rest before the second blow.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    build-tsan/bin/test_links --gtest_filter='*TransportEquivalenceTest.AWholeFvcTestEqualsTheDemoRun/Bluetooth'
