#!/usr/bin/env bash
# MIDI-to-audio latency through Zorvil's JACK ports, on JACK servers of its own (dummy backend,
# 256-frame periods) at 44100 Hz and at 48000 Hz, where Zorvil converts: "WaveOutBufSize" 2205,
# 1470 and 147, clocked by the engine timer and by the wave input. Needs a built tree (scripts/build).
#   bench/latency.sh [NOTES] [RATE...]        (rates: 44100 48000 unless given)
set -euo pipefail
cd "$(dirname "$0")/.."
notes="${1:-20}"
shift || true
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(44100 48000)
jack=""
trap '[ -n "$jack" ] && { kill $jack 2>/dev/null; wait $jack 2>/dev/null || true; }' EXIT
for rate in "${rates[@]}"; do
    export JACK_DEFAULT_SERVER="zorvil-latency-$$-$rate"
    jackd --no-realtime -t 10000 -n "$JACK_DEFAULT_SERVER" -d dummy -r "$rate" -p 256 \
        >/dev/null 2>&1 &
    jack=$!
    sleep 2
    for size in 2205 1470 147; do
        for clock in timer wavein; do
            build/bin/zorvil-latency "$size" "$clock" "$notes"
        done
    done
    kill $jack 2>/dev/null
    wait $jack 2>/dev/null || true
    jack=""
done
