#!/bin/sh
# Records the golden device streams again and the replay each one gives.
# usage: tests/golden/regenerate.sh BUILD-DIR     (e.g. build)
# For every line of streams.txt: a `tavctl test` against the virtual
# spirometer with the line's profile and faults records the bytes the device
# sent (NAME.stream) and the coefficients it reported; `tavctl replay` of that
# stream gives NAME.json, the expected result the golden test compares with.
# Regenerate only after a deliberate change of the virtual spirometer or of
# what replay reports, and read the diff of the .json files before committing.
set -e
here="$(cd "$(dirname "$0")" && pwd)"
tavctl="$(cd "$1" && pwd)/bin/tavctl"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
"$tavctl" --home "$home" patient add --name Golden --gender 0 --birth 1980-01-01 \
    --height 175 --weight 70 > /dev/null
grep -v '^#' "$here/streams.txt" | while read -r name type profile options; do
    [ -n "$name" ] || continue
    # shellcheck disable=SC2086 # the options are words on purpose
    "$tavctl" --home "$home" test --patient 1 --type "$type" --profile "$profile" $options \
        --record "$here/$name.stream" > "$home/test.json" || true # a noisy test may save nothing
    protocol=checksum
    [ "$profile" -gt 10 ] && protocol=ascii
    cexp=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["cexp"])' "$home/test.json")
    cinsp=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["cinsp"])' "$home/test.json")
    echo "$name $protocol $type $cexp $cinsp" >> "$home/params.txt"
    "$tavctl" replay --protocol "$protocol" --type "$type" --cexp "$cexp" --cinsp "$cinsp" \
        --height 175 --gender 0 < "$here/$name.stream" > "$here/$name.json"
    echo "golden: $name ($protocol, $type) recorded"
done
{
    echo "# name protocol type cexp cinsp (written by regenerate.sh; height 175, gender 0)"
    cat "$home/params.txt"
} > "$here/replay.txt"
