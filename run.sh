#!/usr/bin/env bash
# Builds the programs of the release preset (not its tests and benchmarks, which ./test.sh and
# `cmake --build --preset release` build) and runs the main job: the operator program Vermalux,
# connected to a simulated camera device on this machine. Before the window opens, the organism
# finder is shown at work on a plate frame.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake --preset release
cmake --build --preset programs -j "$(nproc)"

bin="$PWD/build/release/bin"

echo
echo "== The organism finder on a plate frame"
"$bin/sirrex_demo" "$PWD/build/release/demo"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<'MSG'

== Vermalux needs a display
No display was found (DISPLAY and WAYLAND_DISPLAY are empty). Run ./run.sh from a desktop
session, or give it a virtual display:
    sudo apt-get install -y xvfb && xvfb-run -a ./run.sh
(and look at it with a VNC viewer, or take a screenshot with `import -window root`).
MSG
  exit 1
fi

echo
echo "== Starting the simulated camera device"
simlog="$PWD/build/release/devicesim.log"
coproc SIM { exec "$bin/devicesim" --port 0 --worms 20 --seed 1 --log "$simlog"; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
read -r first_line <&"${SIM[0]}"
address="${first_line#listening on }"
echo "Simulated camera device at $address (requests are logged to $simlog)"

# The program folder keeps the device address; a real device's address is never replaced.
ipfile="$bin/ipdata.dat"
saved=""
if [ -f "$ipfile" ]; then saved="$(head -n 1 "$ipfile" | tr -d '\r')"; fi
if [ -z "$saved" ] || [[ "$saved" == 127.0.0.1:* ]]; then
  printf '%s\r\n' "$address" > "$ipfile.tmp" && mv "$ipfile.tmp" "$ipfile"
else
  echo "The saved device address $saved is kept; type $address in the address box to use the simulator."
fi

echo "== Starting Vermalux"
"$bin/Vermalux"
