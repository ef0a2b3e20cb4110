#!/usr/bin/env bash
# Runs a command inside a private desktop session: an Xvfb display, a private D-Bus session
# bus and the accessibility bus. With --wayland (or KIVO_TEST_SESSION=wayland) it also starts
# weston nested in that display with XWayland, so the command sees a Wayland session:
# WAYLAND_DISPLAY, DISPLAY (XWayland) and XDG_SESSION_TYPE=wayland. With --pulse (or
# KIVO_TEST_PULSE=1) it also starts a private PulseAudio whose default source reads the FIFO
# named in KIVO_MICROPHONE_PIPE (16 kHz mono s16le; nothing written, nothing captured), and
# routes ALSA's default device to it through a private HOME, so PortAudio records from it as on
# a desktop. Stops exactly the processes it started and returns the command's exit status.
set -uo pipefail

session=${KIVO_TEST_SESSION:-x11}
pulse=${KIVO_TEST_PULSE:-0}
while [ "$#" -gt 0 ]; do
  case "$1" in
    --wayland) session=wayland ;;
    --pulse) pulse=1 ;;
    *) break ;;
  esac
  shift
done
if [ "$#" -eq 0 ]; then
  echo "usage: test-session.sh [--wayland] [--pulse] COMMAND [ARGS...]" >&2
  exit 2
fi
if [ "$pulse" = "1" ] && ! command -v pulseaudio >/dev/null; then
  echo "test-session: pulseaudio is not installed; skipped" >&2
  exit 77
fi

if [ "$session" = "wayland" ] && ! command -v weston >/dev/null; then
  echo "test-session: weston is not installed; skipped" >&2
  exit 77
fi

pids=()
runtime_dir=$(mktemp -d /tmp/kivo-session.XXXXXX)
chmod 700 "$runtime_dir"

cleanup() {
  local pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid=${pids[i]}
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$runtime_dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display number and writes it to the given descriptor. Two servers starting
# at the same moment can pick the same number and one of them gives up: try again.
display=""
for _attempt in 1 2 3; do
  exec {display_fd}<> <(:)
  Xvfb -displayfd "$display_fd" -screen 0 1920x1080x24 -nolisten tcp -noreset \
    >"$runtime_dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    if read -r -t 0.1 display <&"$display_fd"; then
      break
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
  done
  exec {display_fd}>&-
  if [ -n "$display" ]; then
    pids+=("$xvfb_pid")
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  sleep 0.$((RANDOM % 9 + 1))
done
if [ -z "$display" ]; then
  echo "test-session: Xvfb did not start" >&2
  cat "$runtime_dir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"

bus_info=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 \
  --address="unix:path=$runtime_dir/bus")
bus_address=$(echo "$bus_info" | sed -n 1p)
bus_pid=$(echo "$bus_info" | sed -n 2p)
if [ -z "$bus_pid" ]; then
  echo "test-session: dbus-daemon did not start" >&2
  exit 1
fi
pids+=("$bus_pid")
export DBUS_SESSION_BUS_ADDRESS="$bus_address"

export XDG_RUNTIME_DIR="$runtime_dir"
# Tests never read or write the user's settings or models.
mkdir -p "$runtime_dir/config" "$runtime_dir/data"
export XDG_CONFIG_HOME="$runtime_dir/config"
export XDG_DATA_HOME="$runtime_dir/data"
export NO_AT_BRIDGE=0

if [ "$session" = "wayland" ]; then
  # The x11 backend gives weston a real seat and keyboard (the headless one has none). No
  # idle lock, no user configuration; XWayland starts on the first X client.
  socket="wayland-kivo-test"
  weston --backend=x11-backend.so --xwayland --socket="$socket" --width=1600 --height=1000 \
    --idle-time=0 --no-config --log="$runtime_dir/weston.log" >/dev/null 2>&1 &
  pids+=($!)
  xwayland_display=""
  for _ in $(seq 100); do
    xwayland_display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$runtime_dir/weston.log" 2>/dev/null)
    if [ -S "$runtime_dir/$socket" ] && [ -n "$xwayland_display" ]; then
      break
    fi
    sleep 0.1
  done
  if [ ! -S "$runtime_dir/$socket" ] || [ -z "$xwayland_display" ]; then
    echo "test-session: weston did not start" >&2
    cat "$runtime_dir/weston.log" >&2
    exit 1
  fi
  export WAYLAND_DISPLAY="$socket"
  # The Xvfb display weston draws into: XTest there is real input to the compositor's seat,
  # and its screen shows what the compositor shows.
  export KIVO_SESSION_HOST_DISPLAY="$DISPLAY"
  export DISPLAY="$xwayland_display"
  export XDG_SESSION_TYPE=wayland
  # Kivo and the tests run on XWayland unless a test asks a client to go native.
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-xcb}
  export GDK_BACKEND=${GDK_BACKEND:-x11}
  # The desktop shell needs a moment before it hands out keyboard focus.
  sleep 0.5
else
  export XDG_SESSION_TYPE=x11
  unset WAYLAND_DISPLAY
fi
launcher=/usr/libexec/at-spi-bus-launcher
if [ -x "$launcher" ]; then
  "$launcher" --launch-immediately >"$runtime_dir/a11y.log" 2>&1 &
  pids+=($!)
  # The launcher owns org.a11y.Bus once the accessibility bus is up.
  for _ in $(seq 50); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'true'; then
      break
    fi
    sleep 0.1
  done
fi

if [ "$pulse" = "1" ]; then
  # No user configuration, no autospawn: one socket, one pipe source as the microphone and a
  # null sink.
  export HOME="$runtime_dir/home"
  mkdir -p "$HOME/.config/pulse"
  export PULSE_RUNTIME_PATH="$runtime_dir/pulse"
  export PULSE_SERVER="unix:$runtime_dir/pulse-native"
  export KIVO_MICROPHONE_PIPE="$runtime_dir/microphone"
  cat >"$runtime_dir/default.pa" <<PULSE
load-module module-native-protocol-unix auth-anonymous=1 socket=$runtime_dir/pulse-native
load-module module-pipe-source source_name=kivo_microphone file=$KIVO_MICROPHONE_PIPE format=s16le rate=16000 channels=1
load-module module-null-sink sink_name=kivo_speakers
set-default-source kivo_microphone
set-default-sink kivo_speakers
PULSE
  printf 'autospawn = no\n' >"$HOME/.config/pulse/client.conf"
  printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' >"$HOME/.asoundrc"
  pulseaudio -n -F "$runtime_dir/default.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --disable-shm=yes --log-target="file:$runtime_dir/pulse.log" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    [ -S "$runtime_dir/pulse-native" ] && [ -p "$KIVO_MICROPHONE_PIPE" ] && break
    sleep 0.1
  done
  if [ ! -p "$KIVO_MICROPHONE_PIPE" ]; then
    echo "test-session: pulseaudio did not start" >&2
    cat "$runtime_dir/pulse.log" >&2
    exit 1
  fi
fi

"$@"
exit $?
