#!/bin/sh
# Builds the libFuzzer targets with clang (core only) and runs each one over
# its seeds for a few seconds: FUZZ_SECONDS (default 5) per target. Longer
# runs: FUZZ_SECONDS=600 scripts/fuzz-smoke.sh. Findings stay in build-fuzz/findings.
set -e
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz-smoke: clang++ is not installed; the fuzz targets were not run"
    exit 0
fi
SECONDS_EACH="${FUZZ_SECONDS:-5}"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_COMPILER=clang -DTAV_FUZZ=ON -DTAV_CORE_ONLY=ON >/dev/null
mkdir -p build-fuzz/findings
for target in fuzz_test_file fuzz_parse_stream_checksum fuzz_parse_stream_ascii fuzz_ini_file \
              fuzz_diagnosis fuzz_test_head fuzz_db_text fuzz_curves fuzz_device_replies fuzz_gdt; do
    cmake --build build-fuzz --target "$target" -j"$(nproc)"
    seeds="fuzz/corpus/${target#fuzz_}"
    [ "$target" = fuzz_parse_stream_checksum ] && seeds=fuzz/corpus/parse_checksum
    [ "$target" = fuzz_parse_stream_ascii ] && seeds=fuzz/corpus/parse_ascii
    work="build-fuzz/corpus/$target"
    mkdir -p "$work"
    echo "fuzz-smoke: $target for ${SECONDS_EACH}s"
    QT_QPA_PLATFORM=offscreen "build-fuzz/bin/$target" -max_total_time="$SECONDS_EACH" \
        -max_len=65536 -rss_limit_mb=2048 -artifact_prefix=build-fuzz/findings/ "$work" "$seeds"
done
