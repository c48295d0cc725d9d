#!/usr/bin/env bash
# 720p BGRA to H.264 at the broadcast's settings: our encoder (VideoEncodeBench,
# BGRA case) beside ffmpeg with libx264 on the same 300 frames, in one run.
# Usage: bench/compare-bgra-encode.sh [build dir]   (default build/default)
set -euo pipefail
build=${1:-build/default}
bench=$build/bench/VideoEncodeBench
frames=$(mktemp --suffix=.bgra)
trap 'rm -f "$frames"' EXIT
"$bench" --write-bgra-frames="$frames"

echo "== ours (VideoEncodeBench, BGRA)"
"$bench" --benchmark_filter=BGRA --benchmark_counters_tabular=true 2>/dev/null | grep -E "encode720p|Benchmark"

echo "== ffmpeg libx264, same settings (veryfast, zerolatency, baseline 3.1, 2.2 Mbit/s, 3.3 Mbit/s cap, GOP 60)"
# 30 distinct pictures looped to 300 frames, as the bench cycles them.
/usr/bin/time -f "%e %U %S" -o "$frames.time" \
  ffmpeg -v error -stream_loop 9 -f rawvideo -pix_fmt bgra -s 1280x720 -r 30 -i "$frames" \
    -sws_flags bilinear -pix_fmt yuv420p -c:v libx264 -preset veryfast -tune zerolatency -profile:v baseline -level 3.1 \
    -b:v 2200k -maxrate 3300k -bufsize 3300k -g 60 -bf 0 -forced-idr 1 -f null -
read -r wall user kernel < "$frames.time"
rm -f "$frames.time"
awk -v wall="$wall" -v user="$user" -v kernel="$kernel" 'BEGIN {
  printf "ffmpeg: %.2f ms wall per frame (%.1f fps), %.2f ms CPU per frame\n",
         wall * 1000 / 300, 300 / wall, (user + kernel) * 1000 / 300 }'
