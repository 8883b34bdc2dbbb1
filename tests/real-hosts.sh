#!/usr/bin/env bash
# Real hosts from Debian's packages load the module and report what they see: the plug-in scanners
# of Qtractor and MusE, run as black boxes on the built module.
# Usage: real-hosts.sh MODULE
set -uo pipefail
module=$(realpath "$1")
failures=0
check() {  # description, command that must succeed
    if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

qtractor_scan=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
if [ ! -x "$qtractor_scan" ]; then echo "FAILED: $qtractor_scan is not installed"; exit 1; fi
# One line: VST|name|inputs:outputs|...|params:...|...|path|index|unique id
line=$(echo "VST:$module" | timeout 60 "$qtractor_scan" 2>/dev/null | grep "^VST|")
echo "qtractor: $line"
IFS='|' read -r _ name io _ params _ path _ id <<< "$line"
check "qtractor names the module after its file" '[ "$name" = sixband ]'
check "qtractor sees 2 inputs and 2 outputs" '[ "$io" = 2:2 ]'
check "qtractor sees 6 parameters" '[ "${params%%:*}" = 6 ]'
check "qtractor reads the unique id Sx6B" '[ "$id" = 0x53783642 ]'

muse_scan=$(command -v muse_plugin_scan)
if [ -z "$muse_scan" ]; then echo "FAILED: muse_plugin_scan is not installed"; exit 1; fi
xml=$(mktemp)
trap 'rm -f "$xml"' EXIT
: > "$xml"
timeout 60 "$muse_scan" -t 16 -f "$module" -o "$xml" -p >/dev/null 2>&1
check "MusE sees 2 audio inputs" 'grep -q "<inports>2</inports>" "$xml"'
check "MusE sees 2 audio outputs" 'grep -q "<outports>2</outports>" "$xml"'
check "MusE sees 6 controls" 'grep -q "<ctlInports>6</ctlInports>" "$xml"'
check "MusE reads the unique id" 'grep -q "<uniqueID>1400387138</uniqueID>" "$xml"'
for band in "80 Hz  " "400 Hz  " "1 kHz  " "2.5 kHz  " "5 kHz  " "12 kHz  "; do
    check "MusE names the parameter \"$band\"" "grep -qF 'port name=\"$band\"' \"\$xml\""
done

[ $failures -eq 0 ]
