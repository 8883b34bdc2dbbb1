#!/usr/bin/env bash
# Checks a Windows build of the module from its PE headers, as a host's loader will see it:
# exactly one export, `main`, undecorated; imports from system DLLs only (a MinGW runtime DLL
# would make LoadLibrary fail on a machine without MinGW); the version resource's texts.
# Usage: check-windows-module.sh sixband.dll
set -euo pipefail
dll=$1

# The 32-bit MinGW objdump cannot read 64-bit files.
objdump=i686-w64-mingw32-objdump
i686-w64-mingw32-objdump -f "$dll" >/dev/null 2>&1 || objdump=x86_64-w64-mingw32-objdump
headers=$("$objdump" -p "$dll")
status=0
fail() { echo "FAIL: $*"; status=1; }

# The export table's name list: lines "[ordinal] name" after "[Ordinal/Name Pointer] Table".
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
               on && /^[ \t]*\[[ \t]*[0-9]+\]/ {print $NF; next}
               on && NF == 0 {on = 0}' <<<"$headers")
[ "$exports" = "main" ] || fail "exports are [$(echo $exports)], expected exactly [main]"

allowed='^(KERNEL32|msvcrt)\.dll$'
imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
[ -n "$imports" ] || fail "no import table found"
for name in $imports; do
    grep -Eiq "$allowed" <<<"$name" || fail "imports $name, which is not a system DLL"
done

# Resource strings are UTF-16LE.
strings16=$(strings -e l "$dll")
for text in "Equaliser 6 bands 12dB/octave" "1, 0, 0, 1" "sixband developers"; do
    grep -Fq "$text" <<<"$strings16" || fail "version resource lacks \"$text\""
done

if [ $status -eq 0 ]; then
    echo "$dll: exports [main], imports [$(echo $imports)], version resource present"
fi
exit $status
