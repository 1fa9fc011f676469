#!/bin/sh
# Builds the libFuzzer targets with clang (core only) and runs each one over
# its seeds for a few seconds: FUZZ_SECONDS (default 5) per target. Longer
# runs: FUZZ_SECONDS=600 scripts/fuzz-smoke.sh; one target: FUZZ_TARGETS=fuzz_gdt.
# Every target runs even after a finding; the script fails when any did.
# Findings (crash, leak, timeout, oversized allocation) stay in build-fuzz/findings.
set -e
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz-smoke: clang++ is not installed; the fuzz targets were not run"
    exit 0
fi
SECONDS_EACH="${FUZZ_SECONDS:-5}"
BUILD="${TAV_FUZZ_BUILD_DIR:-build-fuzz}"
TARGETS="${FUZZ_TARGETS:-fuzz_test_file fuzz_parse_stream_checksum fuzz_parse_stream_ascii \
    fuzz_ini_file fuzz_diagnosis fuzz_test_head fuzz_db_text fuzz_curves fuzz_device_replies \
    fuzz_gdt fuzz_hid_reports}"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTAV_FUZZ=ON -DTAV_CORE_ONLY=ON -DTAV_BENCH=OFF >/dev/null
# shellcheck disable=SC2086 # the list is split on purpose
cmake --build "$BUILD" -j"$(nproc)" --target $TARGETS
mkdir -p "$BUILD/findings"
# The scratch files the readers are given live in memory: no disk syncs.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
# Undefined behaviour stops the run and counts as a finding.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
failed=""
for target in $TARGETS; do
    seeds="fuzz/corpus/${target#fuzz_}"
    case "$target" in
        fuzz_parse_stream_*) seeds="fuzz/corpus/parse_${target#fuzz_parse_stream_}" ;;
    esac
    work="$BUILD/corpus/$target"
    mkdir -p "$work"
    echo "fuzz-smoke: $target for ${SECONDS_EACH}s"
    # A slow input (10 s) or a reader asking for more than 1 GB counts as a finding:
    # every reader must have limits.
    if ! "$BUILD/bin/$target" -max_total_time="$SECONDS_EACH" -max_len=65536 -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$BUILD/findings/$target-" "$work" "$seeds"; then
        failed="$failed $target"
    fi
done
if [ -n "$failed" ]; then
    echo "fuzz-smoke: findings in:$failed (inputs in $BUILD/findings)"
    exit 1
fi
echo "fuzz-smoke: no findings"
