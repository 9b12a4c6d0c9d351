#!/usr/bin/env bash
# Downloads and uploads one file (1 GiB by default, BENCH_MIB to change) with
# curl over loopback, against folvane-server and against nginx serving the
# same file and accepting the same multipart body into a file. Prints both
# throughputs, their ratios and the server's peak resident memory.
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

echo "uploading to folvane-server..."
up_f="$(curl -s -H 'Expect:' -o "$work/up.json" -w '%{speed_upload}' \
  -F "token=$token" -F pid=0 -F uploadType=2 -F "file=@$work/www/bench.bin" "$base/api/netdisk/upload.jf")"
grep -q '"code":0' "$work/up.json" || { echo "upload failed: $(cat "$work/up.json")" >&2; exit 1; }
file_id="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["data"]["fileId"])' "$work/up.json")"

echo "uploading to nginx..."
up_n="$(curl -s -f -H 'Expect:' -o /dev/null -w '%{speed_upload}' \
  -F "token=$token" -F pid=0 -F uploadType=2 -F "file=@$work/www/bench.bin" "http://127.0.0.1:$nport/upload")"

echo "downloading from folvane-server..."
down_f="$(curl -s -f -o /dev/null -w '%{speed_download}' -d "token=$token&fileIds=$file_id" "$base/api/netdisk/download.jf")"
echo "downloading from nginx..."
down_n="$(curl -s -f -o /dev/null -w '%{speed_download}' "http://127.0.0.1:$nport/bench.bin")"

rss_kib="$(awk '/VmHWM/ {print $2}' "/proc/$server_pid/status")"

echo
echo "file size:                 ${mib} MiB"
echo "download folvane-server:   $(speed "$down_f") MiB/s"
echo "download nginx:            $(speed "$down_n") MiB/s"
echo "download ratio:            $(python3 -c "print(f'{$down_f / $down_n:.2f}')") (goal >= 0.80)"
echo "upload folvane-server:     $(speed "$up_f") MiB/s"
echo "upload nginx:              $(speed "$up_n") MiB/s"
echo "upload ratio:              $(python3 -c "print(f'{$up_f / $up_n:.2f}')")"
echo "server peak RSS:           $((rss_kib / 1024)) MiB"
