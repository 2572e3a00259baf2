#!/usr/bin/env bash
# bench/whole_program_bench.sh PLAYER [SECONDS [FORMATS]] — the whole program against a general player in the same run:
# movara-player and `mpv --vo=x11 --ao=null` each open and play the same H.264 movie (1080p25, 1080p60,
# then 2160p30) on one Xvfb display. For each: the time from starting the program to its window showing
# the movie, CPU seconds per second of playback (all threads), peak resident memory and the pictures
# dropped (ours by the playback's own count, from its playback profile; mpv's by its frame-drop
# properties), and the ratios. Prints "ratio ..." lines for scripts/bench's summary. FORMATS picks the
# movies, as WIDTHxHEIGHT:RATE words ("3840x2160:30" plays only the 4K one).
set -euo pipefail
player=${1:?usage: whole_program_bench.sh PLAYER [SECONDS [FORMATS]]}
seconds=${2:-8}
formats=${3:-1920x1080:25 1920x1080:60 3840x2160:30}
script=$(dirname "$player")/movara-script
if ! command -v mpv >/dev/null; then
  apt-get install -y mpv >/dev/null 2>&1 || { echo "mpv is not available: whole-program ratios skipped"; exit 0; }
fi
work=$(mktemp -d)
xvfb=
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
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

now() { date +%s.%N; }
# CPU seconds (user + system, all threads) of a process so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$1/stat"; }
peak() { awk '/VmHWM/ { print $2 }' "/proc/$1/status"; }
# Seconds from START until a viewable window whose name holds NAME is on the display (99 when none came).
shown() {
  local start=$1 name=$2 id
  for _ in $(seq 500); do
    for id in $(xwininfo -root -tree 2>/dev/null | grep -F "\"$name" | awk '{ print $1 }'); do
      if xwininfo -id "$id" 2>/dev/null | grep -q 'IsViewable'; then
        awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'
        return
      fi
    done
    sleep 0.01
  done
  echo 99
}
# CPU per second of playback over $seconds, after a second of settling.
measure() {
  sleep 1
  local a b
  a=$(cpu "$1")
  sleep "$seconds"
  b=$(cpu "$1")
  awk -v a="$a" -v b="$b" -v s="$seconds" 'BEGIN { printf "%.3f", (b - a) / s }'
}
# One property of the mpv listening on socket $1.
mpvProperty() {
  python3 - "$1" "$2" <<'EOF'
import json, socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall((json.dumps({"command": ["get_property", sys.argv[2]]}) + "\n").encode())
data = b""
while b"\n" not in data:
    data += s.recv(4096)
for line in data.decode().splitlines():
    reply = json.loads(line)
    if "error" in reply:
        print(reply.get("data") or 0)
        break
EOF
}

results=()
for format in $formats; do
  size=${format%:*}
  fps=${format#*:}
  label=$([[ $size == 1920x1080 ]] && echo "1080p$fps" || echo "2160p$fps")
  movie=$work/movie$label.mp4
  ffmpeg -v error -f lavfi -i "testsrc2=size=$size:rate=$fps:duration=$((seconds + 6))" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -y "$movie"

  # Ours: the playback profile counts the pictures from the play to the stop, then ends the program.
  results_plist=$work/profile$label.plist
  start=$(now)
  MVPLAYERPLAYBACKPROFILE=1 MVPLAYERPLAYBACKRESULTSPATH=$results_plist "$player" "$movie" >"$work/player.log" 2>&1 &
  pid=$!
  open_ours=$(shown "$start" "movie$label")
  for _ in $(seq 50); do
    "$script" count 'movies[*]' 2>/dev/null | grep -q '^[1-9]' && break
    sleep 0.2
  done
  "$script" do play 'movies[1]' >/dev/null
  cpu_ours=$(measure "$pid")
  mem_ours=$(peak "$pid")
  "$script" do stop 'movies[1]' >/dev/null 2>&1 || true
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
  dropped_ours=$(python3 -c 'import plistlib, sys
try:
    d = plistlib.load(open(sys.argv[1], "rb"))
    print(d.get("playback_frames_dropped", "?"))
except Exception:
    print("?")' "$results_plist")

  start=$(now)
  mpv --no-config --vo=x11 --ao=null --no-audio --really-quiet --geometry=0:0 --autofit-larger=100%x100% \
    --input-ipc-server="$work/mpv.sock" "$movie" &
  pid=$!
  open_mpv=$(shown "$start" "movie$label")
  cpu_mpv=$(measure "$pid")
  mem_mpv=$(peak "$pid")
  dropped_mpv=$(( $(mpvProperty "$work/mpv.sock" frame-drop-count || echo 0) + $(mpvProperty "$work/mpv.sock" decoder-frame-drop-count || echo 0) ))
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=

  printf '%-24s %6.3f CPU s/s  peak %7.1f MB  open %6.3f s  dropped %s\n' "movara-player_$label" "$cpu_ours" \
    "$(awk -v m="$mem_ours" 'BEGIN { print m / 1024 }')" "$open_ours" "$dropped_ours"
  printf '%-24s %6.3f CPU s/s  peak %7.1f MB  open %6.3f s  dropped %s\n' "mpv_$label" "$cpu_mpv" \
    "$(awk -v m="$mem_mpv" 'BEGIN { print m / 1024 }')" "$open_mpv" "$dropped_mpv"
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
  results+=("ratio playback_$label: CPU time ours/mpv = $(ratio "$cpu_ours" "$cpu_mpv") ($cpu_ours vs $cpu_mpv s/s)")
  results+=("ratio playback_$label: peak memory ours/mpv = $(ratio "$mem_ours" "$mem_mpv") ($((mem_ours / 1024)) vs $((mem_mpv / 1024)) MB)")
  results+=("ratio playback_$label: open to picture ours/mpv = $(ratio "$open_ours" "$open_mpv") ($open_ours vs $open_mpv s)")
  results+=("ratio playback_$label: dropped pictures ours, mpv = $dropped_ours, $dropped_mpv")
done
printf '%s\n' "${results[@]}"
