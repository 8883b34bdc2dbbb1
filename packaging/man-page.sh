#!/usr/bin/env bash
# Writes the manual page sixband(1), gzipped, from the program's own help texts: help2man turns the
# top level's into the page, and each command's --help, converted here, becomes a subsection of
# COMMANDS, so that the page cannot drift from the program. The commands are taken from the top
# level's list, so a new one appears without a change here.
# Usage: man-page.sh PROGRAM BUILT_MODULE INSTALLED_MODULE STATIC_INCLUDE OUTPUT.1.gz
set -euo pipefail
program=$1 built_module=$2 installed_module=$3 static_include=$4 output=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

commands=$("$program" --help | awk '/^Subcommands:$/ {on = 1; next} on && /^  [^ ]/ {print $1} on && NF == 0 {on = 0}')
[ -n "$commands" ] || { echo "man-page.sh: $program --help lists no commands" >&2; exit 1; }

{
    echo "[COMMANDS]"
    for command in $commands; do
        "$program" "$command" --help |
            awk -v command="$command" -v built="$built_module" -v installed="$installed_module" \
                -f "$(dirname "$0")/help-to-man.awk"
    done
} >"$work/commands.h2m"

help2man --no-info --section=1 --name="equalise audio with plug-in modules of the VST 1.0 interface" \
         --include="$work/commands.h2m" --include="$static_include" --output="$work/sixband.1" "$program"
gzip -9n <"$work/sixband.1" >"$work/sixband.1.gz"
mv "$work/sixband.1.gz" "$output"
