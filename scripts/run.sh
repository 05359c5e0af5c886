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
  mkdir -p "$ROLLMODE_DEVICE_DIR"
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
