#!/bin/sh
# Prints the lines of tests/ as a share of the lines of src/ (.cpp and .h;
# data files in tests/ do not count). With a limit in percent as the first
# argument, fails when the share is above it.
cd "$(dirname "$0")/.."
lines() { find "$1" \( -name '*.cpp' -o -name '*.h' \) -type f -exec cat {} + | wc -l; }
tests=$(lines tests)
source=$(lines src)
share=$((tests * 1000 / source))
echo "Test share: $tests lines of tests against $source of source, $((share / 10)).$((share % 10)) %"
if [ -n "$1" ] && [ "$share" -gt $(($1 * 10)) ]; then
    echo "The tests are above $1 % of the source: fold or cut tests before adding more." >&2
    exit 1
fi
