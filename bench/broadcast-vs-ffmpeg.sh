#!/usr/bin/env bash
# The same 720p30 picture and tone, broadcast for N seconds (default 60) to
# one local ingest, in one run: by our broadcast service with the extension,
# and by ffmpeg with libx264 at the broadcast's settings. The picture is the
# synthetic one (ffmpeg: a test source), or with --x11 the screen of a virtual
# display at 1280x720 (ffmpeg: x11grab of the same display). Prints the CPU
# seconds and peak RSS of each and our share of ffmpeg's, with the machine's
# load before and after (CPU seconds grow on a busy machine).
# Usage: bench/broadcast-vs-ffmpeg.sh [--x11] [seconds] [build dir]   (default 60, build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
source=synthetic
if [[ "${1:-}" == --x11 ]]; then
  source=x11
  shift
fi
seconds=${1:-60}
build=${2:-build/default}
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config
source scripts/ingest.sh
display_pid=""
stop_all() {
  stop_ingest
  [[ -n "$display_pid" ]] || return 0
  kill "$display_pid" 2>/dev/null || true
  wait "$display_pid" 2>/dev/null || true
  display_pid=""
}
trap stop_all EXIT
start_ingest "$work/ingest"

if [[ $source == x11 ]]; then
  exec 3>"$work/display"
  /usr/bin/Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 2>/dev/null &
  display_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
  ours_video=(--video screen)
  ffmpeg_video=(-f x11grab -framerate 30 -video_size 1280x720 -i "$DISPLAY")
  # The grab keeps real time by itself; the tone must be held to it.
  ffmpeg_audio=(-re -f lavfi -i "sine=frequency=440:sample_rate=48000")
  picture="the X11 screen"
else
  ours_video=(--video synthetic)
  ffmpeg_video=(-re -f lavfi -i "testsrc2=size=1280x720:rate=30")
  ffmpeg_audio=(-f lavfi -i "sine=frequency=440:sample_rate=48000")
  picture="a synthetic picture"
fi
load_before=$(cut -d' ' -f1 /proc/loadavg)

printf '%s\n%s\n' "$ingest_url" ours | "$build/TarvelPortalBroadcast/arm-broadcast"
/usr/bin/time -f "%U %S %M" -o "$work/ours" \
  "$build/Platform/ReplayKit/broadcast-service" --seconds "$seconds" "${ours_video[@]}" --audio synthetic \
  --no-microphone "$build/TarvelPortalBroadcast/TarvelPortalBroadcast.so" >/dev/null

/usr/bin/time -f "%U %S %M" -o "$work/ffmpeg" \
  ffmpeg -nostdin -v error "${ffmpeg_video[@]}" "${ffmpeg_audio[@]}" -t "$seconds" \
    -c:v libx264 -preset veryfast -tune zerolatency -profile:v baseline -level 3.1 -pix_fmt yuv420p \
    -b:v 2200k -maxrate 3300k -bufsize 3300k -g 60 -bf 0 \
    -c:a aac -b:a 128k -ac 2 -f flv "$ingest_url/ffmpeg"
stop_all
load_after=$(cut -d' ' -f1 /proc/loadavg)

read -r ours_user ours_kernel ours_rss <"$work/ours"
read -r ff_user ff_kernel ff_rss <"$work/ffmpeg"
awk -v s="$seconds" -v p="$picture" -v ou="$ours_user" -v ok="$ours_kernel" -v orss="$ours_rss" \
    -v fu="$ff_user" -v fk="$ff_kernel" -v frss="$ff_rss" -v lb="$load_before" -v la="$load_after" 'BEGIN {
  printf "%s s of %s at 1280x720, 30 fps, with AAC 128 kbit/s to one local ingest\n", s, p
  printf "ours:   %6.2f CPU s, peak RSS %6.1f MB\n", ou + ok, orss / 1024
  printf "ffmpeg: %6.2f CPU s, peak RSS %6.1f MB\n", fu + fk, frss / 1024
  printf "ours / ffmpeg: CPU %.2fx, peak RSS %.2fx\n", (ou + ok) / (fu + fk), orss / frss
  printf "load average: %s before, %s after\n", lb, la }'
rm -rf "$work"
