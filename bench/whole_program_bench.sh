#!/usr/bin/env bash
# bench/whole_program_bench.sh PLAYER [SECONDS] — the whole program against a general player in the same run:
# movara-player and `mpv --vo=x11 --ao=null` each play the same H.264 movie (1080p25, then 1080p60) on one
# Xvfb display; for each: CPU seconds per second of playback, peak resident memory, and the ratios.
# Prints "ratio ..." lines for scripts/bench's summary.
set -euo pipefail
player=${1:?usage: whole_program_bench.sh PLAYER [SECONDS]}
seconds=${2:-8}
script=$(dirname "$player")/movara-script
if ! command -v mpv >/dev/null; then
  apt-get install -y mpv >/dev/null 2>&1 || { echo "mpv is not available: whole-program ratios skipped"; exit 0; }
fi
work=$(mktemp -d)
xvfb=
cleanup() {
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
for n in $(seq 70 99); do
  [[ -e /tmp/.X$n-lock ]] && continue
  Xvfb ":$n" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  if kill -0 "$xvfb" 2>/dev/null; then export DISPLAY=":$n"; break; fi
  xvfb=
done
[[ -n $xvfb ]] || { echo "no free X display"; exit 1; }

# CPU seconds (user + system, all threads) of a process so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$1/stat"; }
peak() { awk '/VmHWM/ { print $2 }' "/proc/$1/status"; }

# measure NAME PID: CPU per second of playback over $seconds, after a second of settling.
measure() {
  sleep 1
  local a b
  a=$(cpu "$2")
  sleep "$seconds"
  b=$(cpu "$2")
  echo "$1 $(awk -v a="$a" -v b="$b" -v s="$seconds" 'BEGIN { printf "%.3f", (b - a) / s }') $(peak "$2")"
}

results=()
for fps in 25 60; do
  movie=$work/hd$fps.mp4
  ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=$fps:duration=$((seconds + 6))" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -y "$movie"

  "$player" "$movie" >"$work/player.log" 2>&1 &
  pid=$!
  for _ in $(seq 50); do
    "$script" count 'movies[*]' 2>/dev/null | grep -q '^[1-9]' && break
    sleep 0.2
  done
  "$script" do play 'movies[1]' >/dev/null
  ours=$(measure "movara-player_1080p$fps" "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true

  mpv --no-config --vo=x11 --ao=null --no-audio --really-quiet --geometry=0:0 "$movie" &
  pid=$!
  peer=$(measure "mpv_1080p$fps" "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true

  echo "$ours" | awk '{ printf "%-24s %6.3f CPU s/s  peak %7.1f MB\n", $1, $2, $3 / 1024 }'
  echo "$peer" | awk '{ printf "%-24s %6.3f CPU s/s  peak %7.1f MB\n", $1, $2, $3 / 1024 }'
  read -r _ oc om <<<"$ours"
  read -r _ pc pm <<<"$peer"
  results+=("ratio playback_1080p${fps}: CPU time ours/mpv = $(awk -v a="$oc" -v b="$pc" 'BEGIN { printf "%.2f", a / b }')")
  results+=("ratio playback_1080p${fps}: peak memory ours/mpv = $(awk -v a="$om" -v b="$pm" 'BEGIN { printf "%.2f", a / b }')")
done
printf '%s\n' "${results[@]}"
