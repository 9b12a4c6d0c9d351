#!/bin/sh
# Runs one test program inside a D-Bus session of its own with a Secret Service
# (gnome-keyring) whose keyring lives in a temporary folder and is unlocked with
# a known password. Everything it starts ends with it.
set -eu
if [ "${FOLVANE_IN_KEYRING_SESSION:-}" != 1 ]; then
  base="$(mktemp -d)"
  trap 'rm -rf "$base"' EXIT
  mkdir -m 700 "$base/run"
  export FOLVANE_IN_KEYRING_SESSION=1 HOME="$base" XDG_RUNTIME_DIR="$base/run" \
    XDG_DATA_HOME="$base/data" XDG_CONFIG_HOME="$base/config"
  status=0
  dbus-run-session -- "$0" "$@" || status=$?
  exit "$status"
fi

printf folvane-test | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
keyring=$!
trap 'kill "$keyring" 2>/dev/null; wait "$keyring" 2>/dev/null || true' EXIT
tries=0
until dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
  org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true; do
  tries=$((tries + 1))
  if [ "$tries" -ge 50 ]; then
    echo "keyring-session: the Secret Service did not start" >&2
    exit 1
  fi
  sleep 0.1
done
"$@"
