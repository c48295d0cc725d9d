#!/usr/bin/env bash
# The publish path of pre-encoded 720p30 H.264 (2.2 Mbit/s) + AAC: ours
# (RTMPPublishBench) beside `ffmpeg -re -i same.flv -c copy -f flv rtmp://...`,
# both to the same kind of loopback server that discards what it reads, in one run.
# Usage: bench/compare-publish.sh [build dir] [seconds]   (default build/default, 20)
set -euo pipefail
build=${1:-build/default}
seconds=${2:-20}
bench=$build/bench/RTMPPublishBench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
flv=$work/same.flv

ffmpeg -v error -f lavfi -i "testsrc2=size=1280x720:rate=30" -f lavfi -i "sine=frequency=440:sample_rate=48000" \
  -t "$seconds" -c:v libx264 -preset veryfast -tune zerolatency -profile:v baseline -level 3.1 -b:v 2200k \
  -maxrate 3300k -bufsize 3300k -g 60 -bf 0 -c:a aac -b:a 128k -ac 2 "$flv"
frames=$(ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$flv")

echo "== ours (RTMPPublishBench)"
RTMP_PUBLISH_BENCH_FLV=$flv "$bench" --benchmark_counters_tabular=true 2>/dev/null | grep -E "publish|Benchmark"

echo "== ffmpeg -re -i same.flv -c copy -f flv rtmp://..."
"$bench" --discarding-server > "$work/port" &
server=$!
while [ ! -s "$work/port" ]; do sleep 0.05; done
port=$(head -1 "$work/port")
/usr/bin/time -f "%e %U %S" -o "$work/time" \
  ffmpeg -v error -re -i "$flv" -c copy -f flv "rtmp://127.0.0.1:$port/live/bench"
wait "$server" || true
read -r wall user kernel < "$work/time"
awk -v frames="$frames" -v wall="$wall" -v user="$user" -v kernel="$kernel" 'BEGIN {
  printf "ffmpeg: %d frames in %.1f s, %.3f ms CPU per frame\n", frames, wall, (user + kernel) * 1000 / frames }'
