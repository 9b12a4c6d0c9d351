#!/usr/bin/env bash
# Downloads and uploads one file (1 GiB by default, BENCH_MIB to change) with
# curl over loopback, against folvane-server and against nginx serving the
# same file and accepting the same multipart body into a file, and measures
# the single-core MD5 rate of `openssl speed md5` (the work an upload must do
# at least). The runs alternate (BENCH_ROUNDS rounds, 5 by default); each
# figure is min / median / max, the ratios are of medians. The server's peak
# memory is measured around each upload (the kernel's high-water mark is
# reset just before it), and so is its CPU time, which the machine's other
# load does not change: set against the MD5's own CPU time per GiB, it shows
# what else an upload costs.
set -euo pipefail

server_bin="${1:?usage: server_bench.sh PATH/TO/folvane-server}"
mib="${BENCH_MIB:-1024}"
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"
[ -x "$nginx_bin" ] || { echo "nginx is missing: run scripts/setup-deps.sh" >&2; exit 1; }

work="$(mktemp -d /tmp/folvane-bench-XXXXXX)"
server_pid=""
nginx_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

echo "preparing a ${mib} MiB file..."
mkdir -p "$work/www" "$work/nginx/tmp" "$work/nginx/body"
head -c "$((mib * 1024 * 1024))" /dev/urandom > "$work/www/bench.bin"

# folvane-server with the demo data; the file goes into admin's net disk.
"$server_bin" --data "$work/data" --listen 127.0.0.1:0 --seed demo \
  > "$work/server.out" 2> "$work/server.err" &
server_pid=$!
for _ in $(seq 100); do grep -q listening "$work/server.out" 2>/dev/null && break; sleep 0.1; done
port="$(sed -n 's/^listening on 127.0.0.1://p' "$work/server.out")"
base="http://127.0.0.1:$port"
token="$(curl -s -d 'username=admin&password=admin123' "$base/api/user/login.jf" |
  python3 -c 'import json,sys; print(json.load(sys.stdin)["data"]["token"])')"

# nginx: serves the folder, and reads upload bodies into files before
# answering (client_body_in_file_only), as the server does.
nport="$(free_port)"
bport="$(free_port)"
# Workers read the file and write bodies as the user that runs the benchmark.
nginx_user=""
[ "$(id -u)" -eq 0 ] && nginx_user="user root;"
cat > "$work/nginx/nginx.conf" <<CONF
$nginx_user
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/tmp;
  fastcgi_temp_path $work/nginx/tmp;
  uwsgi_temp_path $work/nginx/tmp;
  scgi_temp_path $work/nginx/tmp;
  server {
    listen 127.0.0.1:$nport;
    root $work/www;
    location = /upload {
      client_max_body_size 0;
      client_body_in_file_only clean;
      client_body_buffer_size 1m;
      proxy_pass_request_body off;
      proxy_set_header Content-Length "";
      proxy_pass http://127.0.0.1:$bport/done;
    }
  }
  server {
    listen 127.0.0.1:$bport;
    location = /done { return 200 '{"code":0}'; }
  }
}
CONF
"$nginx_bin" -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$nport/" && break; sleep 0.1; done

speed() { python3 -c "print(f'{$1 / 1048576:.1f}')"; }
rounds="${BENCH_ROUNDS:-5}"
reset_peak() { echo 5 > "/proc/$server_pid/clear_refs"; }
# The server's CPU time so far (user + system), in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$server_pid/stat"; }
tick="$(getconf CLK_TCK)"
peak_mib() { awk '/VmHWM/ {printf "%.1f", $2 / 1024}' "/proc/$server_pid/status"; }
# Single-core MD5 rate in bytes/s, from the 16 KiB column of openssl speed.
md5_rate() {
  openssl speed -seconds 2 -bytes 16384 md5 2>/dev/null |
    awk '/^md5/ {v=$NF; sub(/k$/, "", v); printf "%.0f", v * 1000}'
}
upload_folvane() {
  curl -s -H 'Expect:' -o "$work/up.json" -w '%{speed_upload}' \
    -F "token=$token" -F pid=0 -F uploadType=2 -F "file=@$work/www/bench.bin" "$base/api/netdisk/upload.jf"
  grep -q '"code":0' "$work/up.json" || { echo "upload failed: $(cat "$work/up.json")" >&2; exit 1; }
}
upload_nginx() {
  curl -s -f -H 'Expect:' -o /dev/null -w '%{speed_upload}' \
    -F "token=$token" -F pid=0 -F uploadType=2 -F "file=@$work/www/bench.bin" "http://127.0.0.1:$nport/upload"
}
download_folvane() {
  curl -s -f -o /dev/null -w '%{speed_download}' -d "token=$token&fileIds=$1" "$base/api/netdisk/download.jf"
}
download_nginx() {
  curl -s -f -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$nport/bench.bin"
}

# One upload first, for the id to download (and to warm the page cache).
upload_folvane > /dev/null
file_id="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["data"]["fileId"])' "$work/up.json")"

up_f=(); up_n=(); down_f=(); down_n=(); md5=(); peak=(); cpu=()
for round in $(seq "$rounds"); do
  echo "round $round of $rounds..."
  md5+=("$(md5_rate)")
  reset_peak
  before="$(cpu_ticks)"
  up_f+=("$(upload_folvane)")
  cpu+=("$(python3 -c "print(($(cpu_ticks) - $before) / $tick / ($mib / 1024))")")
  peak+=("$(peak_mib)")
  up_n+=("$(upload_nginx)")
  down_f+=("$(download_folvane "$file_id")")
  down_n+=("$(download_nginx)")
done

stats() { # min / median / max of the arguments, in MiB/s (or as they are with "raw")
  python3 - "$@" <<'PY'
import sys, statistics
raw = sys.argv[1] == "raw"
v = sorted(float(x) for x in sys.argv[2:])
f = (lambda x: x) if raw else (lambda x: x / 1048576)
print(f"{f(v[0]):9.1f} / {f(v[len(v) // 2]):9.1f} / {f(v[-1]):9.1f}")
PY
}
median() { python3 -c "import sys; v=sorted(float(x) for x in sys.argv[1:]); print(v[len(v)//2])" "$@"; }
ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }

echo
echo "file size ${mib} MiB; min / median / max of ${rounds} alternating runs"
echo "upload folvane-server:        $(stats mib "${up_f[@]}") MiB/s"
echo "upload nginx:                 $(stats mib "${up_n[@]}") MiB/s"
echo "openssl speed md5 (1 core):   $(stats mib "${md5[@]}") MiB/s"
echo "download folvane-server:      $(stats mib "${down_f[@]}") MiB/s"
echo "download nginx:               $(stats mib "${down_n[@]}") MiB/s"
echo "server peak memory in upload: $(stats raw "${peak[@]}") MiB"
echo "server CPU per GiB uploaded:  $(stats raw "${cpu[@]}") s (MD5 alone: $(python3 -c "print(f'{1073741824 / $(median "${md5[@]}"):.2f}')") s)"
echo "upload / MD5 rate:            $(ratio "$(median "${up_f[@]}")" "$(median "${md5[@]}")") (goal >= 0.6)"
echo "upload / nginx upload:        $(ratio "$(median "${up_f[@]}")" "$(median "${up_n[@]}")")"
echo "download / nginx:             $(ratio "$(median "${down_f[@]}")" "$(median "${down_n[@]}")") (goal >= 0.9)"
