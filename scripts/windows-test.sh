#!/usr/bin/env bash
# The Windows build and its run against a spatial renderer we did not write: cross-builds every
# deliverable and the Windows host (spatialhost) with MinGW-w64, then runs the host under Wine,
# whose spatial-audio client renders a 7.1.4 bed into PulseAudio. A user-space PulseAudio server
# with a 12-channel null sink (one channel per bed object) is the output device; its monitor is
# recorded while the host plays known tones, and tonecheck holds each recording against them.
#
# Runs: the design-tool libraries load and hand over their lists (with and without
# OrvelSoundEngine.dll beside them; the 32-bit one under 32-bit Wine); the renderer probe; the
# time a re-activation of the desktop mixer's stream costs the audio thread; tones
# through the sink (stereo and 7.1.4, console and desktop builds), through the effect on a
# 12-channel bus, and through a mixer bus (Wine grants no dynamic objects: every voice must come
# out through the bed route); and the loss path (PulseAudio killed mid-stream and started again,
# then a re-created sink plays); an engine at 44.1 kHz against the renderer's 48 kHz (no plug-in
# may open a stream: the sink answers 4, the effect 2 with one notice naming both rates, and the
# mixer mixes every voice into its bus with one such notice and 0 available objects); how long
# re-opens hold the engine's audio thread (the output lost
# and back 22 times while the sink and an effect bus play: figures only, no pass or fail on them,
# a shared machine's timing is no test; both plug-ins must play again after every return); and the
# host written in C (chost), which calls the engine libraries by their documented slot numbers as
# x64 and as x86 programs (the x86 one with the engine side of the 32-bit design-tool
# SpatialEffect). Exits non-zero if anything fails, a library that lacks its plug-in included.
#
# The 32-bit parts (the x86 design-tool SpatialEffect under 32-bit Wine) run only where this
# machine runs 32-bit programs (scripts/lib/run32.sh finds out; some kernels run none). Where it
# does not, they are skipped and listed as such in the summary, 32-bit Wine is not installed, and
# every x64 program runs under the 64-bit loader /usr/lib/wine/wine64 directly, since /usr/bin/wine
# would start the 32-bit loader first. The x86 cross-build, its export checks and its layout
# assertions are compiled everywhere.
#
# ZV_SKIP_WINDOWS=1 skips all of it; ZV_WINE32=0 skips the 32-bit Wine run (and its install) by
# choice; ZV_RUN32=0 acts as if this machine ran no 32-bit programs.
#
# For the parts below, once the machine is known:
#   run32                   1 when 32-bit programs run here, 0 when they do not
#   skip32 LABEL            counts LABEL as skipped, prints "-- LABEL: skipped: this machine runs
#                           no 32-bit programs" and lists it in the summary
#   wine64_run PROGRAM ...  runs an x64 program under Wine ("$wine64" is the command, for use
#                           under timeout): plain wine where 32-bit programs run, which is how
#                           Wine is meant to be started, and /usr/lib/wine/wine64 where they do not
# The summary says which way the machine was found (e.g. "32-bit programs: no (ZV_RUN32=0)").
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${ZV_SKIP_WINDOWS:-0}" = 1 ]; then
    echo "== windows: skipped (ZV_SKIP_WINDOWS=1)"
    exit 0
fi

# shellcheck source=scripts/lib/run32.sh
source scripts/lib/run32.sh
run32_summary="32-bit programs: $([ "$run32" = 1 ] && echo yes || echo no) ($run32_how)"
echo "== windows: $run32_summary"
export ZV_WINE32="${ZV_WINE32:-1}"
if [ "$run32" = 1 ]; then
    scripts/install-windows-deps.sh
else
    ZV_WINE32=0 scripts/install-windows-deps.sh
fi

root=$(pwd)
work="$root/build/wine-run"
rm -rf "$work"
mkdir -p "$work"

echo "== windows: cross-build"
cmake --preset mingw-x64 >/dev/null
nice cmake --build --preset mingw-x64 -j 2
cmake --preset mingw-x86 >/dev/null
nice cmake --build --preset mingw-x86 -j 2
cmake --preset release >/dev/null
nice cmake --build --preset release -j 2 --target tonecheck
tonecheck="$root/build/release/bin/tonecheck"

# The modules as they would be installed: one folder per architecture, and a copy of each without
# the engine library beside the design-tool libraries.
for arch in x64 x86; do
    mkdir -p "$work/$arch" "$work/$arch-alone"
    cp build/mingw-$arch/bin/*.dll build/mingw-$arch/bin/spatialhost.exe \
        build/mingw-$arch/bin/chost.exe "$work/$arch/"
    cp "$work/$arch"/* "$work/$arch-alone/"
    rm -f "$work/$arch-alone/OrvelSoundEngine.dll"
done

pulse_pid=""
parec_pid=""
cleanup() {
    if [ -n "$parec_pid" ]; then kill "$parec_pid" 2>/dev/null || true; fi
    if [ -n "$pulse_pid" ]; then kill "$pulse_pid" 2>/dev/null || true; fi
    if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
sink=zvbed
channel_map=front-left,front-right,front-center,lfe,rear-left,rear-right,side-left,side-right
channel_map+=,top-front-left,top-front-right,top-rear-left,top-rear-right
cat >"$work/pulse.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=$sink format=float32le rate=48000 channels=12 channel_map=$channel_map
set-default-sink $sink
PA
start_pulse() {
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit -F "$work/pulse.pa" \
        --log-target=file:"$work/pulse.log" >/dev/null 2>&1 &
    pulse_pid=$!
    for _ in $(seq 100); do
        if pactl list short sinks 2>/dev/null | grep -q "^[0-9]*[[:space:]]$sink[[:space:]]"; then
            return 0
        fi
        sleep 0.1
    done
    echo "PulseAudio did not start"
    return 1
}
stop_pulse() {
    kill -9 "$pulse_pid" 2>/dev/null || true
    wait "$pulse_pid" 2>/dev/null || true
    pulse_pid=""
}
start_pulse

# x64 programs: /usr/bin/wine starts the 32-bit loader wherever 32-bit Wine is installed, which
# hands them on to the 64-bit one. Where 32-bit programs cannot run, the 64-bit loader is started
# directly; our 32-bit runs are skipped there. (Wine's own prefix set-up still tries the 32-bit
# loader for its 32-bit half if it is installed, and carries on without it when that fails.)
if [ "$run32" = 1 ]; then
    wine64=wine
else
    wine64=/usr/lib/wine/wine64
fi
wine64_run() { "$wine64" "$@"; }

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
unset DISPLAY
echo "== windows: Wine prefix"
wine64_run wineboot -i >"$work/wineboot.log" 2>&1
# A crash exits with an error instead of starting a debugger that lingers.
wine64_run reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
    /t REG_SZ /d '' /f >/dev/null 2>&1

passed=0
failed=0
failures=()
skips=()
pass() { passed=$((passed + 1)); echo "-- $1: passed"; }
fail() { failed=$((failed + 1)); failures+=("$1"); echo "-- $1: FAILED"; }
# skip LABEL REASON: a part not run, listed in the summary with its reason.
skip() { skips+=("$1: $2"); echo "-- $1: skipped: $2"; }
skip32() { skip "$1" "$run32_reason"; }
# The 32-bit Wine run's parts: they run where 32-bit programs run and ZV_WINE32 is not 0.
wine32_part() {
    if [ "$run32" = 0 ]; then
        skip32 "$1"
        return 1
    fi
    if [ "$ZV_WINE32" != 1 ]; then
        skip "$1" "left out by choice (ZV_WINE32=0)"
        return 1
    fi
}

# program DIR PROGRAM ARGS...: runs PROGRAM in DIR under Wine, at most two minutes: the x64 build
# with the x64 command, the x86 build with plain wine (reached only where 32-bit programs run).
program() {
    local dir=$1 exe=$2 loader=$wine64
    shift 2
    case $(basename "$dir") in x86*) loader=wine ;; esac
    (cd "$dir" && timeout 120 "$loader" "$exe" "$@" 2>&1 | tr -d '\r')
    return "${PIPESTATUS[0]}"
}
# host DIR ARGS...: spatialhost.
host() {
    local dir=$1
    shift
    program "$dir" spatialhost.exe "$@"
}

winpath() { echo "Z:${1//\//\\}"; }

# Starts recording the null sink's monitor into $1 and returns once data arrives (the monitor
# can take a while to deliver its first block).
start_recording() {
    local file=$1
    : >"$file"
    # The sink's own channel map: with another (the default of 12 channels is aux0 to aux11) the
    # server would remix the channels instead of handing them over one for one.
    parec -d "$sink.monitor" --raw --format=float32le --rate=48000 --channels=12 \
        --channel-map="$channel_map" --latency-msec=10 >"$file" 2>/dev/null &
    parec_pid=$!
    for _ in $(seq 100); do
        if [ -s "$file" ]; then return 0; fi
        sleep 0.05
    done
    echo "the monitor delivered nothing"
    return 1
}
stop_recording() {
    sleep 0.3  # the last tone's tail reaches the monitor
    kill "$parec_pid" 2>/dev/null || true
    wait "$parec_pid" 2>/dev/null || true
    parec_pid=""
}

# play_judged LABEL ATTEMPT STATUS RECORDING: judges play ATTEMPT of a part: the host's exit
# STATUS (3: a library lacks its plug-in), then the recording against the tones the host played
# ($work/LABEL.expect). A play whose only faults are dropouts or timing (tonecheck's exit 3: every
# tone on its channel, the others silent, or any fault after a dropout, which leaves the rest of
# the recording out of place) is a glitch of the real-time path on a shared machine; it is played
# again, up to three times in all, and every result is printed. Returns 0 when the part passed, 3
# when the play is to be played again, 1 when the part failed (each said).
play_judged() {
    local label=$1 attempt=$2 status=$3 recording=$4 check=0
    if [ "$status" -eq 3 ]; then
        fail "$label (a library lacks its plug-in)"
        return 1
    fi
    if [ "$status" -ne 0 ]; then
        fail "$label (host exit $status)"
        return 1
    fi
    "$tonecheck" "$work/$label.expect" "$recording" 12 "$label" || check=$?
    if [ $check -eq 0 ]; then
        if [ "$attempt" != 1 ]; then
            pass "$label (on run $attempt; the earlier ones had dropouts)"
        else
            pass "$label"
        fi
        return 0
    fi
    if [ $check -eq 3 ] && [ "$attempt" -lt 3 ]; then
        echo "   $label: dropouts only; playing it again"
        return 3
    fi
    fail "$label"
    return 1
}

# tone_run LABEL DIR HOSTARGS...: records while the host plays, then checks the recording against
# the tones the host played (it writes them to $work/LABEL.expect), played again after a glitch
# (play_judged).
tone_run() {
    local label=$1 dir=$2
    shift 2
    local expect="$work/$label.expect" recording="$work/$label.raw"
    local attempt status heard
    for attempt in 1 2 3; do
        status=0
        start_recording "$recording"
        host "$dir" "$@" "$(winpath "$expect")" >"$work/$label.log" || status=$?
        stop_recording
        sed "s/^/   $label: /" "$work/$label.log"
        heard=0
        play_judged "$label" "$attempt" "$status" "$recording" || heard=$?
        if [ $heard -ne 3 ]; then
            return
        fi
    done
}

echo "== windows: the renderer's answers"
host "$work/x64" probe | tee "$work/probe.txt" | sed 's/^/   /'

echo "== windows: what a re-activation of the desktop mixer costs the audio thread"
# Figures to read (worst and median of 40, milliseconds), not a pass or fail: a loaded machine
# moves them. "inline" is the activation as the audio thread made it before it moved to a
# thread-pool thread; Wine's renderer grants no dynamic objects, so "inline_bed" shows what a
# stream that opens costs.
cp build/mingw-x64/bin/reactivation_timer.exe "$work/x64/"
if program "$work/x64" reactivation_timer.exe 40 >"$work/reactivation.txt"; then
    pass "reactivation timer"
else
    fail "reactivation timer"
fi
sed 's/^/   /' "$work/reactivation.txt"

echo "== windows: design-tool libraries"
design_tool() {
    local label=$1 dir=$2 library=$3 engine=$4
    if host "$dir" designtool "$library" "$engine" >"$work/$label.log"; then
        pass "$label"
    else
        fail "$label"
    fi
    sed "s/^/   $label: /" "$work/$label.log"
}
for library in SpatialSink SpatialMixer; do
    design_tool "$library with engine" "$work/x64" "$library.dll" 1
    design_tool "$library alone" "$work/x64-alone" "$library.dll" 0
done
if wine32_part "SpatialEffect (32-bit) with engine"; then
    design_tool "SpatialEffect (32-bit) with engine" "$work/x86" SpatialEffect.dll 1
fi
if wine32_part "SpatialEffect (32-bit) alone"; then
    design_tool "SpatialEffect (32-bit) alone" "$work/x86-alone" SpatialEffect.dll 0
fi

echo "== windows: the host written in C"
# chost knows the engine libraries only by the documented slot numbers and records, and its own
# allocator and contexts are C vtables of __thiscall functions on x86: a slot at another index, a
# record that crosses differently or a call in another convention fails or crashes it.
c_host() {
    local label=$1 dir=$2
    shift 2
    if program "$dir" chost.exe "$@" >"$work/$label.log"; then
        pass "$label"
    else
        fail "$label"
    fi
    sed "s/^/   $label: /" "$work/$label.log"
}
c_host "C host (x64)" "$work/x64" --sink ZvSpatialSink.dll --effect SpatialEffect.dll \
    --mixer SpatialMixerFX.dll
# The x86 build: the sink, and the effect's engine side in the 32-bit design-tool SpatialEffect.
if wine32_part "C host (x86)"; then
    c_host "C host (x86)" "$work/x86" --sink ZvSpatialSink.dll --effect SpatialEffect.dll
fi

echo "== windows: tones"
tone_run sink-stereo "$work/x64" sink 0 ZvSpatialSink.dll
tone_run sink-7.1.4 "$work/x64" sink 3 ZvSpatialSink.dll
tone_run desktop-sink-7.1.4 "$work/x64" sink 3 SpatialSink.dll
tone_run effect-bus "$work/x64" effect SpatialEffect.dll ZvSpatialSink.dll
tone_run mixer-bus "$work/x64" mixer SpatialMixerFX.dll ZvSpatialSink.dll
tone_run desktop-mixer-bus "$work/x64" mixer SpatialMixer.dll SpatialSink.dll
# The desktop effect inside the 32-bit design-tool library, with its 28-byte stream record.
if wine32_part effect-bus-32-bit; then
    tone_run effect-bus-32-bit "$work/x86" effect SpatialEffect.dll ZvSpatialSink.dll
fi

# await_marker FILE PID: returns once FILE exists or the process PID has ended, or after 30 s.
await_marker() {
    for _ in $(seq 300); do
        if [ -e "$1" ] || ! kill -0 "$2" 2>/dev/null; then return 0; fi
        sleep 0.1
    done
}

echo "== windows: output lost and back"
# The whole loss is played again after a glitch (play_judged): the first tone starts right after
# the audio server does.
loss_run() {
    local label=sink-loss attempt markers status heard
    for attempt in 1 2 3; do
        markers="$work/markers-$attempt"
        status=0
        mkdir -p "$markers"
        start_recording "$work/$label-before.raw"
        (host "$work/x64" loss "$(winpath "$markers")" ZvSpatialSink.dll \
            "$(winpath "$work/$label.expect")" \
            >"$work/$label.log") &
        local host_pid=$!
        await_marker "$markers/playing" $host_pid
        if [ -e "$markers/playing" ]; then
            sleep 0.5
            stop_recording
            stop_pulse  # the output goes away mid-stream
            sleep 1
            start_pulse
            start_recording "$work/$label.raw"
            touch "$markers/restarted"
        fi
        wait $host_pid || status=$?
        stop_recording
        sed "s/^/   $label: /" "$work/$label.log"
        if [ $status -eq 0 ] && [ ! -e "$markers/recreated" ]; then
            fail "$label (host exit 0 without making its stream again)"
            return
        fi
        heard=0
        play_judged "$label" "$attempt" "$status" "$work/$label.raw" || heard=$?
        if [ $heard -ne 3 ]; then
            return
        fi
    done
}
loss_run

echo "== windows: an engine at 44.1 kHz"
# Wine's renderer plays at 48 kHz, as Windows Sonic does. spatialhost rate sets the three plug-ins
# up for an engine at 44.1 kHz and checks what they answer and post (see RunRate); while they are
# set up the audio server must have no stream from them: a sample played at 48 kHz would sound
# 8.8 % sharp and fast.
rate_run() {
    local label=rate-44100 markers="$work/rate-markers" status=0 streams=unknown
    rm -rf "$markers"
    mkdir -p "$markers"
    (host "$work/x64" rate 44100 "$(winpath "$markers")" ZvSpatialSink.dll SpatialEffect.dll \
        SpatialMixerFX.dll >"$work/$label.log") &
    local host_pid=$!
    await_marker "$markers/set-up" $host_pid
    if [ -e "$markers/set-up" ]; then
        sleep 0.5  # a stream opened all the same has reached the server by now
        streams=$(pactl list short sink-inputs 2>/dev/null | wc -l)
        touch "$markers/looked"
    fi
    wait $host_pid || status=$?
    sed "s/^/   $label: /" "$work/$label.log"
    echo "   $label: streams at the audio server while the plug-ins were set up: $streams"
    if [ $status -eq 3 ]; then
        fail "$label (a library lacks its plug-in)"
    elif [ $status -ne 0 ]; then
        fail "$label (host exit $status)"
    elif [ "$streams" != 0 ]; then
        fail "$label (a stream reached the audio server)"
    else
        pass "$label"
    fi
}
rate_run

echo "== windows: re-opens and the audio thread"
# The output lost and back 22 times while the host plays a 7.1.4 sink with a 12-channel effect bus
# in front of it (spatialhost reopen, which times the audio thread's frames: see
# apps/spatialhost/ReopenTiming.h). Before each loss after the first, both plug-ins' re-opened
# streams must be playing (two inputs of the null sink); after the last return the front
# speakers' tones must come through them. A glitch of the real-time path (a dropout, or a skip
# that bends the frequency measured) spoils a play of the tones now and then on a loaded machine:
# each play is recorded and checked on its own, up to three; a stream that does not play fails
# them all.
reopen_run() {
    local label=reopen cycles=22 markers="$work/reopen-markers" status=0 k=1 playing=0 play=1
    local toned=0
    rm -rf "$markers"
    mkdir -p "$markers"
    (host "$work/x64" reopen $cycles "$(winpath "$markers")" ZvSpatialSink.dll \
        SpatialEffect.dll "$(winpath "$work/$label.expect")" >"$work/$label.log") &
    local host_pid=$!
    while kill -0 $host_pid 2>/dev/null; do
        if [ -e "$markers/lose-$k" ] && [ ! -e "$markers/lost-$k" ]; then
            if [ "$k" -gt 1 ] && [ "$(pactl list short sink-inputs 2>/dev/null | wc -l)" -ge 2 ]; then
                playing=$((playing + 1))
            fi
            stop_pulse
            touch "$markers/lost-$k"
        elif [ -e "$markers/restore-$k" ] && [ ! -e "$markers/back-$k" ]; then
            start_pulse
            touch "$markers/back-$k"
            k=$((k + 1))
        elif [ -e "$markers/tones-$play" ] && [ ! -e "$markers/recording-$play" ]; then
            start_recording "$work/$label-$play.raw"
            touch "$markers/recording-$play"
        elif [ -e "$markers/played-$play" ] && [ ! -e "$markers/done" ]; then
            stop_recording
            if "$tonecheck" "$work/$label.expect" "$work/$label-$play.raw" 12 "$label"; then
                toned=$play
                touch "$markers/done"
            elif [ "$play" -lt 3 ]; then
                echo "   $label: the tones were spoilt; playing them again"
                touch "$markers/again-$play"
                play=$((play + 1))
            else
                touch "$markers/done"
            fi
        fi
        sleep 0.02
    done
    wait $host_pid || status=$?
    stop_recording
    sed "s/^/   $label: /" "$work/$label.log"
    echo "   $label: both plug-ins played again after $playing of $((cycles - 1)) returns"
    if [ $status -eq 3 ]; then
        fail "$label (a library lacks its plug-in)"
    elif [ $status -ne 0 ]; then
        fail "$label (host exit $status)"
    elif [ "$playing" -ne $((cycles - 1)) ]; then
        fail "$label (the plug-ins did not play again after every return)"
    elif [ "$toned" = 0 ]; then
        fail "$label (the tones after the last return)"
    elif [ "$toned" != 1 ]; then
        pass "$label (tones on play $toned; the earlier ones were spoilt)"
    else
        pass "$label"
    fi
}
reopen_run

echo "windows: $run32_summary"
echo "windows: $passed passed, $failed failed, ${#skips[@]} skipped"
for failure in "${failures[@]}"; do echo "   failed: $failure"; done
for skipped in "${skips[@]}"; do echo "   skipped: $skipped"; done
[ "$failed" -eq 0 ]
