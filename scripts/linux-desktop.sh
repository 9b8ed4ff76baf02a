#!/usr/bin/env bash
# Runs a command on a desktop of its own: Xvfb, a D-Bus session with its accessibility bus,
# openbox, and the GTK apps the real-application tests drive (gtk3-widget-factory, zenity
# --entry and --password). Everything it starts is stopped when the command ends.
# Exits 77 (a skip for ctest) when Xvfb or the apps are not installed.
set -euo pipefail

for program in Xvfb dbus-run-session openbox gtk3-widget-factory zenity; do
  command -v "$program" >/dev/null 2>&1 || { echo "skipped: $program is not installed"; exit 77; }
done
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "skipped: at-spi2-core is not installed"; exit 77; }

# Every process of this desktop carries this mark in its environment, so that the ones the
# buses start on their own (the accessibility bus and registry) are found and stopped too.
# The marked processes still alive, less this shell and the subshell asking (the scan's own
# short-lived processes have ended by the time their pids are checked).
marked() {
  local pids pid
  pids=$(grep -lasF "DORVEX_DESKTOP_ID=$1" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3 || true)
  for pid in $pids; do
    [ "$pid" != "$$" ] && [ "$pid" != "$BASHPID" ] && [ -e "/proc/$pid" ] && echo "$pid"
  done
  return 0
}
stop_marked() {
  local pid left
  for pid in $(marked "$1"); do kill "$pid" 2>/dev/null || true; done
  # Bounded: whatever has not ended after 3 seconds is killed.
  for _ in $(seq 30); do
    left=$(marked "$1")
    [ -z "$left" ] && return 0
    sleep 0.1
  done
  for pid in $left; do kill -KILL "$pid" 2>/dev/null || true; done
}

if [ "${DORVEX_DESKTOP_INNER:-}" != 1 ]; then
  DORVEX_DESKTOP_ID="$$-$RANDOM$RANDOM"
  export DORVEX_DESKTOP_ID
  # Sockets of this desktop's buses live in a folder of its own, not in the user's.
  runtime=$(mktemp -d)
  export XDG_RUNTIME_DIR="$runtime" XDG_CACHE_HOME="$runtime/cache" XDG_CONFIG_HOME="$runtime/config"
  # A display number nobody holds, chosen by Xvfb itself.
  display_file="$runtime/display"
  Xvfb -displayfd 4 -screen 0 1920x1080x24 -nolisten tcp 4>"$display_file" >/dev/null 2>&1 &
  xvfb=$!
  # Under errexit a failing command in the trap would end it early: Xvfb is usually gone already.
  trap 'stop_marked "$DORVEX_DESKTOP_ID"; kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$runtime"' EXIT
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start"; exit 1; }
    sleep 0.05
  done
  [ -s "$display_file" ] || { echo "Xvfb gave no display"; exit 1; }
  export DISPLAY=":$(head -n1 "$display_file")"
  status=0
  DORVEX_DESKTOP_INNER=1 dbus-run-session -- bash "$0" "$@" || status=$?
  exit "$status"
fi

# Inside the session: the window manager and the apps; the session bus starts the
# accessibility bus when the first app asks for it.
export NO_AT_BRIDGE=0 GTK_A11Y=atspi GDK_BACKEND=x11 GTK_THEME=Adwaita
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
# openbox's own configuration, with the windows placed where the tests expect them: the entry
# dialog across the factory window's right edge (the factory is 1277 to 1366 wide, so they
# overlap and the dialog's right end stays clear whichever maps last), the password dialog
# clear of both.
config="$XDG_CONFIG_HOME/openbox-rc.xml"
mkdir -p "$XDG_CONFIG_HOME"
sed 's#<applications>#<applications>\
  <application title="gtk3-widget-factory"><position force="yes"><x>0</x><y>0</y></position></application>\
  <application title="Dorvex entry"><position force="yes"><x>1200</x><y>60</y></position></application>\
  <application title="Dorvex password"><position force="yes"><x>1500</x><y>500</y></position></application>#' \
  /etc/xdg/openbox/rc.xml >"$config"
openbox --sm-disable --config-file "$config" >/dev/null 2>&1 &
pids+=($!)
# Each app in the order the tests expect; their windows are waited for by the tests.
gtk3-widget-factory >/dev/null 2>&1 &
pids+=($!)
export DORVEX_TEST_FACTORY_PID=${pids[-1]}
zenity --entry --title="Dorvex entry" --text="Name" >/dev/null 2>&1 &
pids+=($!)
export DORVEX_TEST_ENTRY_PID=${pids[-1]}
zenity --password --title="Dorvex password" >/dev/null 2>&1 &
pids+=($!)
export DORVEX_TEST_PASSWORD_PID=${pids[-1]}
"$@"
