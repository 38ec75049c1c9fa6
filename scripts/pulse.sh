#!/usr/bin/env bash
# Starts or stops a private PulseAudio daemon with virtual devices for the audio tests.
#   eval "$(scripts/pulse.sh start DIR)"   prints the environment to export (empty on failure)
#   scripts/pulse.sh stop DIR
# Devices: sink "VirtualSink" (vsink), sources "MonitorMic" (vmic, what vsink plays)
# and "PipeSource" (vsrc, fed through DIR/src.fifo).
set -u
cmd=${1:-}; T=${2:-}
[ -n "$cmd" ] && [ -n "$T" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
export HOME=$T/home XDG_RUNTIME_DIR=$T/xdg PULSE_RUNTIME_PATH=$T/xdg/pulse
case "$cmd" in
start)
    command -v pulseaudio >/dev/null || { echo "# pulseaudio not installed" >&2; exit 0; }
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    rm -f "$T/src.fifo"   # the pipe source makes its own FIFO
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n --log-target=file:"$T/pa.log" \
      --load="module-native-protocol-unix auth-anonymous=1" \
      --load="module-null-sink sink_name=vsink rate=8000 channels=1 format=s16le sink_properties=device.description=VirtualSink" \
      --load="module-remap-source master=vsink.monitor source_name=vmic source_properties=device.description=MonitorMic" \
      --load="module-pipe-source source_name=vsrc file=$T/src.fifo format=s16le rate=8000 channels=1 source_properties=device.description=PipeSource" \
      >/dev/null 2>&1 || { echo "# pulseaudio did not start" >&2; exit 0; }
    ok=0
    for _ in $(seq 50); do pactl info >/dev/null 2>&1 && { ok=1; break; }; sleep 0.1; done
    [ $ok = 1 ] || { echo "# pulseaudio not answering" >&2; exit 0; }
    # A low-latency stream keeps the null sink rendering smoothly between tests.
    nohup pacat -d vsink --rate=8000 --channels=1 --format=s16le --raw --latency-msec=20 /dev/zero \
        >/dev/null 2>&1 &
    echo $! > "$T/keepalive.pid"
    sleep 2.5
    echo "export PELLARO_PULSE_DIR='$T' XDG_RUNTIME_DIR='$XDG_RUNTIME_DIR' PULSE_RUNTIME_PATH='$PULSE_RUNTIME_PATH' PELLARO_PULSE_FIFO='$T/src.fifo'"
    ;;
stop)
    [ -f "$T/keepalive.pid" ] && kill "$(cat "$T/keepalive.pid")" 2>/dev/null
    if [ -f "$XDG_RUNTIME_DIR/pulse/pid" ]; then
        pid=$(cat "$XDG_RUNTIME_DIR/pulse/pid")
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
    fi
    exit 0
    ;;
esac
