#!/usr/bin/env bash
# The run command: installs what is missing, builds what changed, starts the controller
# simulator on a free port of the loopback address and the program on a working copy of the
# demo data file (run/kavro.dat, outside the tracked files) whose link is set to "RaViz" on the
# simulator's port. The simulator stops when the program's window closes. Without a display the
# program runs off-screen instead: its three tabs are clicked through and saved as PNG files.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${KAVRO_BUILD_DIR:-build}  # another build tree may be named
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target kavro kavro-sim kavro-cli kavro-shots
bin=$build/bin

mkdir -p run
[ -f run/kavro.dat ] || cp demo/kavro-demo.dat run/kavro.dat

# The simulator prints its address as its first line.
rm -f run/sim.out
"$bin"/kavro-sim --tcp 127.0.0.1:0 --log run/sim.log >run/sim.out &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 200); do
  [ -s run/sim.out ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.05
done
address=$(head -n 1 run/sim.out 2>/dev/null || true)
port=${address##*:}
if [ -z "$address" ] || [ -z "$port" ]; then
  echo "run: the controller simulator did not start (see run/sim.log)" >&2
  exit 1
fi

# The port changes every run; the copy always gets the current one.
"$bin"/kavro-cli --data run/kavro.dat set COMMON COM 6 >/dev/null
"$bin"/kavro-cli --data run/kavro.dat set Lan Port "$port" >/dev/null
echo "run: controller simulator on $address (log run/sim.log), data file run/kavro.dat"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$bin"/kavro run/kavro.dat
else
  echo "run: no display (DISPLAY and WAYLAND_DISPLAY are unset), so the program runs off-screen and its three tabs are saved as screenshots:"
  QT_QPA_PLATFORM=offscreen "$bin"/kavro-shots --data run/kavro.dat --out run/screenshots
fi
