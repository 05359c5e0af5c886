#!/usr/bin/env bash
# Starts the simulated instrument (when built) and the program from one folder.
set -euo pipefail
bin=$(cd "$1" && pwd)
export ROLLMODE_DEVICE_DIR=${ROLLMODE_DEVICE_DIR:-${XDG_RUNTIME_DIR:-/tmp}/rollmode-devices}
sim_pid=""
if [ -x "$bin/rollmode-sim" ]; then
  mkdir -p "$ROLLMODE_DEVICE_DIR"
  "$bin/rollmode-sim" &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true' EXIT
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting under Xvfb." >&2
  exec_prefix=(xvfb-run -a)
else
  exec_prefix=()
fi
cd "$bin"
"${exec_prefix[@]}" ./Corvo_RollMode "${@:2}"
