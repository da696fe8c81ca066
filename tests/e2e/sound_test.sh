#!/usr/bin/env bash
# The failure sound, heard whole: a private PulseAudio server with a null
# sink, a generated tone as Pitot's sound, a recording of the sink's monitor
# while the program fails Pitot beside the stand-in, and the tone looked for
# in the recording: its frequency and its whole length.
# Usage: sound_test.sh SKYFAULT SKYFAULT_SIM ARTIFACTS
set -uo pipefail
app=$1 sim=$2 artifacts=$3
source "$(dirname "$0")/lib.sh"
e2e_need xvfb-run xauth Xvfb pulseaudio pactl parec pacat sox python3
e2e_setup
mkdir -p "$artifacts"

frequency=660
length=0.8

pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes --log-target=stderr \
    -L "module-null-sink sink_name=skyfault_test rate=44100" -L "module-native-protocol-unix" \
    >"$E2E_DIR/pulse.log" 2>&1 &
E2E_PIDS+=($!)
for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
pactl info >/dev/null 2>&1 || fail "the sound server did not start"
pactl set-default-sink skyfault_test

# The tone, after half a second of silence that absorbs the start of the
# streams; what matters is that the tone plays to its very end. Its name holds
# a Latin-1 byte (not UTF-8) and an "=", as a user's path may.
tone="$E2E_DIR/work/t"$'\xe9'"ne=loud.wav"
sox -n -r 44100 -c 1 -b 16 "$tone" synth "$length" sine "$frequency" vol 0.5 pad 0.5 0
write_pitot_config "$E2E_DIR/work/skyfault.cfg" 1 "$tone"

# Silence played throughout keeps the sink running, so the recording has no gaps.
pacat --raw --format=s16le --rate=44100 --channels=1 /dev/zero &
E2E_PIDS+=($!)
parec --latency-msec=10 -d skyfault_test.monitor --format=s16le --rate=44100 --channels=1 \
    --file-format=wav "$E2E_DIR/recording.wav" &
recorder=$!
E2E_PIDS+=("$recorder")
sleep 1

start_sim "$sim"
start_app "$app"
wait_for "$E2E_DIR/app.log" "title: Skyfault Connected" 30 || fail "no 'Skyfault Connected' title"
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 15 || fail "the stand-in saw no Pitot failure"
sleep 3  # the tone is 1.3 s long; the recording lags a little
app_command "trigger mnuFileExit"
wait_exit "$E2E_APP" 20 || fail "File > Exit did not end the program"
kill -INT "$recorder"
wait "$recorder" 2>/dev/null
cp "$E2E_DIR/recording.wav" "$artifacts/sound-recording.wav"

found=$(python3 "$(dirname "$0")/find_tone.py" "$E2E_DIR/recording.wav" 0.05) || fail "no tone in the recording ($found)"
echo "heard: $found"
python3 - "$found" "$frequency" "$length" <<'PY' || fail "the tone was not heard whole: $found"
import sys
fields = dict(item.split("=") for item in sys.argv[1].split())
frequency, length = float(sys.argv[2]), float(sys.argv[3])
heard_f, heard_l = float(fields["frequency"]), float(fields["heard"])
ok = abs(heard_f - frequency) <= 10 and length - 0.02 <= heard_l <= length + 0.05
sys.exit(0 if ok else 1)
PY

# --- Close cuts a sound off: Exit (which saves, and saving closes the player)
# one second into a long tone leaves only that second of it.
echo "quit" >&7
exec 7>&- 8>&-
wait_exit "$E2E_SIM" 10 || fail "the stand-in did not quit"
rm -f "$E2E_DIR/app.in" "$E2E_DIR/app.log" "$E2E_DIR/sim.in" "$E2E_DIR/sim.log"
long="$E2E_DIR/work/long.wav"
sox -n -r 44100 -c 1 -b 16 "$long" synth 6 sine 440 vol 0.5 pad 0.5 0
write_pitot_config "$E2E_DIR/work/skyfault.cfg" 1 "$long"
parec --latency-msec=10 -d skyfault_test.monitor --format=s16le --rate=44100 --channels=1 \
    --file-format=wav "$E2E_DIR/recording-cut.wav" &
recorder=$!
E2E_PIDS+=("$recorder")
sleep 1
start_sim "$sim"
start_app "$app"
wait_for "$E2E_DIR/sim.log" "write 0x0B71 1 01" 30 || fail "the stand-in saw no Pitot failure"
sleep 2.5  # half a second of lead-in silence, then about two seconds of tone
app_command "trigger mnuFileExit"
wait_exit "$E2E_APP" 20 || fail "File > Exit did not end the program"
sleep 1
kill -INT "$recorder"
wait "$recorder" 2>/dev/null
found=$(python3 "$(dirname "$0")/find_tone.py" "$E2E_DIR/recording-cut.wav" 0.05) || fail "no long tone in the recording ($found)"
echo "heard before Exit: $found"
python3 - "$found" <<'PY' || fail "Exit did not cut the sound off: $found"
import sys
fields = dict(item.split("=") for item in sys.argv[1].split())
ok = abs(float(fields["frequency"]) - 440) <= 10 and 0.5 <= float(fields["heard"]) <= 4.0
sys.exit(0 if ok else 1)
PY
echo "e2e sound: 1 passed, 0 failed"
