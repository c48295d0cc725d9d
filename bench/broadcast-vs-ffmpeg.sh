#!/usr/bin/env bash
# The same 720p30 synthetic picture and tone, broadcast for N seconds (default
# 60) to one local ingest, in one run: by our broadcast service with the
# extension, and by ffmpeg with libx264 at the broadcast's settings. Prints
# the CPU seconds and peak RSS of each and our share of ffmpeg's, with the
# machine's load before and after (CPU seconds grow on a busy machine).
# Usage: bench/broadcast-vs-ffmpeg.sh [seconds] [build dir]   (default 60, build/default)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${2:-build/default}
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config
source scripts/ingest.sh
trap stop_ingest EXIT
start_ingest "$work/ingest"
load_before=$(cut -d' ' -f1 /proc/loadavg)

printf '%s\n%s\n' "$ingest_url" ours | "$build/TarvelPortalBroadcast/arm-broadcast"
/usr/bin/time -f "%U %S %M" -o "$work/ours" \
  "$build/Platform/ReplayKit/broadcast-service" --seconds "$seconds" --video synthetic --audio synthetic \
  --no-microphone "$build/TarvelPortalBroadcast/TarvelPortalBroadcast.so" >/dev/null

/usr/bin/time -f "%U %S %M" -o "$work/ffmpeg" \
  ffmpeg -nostdin -v error -re -f lavfi -i "testsrc2=size=1280x720:rate=30" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$seconds" \
    -c:v libx264 -preset veryfast -tune zerolatency -profile:v baseline -level 3.1 -pix_fmt yuv420p \
    -b:v 2200k -maxrate 3300k -bufsize 3300k -g 60 -bf 0 \
    -c:a aac -b:a 128k -ac 2 -f flv "$ingest_url/ffmpeg"
stop_ingest
load_after=$(cut -d' ' -f1 /proc/loadavg)

read -r ours_user ours_kernel ours_rss <"$work/ours"
read -r ff_user ff_kernel ff_rss <"$work/ffmpeg"
awk -v s="$seconds" -v ou="$ours_user" -v ok="$ours_kernel" -v orss="$ours_rss" \
    -v fu="$ff_user" -v fk="$ff_kernel" -v frss="$ff_rss" -v lb="$load_before" -v la="$load_after" 'BEGIN {
  printf "%s s of 1280x720 at 30 fps with AAC 128 kbit/s to one local ingest\n", s
  printf "ours:   %6.2f CPU s, peak RSS %6.1f MB\n", ou + ok, orss / 1024
  printf "ffmpeg: %6.2f CPU s, peak RSS %6.1f MB\n", fu + fk, frss / 1024
  printf "ours / ffmpeg: CPU %.2fx, peak RSS %.2fx\n", (ou + ok) / (fu + fk), orss / frss
  printf "load average: %s before, %s after\n", lb, la }'
rm -rf "$work"
