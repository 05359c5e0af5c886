#!/usr/bin/env bash
# scripts/run.sh starts nothing in a device folder it cannot trust, and creates its own 0700.
set -u
run_sh=$1
scratch=$(mktemp -d /tmp/rmrunsh-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
bin=$scratch/bin
mkdir "$bin"
failures=0
expect_refused() {  # folder, words the refusal must contain
  local out status
  out=$(ROLLMODE_DEVICE_DIR=$1 QT_QPA_PLATFORM=offscreen bash "$run_sh" "$bin" 2>&1)
  status=$?
  if [ "$status" -ne 1 ] || [[ "$out" != *"$2"* ]]; then
    echo "FAIL: $1: status $status, output: $out"
    failures=$((failures + 1))
  fi
}

# Created by the script: private. (No program in $bin: the start itself fails afterwards.)
fresh=$scratch/fresh/devices
ROLLMODE_DEVICE_DIR=$fresh QT_QPA_PLATFORM=offscreen bash "$run_sh" "$bin" >/dev/null 2>&1
mode=$(stat -c %a "$fresh" 2>/dev/null)
[ "$mode" = 700 ] || { echo "FAIL: fresh folder mode '$mode'"; failures=$((failures + 1)); }

shared=$scratch/shared
mkdir -m 1777 "$shared"
expect_refused "$shared" "can be written by other users"

mkdir "$scratch/real"
ln -s "$scratch/real" "$scratch/link"
expect_refused "$scratch/link" "symbolic link"

if [ "$(id -u)" = 0 ]; then
  mkdir -m 0700 "$scratch/foreign"
  chown 4321:4321 "$scratch/foreign"
  expect_refused "$scratch/foreign" "belongs to another user"
else
  echo "not root: the folder of another user is not tried"
fi
exit "$failures"
