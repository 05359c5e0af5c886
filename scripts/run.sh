#!/usr/bin/env bash
# Starts the simulated instrument (when built) and the program from one folder; the simulator
# is stopped when the program ends.
set -euo pipefail
bin=$(cd "$1" && pwd)
# The device folder brask looks in: the same default as platform::DeviceFolder().
if [ -z "${ROLLMODE_DEVICE_DIR:-}" ]; then
  if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    ROLLMODE_DEVICE_DIR=$XDG_RUNTIME_DIR/rollmode-devices
  else
    ROLLMODE_DEVICE_DIR=/tmp/rollmode-devices-$(id -u)
  fi
fi
export ROLLMODE_DEVICE_DIR
# The folder is this user's alone: another user who owns or can write it could serve a fake
# instrument there. Created 0700; an existing one is used only when it is a real folder of
# ours that nobody else can write (then closed to others), as the program and simulator do.
[ -e "$ROLLMODE_DEVICE_DIR" ] || [ -L "$ROLLMODE_DEVICE_DIR" ] || mkdir -p -m 0700 "$ROLLMODE_DEVICE_DIR"
if [ -L "$ROLLMODE_DEVICE_DIR" ] || [ ! -d "$ROLLMODE_DEVICE_DIR" ]; then
  echo "The folder $ROLLMODE_DEVICE_DIR is a symbolic link or not a folder; not starting." >&2
  exit 1
fi
if [ "$(stat -c %u "$ROLLMODE_DEVICE_DIR")" != "$(id -u)" ]; then
  echo "The folder $ROLLMODE_DEVICE_DIR belongs to another user; not starting." >&2
  exit 1
fi
if [ $(( 0$(stat -c %a "$ROLLMODE_DEVICE_DIR") & 022 )) -ne 0 ]; then
  echo "The folder $ROLLMODE_DEVICE_DIR can be written by other users; not starting." >&2
  exit 1
fi
chmod 0700 "$ROLLMODE_DEVICE_DIR"
sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM
if [ -x "$bin/rollmode-sim" ]; then
  socket="$ROLLMODE_DEVICE_DIR/710177AB-8588-4E5C-89EF-67E2A92E861E/unit00"
  "$bin/rollmode-sim" --dir "$ROLLMODE_DEVICE_DIR" ${ROLLMODE_SIM_ARGS:-} &
  sim_pid=$!
  # The program opens the device at start-up: wait until the simulator listens.
  for _ in $(seq 1 250); do
    [ -S "$socket" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "rollmode-sim ended early; the program starts without a device." >&2
      sim_pid=""
      break
    fi
    sleep 0.02
  done
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting under Xvfb." >&2
  exec_prefix=(xvfb-run -a)
else
  exec_prefix=()
fi
cd "$bin"
# Not exec: the shell stays to stop the simulator when the program ends.
status=0
"${exec_prefix[@]}" ./Corvo_RollMode "${@:2}" || status=$?
exit "$status"
