#!/usr/bin/env bash
# Ardour automating the LV2 form, run by hand (not part of scripts/test.sh: Ardour is a large
# install, and its headless export fails in some runs on its own). Ardour's headless Lua tool
# builds a session in which an 80 Hz sine plays through the equaliser while its "80 Hz" control is
# automated from the default to 1.0 (scripts/ardour-automation.lua), and exports it; the exported
# gain at points of the ramp is then set beside the module's gain at the same settings, measured
# by `sixband process` on the same sine. The events case (`ardour-automation.sh events`; both run
# by default) jumps "80 Hz" up and down in a few milliseconds and bypasses the plug-in and back
# through its "Enabled" control, and gives the steepest sample-to-sample change near each event
# beside that of the steady sine before it.
#
# Each attempt gets a JACK server of its own on the dummy driver (no audio device): Ardour exports
# in JACK's freewheel mode, and a crashed client leaves its server stuck there. Ardour 7.3's
# headless session fails in about half of the runs here, with another vendor's LV2 plug-in or none
# as well: it aborts in its export code after the file is written ("double free or corruption"),
# or its requests to the JACK server get garbled and the export never starts. Each failure is
# reported and retried, up to eight attempts.
source "$(dirname "$0")/lib.sh"
install_packages "${NATIVE_PACKAGES[@]}" ardour jackd2 sox
cd "$SIXBAND_ROOT"
build_preset default >/dev/null

uri=urn:sixband:equaliser
rate=44100
amplitude=0.1
ramp_start=2
ramp_end=10
length=12
# The events case: "80 Hz" jumped up and down, the plug-in bypassed and back, in seconds.
jump_up=3
jump_down=5
bypass_off=7
bypass_on=9
which=${1:-all}
case $which in ramp | events | all) ;; *) echo "usage: $0 [ramp|events|all]" >&2; exit 2 ;; esac
work=$(mktemp -d)
jackd_pid=""
stop_jackd() {
    if [ -n "$jackd_pid" ]; then
        kill "$jackd_pid" 2>/dev/null || true
        wait "$jackd_pid" 2>/dev/null || true
    fi
    jackd_pid=""
}
trap 'stop_jackd; rm -rf "$work"' EXIT

# Ardour finds Lua DSP processors in its script folder; this one is the test signal.
mkdir -p "$work/config/ardour7/scripts"
cat >"$work/config/ardour7/scripts/_sixband_test_sine.lua" <<LUA
ardour { ["type"] = "dsp", name = "sixband test sine", category = "Utility", license = "MIT",
         author = "sixband", description = "A $amplitude-amplitude 80 Hz sine on both channels, replacing the input" }
function dsp_ioconfig () return { { audio_in = 2, audio_out = 2 } } end
local phase, step = 0, 0
function dsp_init (rate) step = 2 * math.pi * 80 / rate end
function dsp_run (ins, outs, n_samples)
  local left, right = outs[1]:array(), outs[2]:array()
  for i = 1, n_samples do
    left[i] = $amplitude * math.sin(phase)
    right[i] = left[i]
    phase = (phase + step) % (2 * math.pi)
  end
end
LUA

export LV2_PATH="$SIXBAND_ROOT/build/default/lib/lv2"
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export SIXBAND_URI=$uri SIXBAND_TIMES="$ramp_start $ramp_end $length" SIXBAND_EXPORT="$work/export"
export SIXBAND_EVENTS="$jump_up $jump_down $bypass_off $bypass_on"
frames() { [ -f "$1" ] && soxi -s "$1" 2>/dev/null || echo 0; }
# Exports one case (ramp or events) into $wav, retrying as above; its log stays in $work/ardour.log.
export_case() {
    export SIXBAND_CASE=$1
    local attempt status written what where
    for attempt in 1 2 3 4 5 6 7 8; do
        rm -rf "$work/session" "$work/export"
        mkdir -p "$work/export"
        export JACK_DEFAULT_SERVER="sixband-ardour-$$-$SIXBAND_CASE-$attempt"
        jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r $rate -p 1024 >"$work/jackd.log" 2>&1 &
        jackd_pid=$!
        jack_wait -w -t 10 >/dev/null 2>&1 || { echo "the JACK server did not start:"; cat "$work/jackd.log"; exit 1; }
        status=0
        SIXBAND_SESSION="$work/session" timeout 180 ardour7-lua "$SIXBAND_ROOT/scripts/ardour-automation.lua" \
            >"$work/ardour.log" 2>&1 || status=$?
        stop_jackd
        grep -E "^automating" "$work/ardour.log" | sed 's/^/Ardour: /' | sort -u
        written=$(frames "$wav")
        [ $status -eq 0 ] && [ "$written" -eq $((length * rate)) ] && break
        if [ $status -eq 124 ]; then what="hung (stopped after 180 s)"
        elif [ $status -gt 128 ]; then what="crashed with signal $((status - 128))"
        else what="failed with status $status"; fi
        grep -q "^exported" "$work/ardour.log" && where="after its export had written $written frames" ||
            where="before its export was done ($written frames written)"
        echo "Attempt $attempt: Ardour $what $where: $(grep -m 1 -E 'corruption|invalid|JACK HALTED|^Error|assert' "$work/ardour.log")"
        [ $attempt -eq 8 ] || echo "Retrying."
    done
    [ "$(frames "$wav")" -eq $((length * rate)) ] || { echo "No complete export in eight attempts."; tail -n 20 "$work/ardour.log"; exit 1; }
    [ $status -eq 0 ] || echo "Every attempt crashed; using the last one's export, which is complete."
}

if [ "$which" = events ] || [ "$which" = all ]; then
    wav="$work/export/events.wav"
    export_case events
    cp "$wav" "$work/events.wav"
    echo
    echo "Ardour's export of the 80 Hz sine with '80 Hz' jumped at $jump_up s (to 1.0 in 5 ms) and $jump_down s"
    echo "(to 0 in 2 ms), and bypassed at $bypass_off s and back at $bypass_on s: the steepest sample-to-sample"
    echo "change of the left channel within 50 ms after each event, beside the steepest of the steady"
    echo "stretches before and after it (the sine's own at those settings; a click would exceed both):"
    python3 - "$work/events.wav" $jump_up $jump_down $bypass_off $bypass_on <<'PY'
import sys, wave, struct
path, events = sys.argv[1], [float(t) for t in sys.argv[2:]]
with wave.open(path) as f:
    rate, channels, width = f.getframerate(), f.getnchannels(), f.getsampwidth()
    data = f.readframes(f.getnframes())
scale = float(1 << (8 * width - 1))
kind = {2: "h", 4: "i"}[width]
left = [v / scale for v in struct.unpack("<%d%s" % (len(data) // width, kind), data)[::channels]]
def steepest(a, b):
    a, b = max(1, int(a * rate)), int(b * rate)
    return max(abs(left[i] - left[i - 1]) for i in range(a, b))
names = ["80 Hz to 1.0", "80 Hz to 0", "bypassed", "back on"]
print("%-14s %8s %12s %14s %14s" % ("event", "time s", "near it", "steady before", "steady after"))
for name, t in zip(names, events):
    print("%-14s %8g %12.5f %14.5f %14.5f" % (name, t, steepest(t - 0.001, t + 0.05), steepest(t - 0.9, t - 0.1),
                                             steepest(t + 0.2, t + 0.9)))
PY
fi
[ "$which" = events ] && exit 0
wav="$work/export/ramp.wav"
export_case ramp

default=$(sed -n "s/^automating '80 Hz' from its default \([0-9.]*\) .*/\1/p" "$work/ardour.log")
rms() {  # file start seconds: RMS of the left channel over 0.2 s from start
    sox "$1" -n remix 1 trim "$2" 0.2 stat 2>&1 | awk '/^RMS +amplitude/ {print $3}'
}
db() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%+.2f", 20 * log(a / b) / log(10)}'; }

# The module's steady gain on the same sine at a fixed value, measured over 1 s after 1 s.
sox -n -r $rate -c 2 -e floating-point -b 32 "$work/sine.wav" synth 3 sine 80 vol $amplitude
module_rms() {
    build/default/bin/sixband process "$work/sine.wav" -o "$work/module.wav" --format float --quiet --set "80 Hz=$1"
    sox "$work/module.wav" -n remix 1 trim 1 1 stat 2>&1 | awk '/^RMS +amplitude/ {print $3}'
}
module_reference=$(module_rms "$default")
reference=$(rms "$wav" 0.9)
echo
echo "Ardour's export of an 80 Hz sine through the LV2 form, '80 Hz' automated from $default (${ramp_start} s)"
echo "to 1.0 (${ramp_end} s); gains against the export at 1 s (the default), beside the module's steady gain"
echo "at the same value against its own at the default:"
printf "%8s %10s %14s %14s\n" "time s" "80 Hz" "Ardour dB" "module dB"
for t in 1 2 4 6 8 9 10 11; do
    value=$(awk -v t=$t -v s=$ramp_start -v e=$ramp_end -v d="$default" \
            'BEGIN {v = t <= s ? d : (t >= e ? 1 : d + (1 - d) * (t - s) / (e - s)); printf "%.4f", v}')
    printf "%8s %10s %14s %14s\n" "$t" "$value" "$(db "$(rms "$wav" "$(awk -v t=$t 'BEGIN {print t - 0.1}')")" "$reference")" \
        "$(db "$(module_rms "$value")" "$module_reference")"
done
echo "(Ardour's export: 16-bit WAV at $rate Hz; each Ardour figure is the RMS over 0.2 s centred on the time."
echo " At 1 s the export is at $(db "$reference" "$(awk -v a=$amplitude 'BEGIN {print a / sqrt(2)}')") dB against the sine as generated.)"
