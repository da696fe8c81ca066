#!/usr/bin/env bash
# The failure sound, heard whole: a private PulseAudio server with a null
# sink, a generated tone as Pitot's sound, a recording of the sink's monitor
# while the program fails Pitot beside the stand-in, and the tone looked for
# in the recording: its frequency and its whole length.
# Usage: sound_test.sh SKYFAULT SKYFAULT_SIM (any further arguments are ignored)
set -uo pipefail
app=$1 sim=$2
source "$(dirname "$0")/lib.sh"
e2e_setup xvfb-run xauth Xvfb pulseaudio pactl parec pacat sox python3
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --log-target=stderr \
    -L "module-null-sink sink_name=skyfault_test rate=44100" -L "module-native-protocol-unix" \
    >"$E2E_DIR/pulse.log" 2>&1 &
E2E_PIDS+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink skyfault_test || fail "the sound server did not start"

# The tone, after half a second of silence that absorbs the start of the
# streams. Its name holds a Latin-1 byte (not UTF-8) and an "=", as a user's
# path may.
tone="$E2E_DIR/work/t"$'\xe9'"ne=loud.wav"
sox -n -r 44100 -c 1 -b 16 "$tone" synth 0.8 sine 660 vol 0.5 pad 0.5 0
write_pitot_config "$E2E_DIR/work/skyfault.cfg" 1 "$tone"

# Silence played throughout keeps the sink running, so the recording has no gaps.
pacat --raw --format=s16le --rate=44100 --channels=1 /dev/zero &
E2E_PIDS+=($!)
parec --latency-msec=10 -d skyfault_test.monitor --format=s16le --rate=44100 --channels=1 \
    --file-format=wav "$E2E_DIR/recording.wav" &
recorder=$! E2E_PIDS+=($!)
sleep 1
start_sim "$sim"
start_app "$app"
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 30 || fail "the stand-in saw no Pitot failure"
sleep 3  # the tone is 1.3 s long; the recording lags a little
app_exit
kill -INT "$recorder"
wait_exit "$recorder" 10
# Heard whole: the 5 ms windows with sound (a peak of 0.05 of full scale) last
# the tone's 0.8 s (-0.02 to +0.05 s), at its 660 Hz (+-10 Hz).
python3 - "$E2E_DIR/recording.wav" <<'PY' || fail "the tone was not heard whole"
import struct, sys, wave
with wave.open(sys.argv[1], "rb") as w:
    rate, channels, raw = w.getframerate(), w.getnchannels(), w.readframes(w.getnframes())
samples = struct.unpack("<%dh" % (len(raw) // 2), raw[: len(raw) // 2 * 2])[::channels]
windows = [samples[i : i + rate // 200] for i in range(0, len(samples), rate // 200)]
loud = [s for window in windows if max(map(abs, window)) >= 1638 for s in window]
signs = [s < 0 for s in loud if abs(s) >= 64]  # dither left out
heard = len(loud) / rate
frequency = sum(a != b for a, b in zip(signs, signs[1:])) / 2 / heard if heard else 0
if abs(frequency - 660) > 10 or not 0.78 <= heard <= 0.85:
    sys.exit("heard %.3f s at %.1f Hz" % (heard, frequency))
PY
echo "e2e sound: passed"
