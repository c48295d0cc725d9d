# Sourced by scripts/demo, scripts/soak and bench/broadcast-vs-ffmpeg.sh: a
# local ingest, nginx with the RTMP module on a free loopback port, recording
# every publication to $1/record/<stream key>.flv.
#   start_ingest DIR   sets ingest_url (rtmp://127.0.0.1:PORT/live) and ingest_pid
#   stop_ingest        stops it and waits, so the recordings are complete

ingest_pid=""

start_ingest() {
  local dir=$1 port
  mkdir -p "$dir/record"
  # A port nothing answers on now.
  while :; do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
  done
  cat >"$dir/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;
daemon off;
master_process off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/nginx.log info;
events { worker_connections 64; }
rtmp { server {
  listen 127.0.0.1:$port;
  chunk_size 8192;
  application live { live on; record all; record_path $dir/record; }
} }
CONF
  /usr/sbin/nginx -p "$dir" -e "$dir/nginx.log" -c "$dir/nginx.conf" &
  ingest_pid=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  ingest_url="rtmp://127.0.0.1:$port/live"
}

stop_ingest() {
  [[ -n "$ingest_pid" ]] || return 0
  kill -QUIT "$ingest_pid" 2>/dev/null || true
  wait "$ingest_pid" 2>/dev/null || true
  ingest_pid=""
}
