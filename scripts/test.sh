#!/bin/sh
# The test command of the README: installs what is missing, builds with
# warnings as errors, runs every test, then builds the core tests once more
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs them, then
# runs each fuzz target briefly.
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# No include may cross the folders' allowed edges.
sh scripts/check-layers.sh
# The tests stay a bounded share of the code: the limit only ever comes down.
sh scripts/test-share.sh "${TAV_TEST_SHARE_LIMIT:-38}"
export QT_QPA_PLATFORM=offscreen
TAV_BUILD_DIR=build scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"

TAV_BUILD_DIR=build-asan scripts/build.sh -DCMAKE_BUILD_TYPE=Debug -DTAV_SANITIZE=ON -DTAV_CORE_ONLY=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -L core -j"$(nproc)"
if [ -x scripts/test-tsan.sh ]; then scripts/test-tsan.sh; fi
# Every fuzz target a few seconds over its seeds; a finding fails the run.
FUZZ_SECONDS="${FUZZ_SECONDS:-5}" scripts/fuzz-smoke.sh
echo "All tests passed."
