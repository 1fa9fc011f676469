#!/bin/sh
# Fails when a core folder includes a folder it may not use. The allowed
# edges (lowest layer first): app -> device, measure -> clinical -> records ->
# session, report -> exchange, accounts -> hospital -> gui, cli. device and measure do not include
# each other; records reads the test-file format of measure and predicts with
# the reference sets of clinical. The same edges link the folders' static
# libraries (src/core/CMakeLists.txt).
cd "$(dirname "$0")/.."
status=0

allowed() {
    case "$1" in
    app) echo "app" ;;
    device) echo "app device" ;;
    measure) echo "app measure" ;;
    clinical) echo "app measure clinical" ;;
    records) echo "app measure clinical records" ;;
    session) echo "app device measure clinical records session" ;;
    report) echo "app measure clinical records report" ;;
    exchange) echo "app measure clinical records report exchange" ;;
    hospital) echo "app measure clinical records report exchange accounts hospital" ;;
    accounts) echo "app measure clinical records report accounts" ;;
    esac
}

for folder in app device measure clinical records session report exchange accounts hospital; do
    ok=$(allowed "$folder")
    for file in src/core/$folder/*.h src/core/$folder/*.cpp; do
        [ -f "$file" ] || continue
        for used in $(sed -n 's|^#include "core/\([a-z_]*\)/.*|\1|p' "$file" | sort -u); do
            case " $ok " in
            *" $used "*) ;;
            *)
                echo "$file includes core/$used/, which $folder/ may not use" >&2
                status=1
                ;;
            esac
        done
        if grep -q '#include <QtWidgets\|#include <QWidget\|#include "gui/' "$file"; then
            echo "$file: the core never includes a widget or gui header" >&2
            status=1
        fi
    done
done
# The desktop layer's windows include each other without circles, and none
# reaches the main window through a process-wide instance.
python3 scripts/gui-include-cycles.py || status=1
if grep -rn 'Instance()' src/gui --include='*.h' --include='*.cpp' >&2; then
    echo "src/gui: windows get what they share from the entry point, not through Instance()" >&2
    status=1
fi
[ $status -eq 0 ] && echo "layers: every include follows the allowed edges"
exit $status
