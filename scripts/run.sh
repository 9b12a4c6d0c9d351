#!/usr/bin/env bash
# Builds the client and the server (release), starts folvane-server with the
# demo data over HTTPS on a loopback port (with a certificate of a private
# demo CA made here once), points the client's settings at it when they name
# no server yet, and starts the client from the folder that holds its
# translations. The server stops when the client exits.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

./scripts/setup-deps.sh

build="$root/build-release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target folvane folvane-server

# The demo data lives outside the build folder, so it survives rebuilds and
# later runs find the files they uploaded.
demo="${XDG_DATA_HOME:-$HOME/.local/share}/folvane-demo"
mkdir -p "$demo"
log="$demo/server.log"
port_file="$demo/last-port"
previous_port="$(cat "$port_file" 2>/dev/null || true)"

# A private demo CA and a server certificate it signs for 127.0.0.1 and
# localhost, made once: the client trusts the CA through its settings, so the
# demo signs in over HTTPS without asking. The CA is kept for good (settings
# name it); the server certificate is made again when it runs out.
tls="$demo/tls"
ca_pem="$tls/ca.pem"
make_demo_certificates() {
  (
    umask 077
    mkdir -p "$tls"
    chmod 700 "$tls"
    if [ ! -s "$ca_pem" ] || [ ! -s "$tls/ca.key" ]; then
      openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
        -keyout "$tls/ca.key" -out "$ca_pem" -days 3650 -subj "/CN=Folvane Demo CA" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" >/dev/null 2>&1
      rm -f "$tls/server.pem"
    fi
    if [ ! -s "$tls/server.pem" ] || [ ! -s "$tls/server.key" ] ||
      ! openssl x509 -in "$tls/server.pem" -noout -checkend 86400 >/dev/null 2>&1; then
      printf '%s\n' "subjectAltName=IP:127.0.0.1,DNS:localhost" "basicConstraints=CA:FALSE" \
        "keyUsage=critical,digitalSignature" "extendedKeyUsage=serverAuth" >"$tls/server.ext"
      openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
        -keyout "$tls/server.key" -out "$tls/server.csr" -subj "/CN=127.0.0.1" >/dev/null 2>&1
      openssl x509 -req -in "$tls/server.csr" -CA "$ca_pem" -CAkey "$tls/ca.key" \
        -CAcreateserial -days 825 -extfile "$tls/server.ext" -out "$tls/server.pem" \
        >/dev/null 2>&1
      rm -f "$tls/server.csr"
    fi
  )
}
if ! make_demo_certificates; then
  echo "openssl could not make the demo certificates in $tls" >&2
  exit 1
fi

server_pid=""
stop_server() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
}
trap stop_server EXIT
trap 'exit 130' INT TERM

# Starts the server on 127.0.0.1:$1 and sets $server_port once it listens;
# returns non-zero when it exits or stays silent.
start_server() {
  : >"$log"
  "$build/bin/folvane-server" --data "$demo/data" --listen "127.0.0.1:$1" --seed demo \
    --tls-cert "$tls/server.pem" --tls-key "$tls/server.key" >"$log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 300); do
    if line="$(grep -m1 -o 'listening on [0-9.]*:[0-9]*' "$log")"; then
      server_port="${line##*:}"
      return 0
    fi
    if ! kill -0 "$server_pid" 2>/dev/null; then
      wait "$server_pid" 2>/dev/null || true
      server_pid=""
      return 1
    fi
    sleep 0.1
  done
  stop_server
  server_pid=""
  return 1
}

# The port of the last run first, so settings written then stay right; any
# free port when it is taken.
server_port=""
if ! { [ -n "$previous_port" ] && start_server "$previous_port"; }; then
  if ! start_server 0; then
    echo "folvane-server did not start; its output:" >&2
    cat "$log" >&2
    exit 1
  fi
fi
echo "$server_port" >"$port_file"

# The client's settings: "host" ("https://127.0.0.1"), "port" and "caFile"
# (the demo CA) are written when no server is set, or when they still name the
# demo server of an earlier run (also one from before the demo spoke HTTPS,
# written as the bare host "127.0.0.1"). Anything else the user configured is
# left alone. The file stays owner-only.
settings_dir="$HOME/folvane/data"
mkdir -p "$settings_dir"
chmod 700 "$HOME/folvane" "$settings_dir" 2>/dev/null || true
(
  umask 077
  perl -MJSON::PP -e '
    my ($file, $port, $previous, $ca) = @ARGV;
    my $settings = {};
    if (open my $in, "<", $file) {
      local $/;
      my $text = <$in>;
      close $in;
      my $parsed = eval { JSON::PP->new->decode($text) };
      $settings = $parsed if ref $parsed eq "HASH";
    }
    my $host = $settings->{host};
    my $old = $settings->{port};
    my $unset = !defined $host || !defined $old || $host eq "" || $old eq "";
    my $ours = defined $host && ($host eq "https://127.0.0.1" || $host eq "127.0.0.1")
               && defined $old && $previous ne "" && "$old" eq $previous;
    if (!$unset && !$ours) {
      print "The client is set to use the server $host:$old (left unchanged).\n";
      exit 0;
    }
    $settings->{host} = "https://127.0.0.1";
    $settings->{port} = "$port";
    $settings->{caFile} = $ca;
    my $tmp = "$file.tmp$$";
    open my $out, ">", $tmp or die "cannot write $tmp: $!\n";
    print $out JSON::PP->new->pretty->canonical->encode($settings);
    close $out or die "cannot write $tmp: $!\n";
    chmod 0600, $tmp;
    rename $tmp, $file or die "cannot replace $file: $!\n";
  ' "$settings_dir/setting.json" "$server_port" "$previous_port" "$ca_pem"
)
[ -f "$settings_dir/setting.json" ] && chmod 600 "$settings_dir/setting.json"

cat <<EOF
folvane-server is running on https://127.0.0.1:$server_port with the demo data ($demo/data).
Its certificate comes from the demo CA $ca_pem, which the client trusts
through its settings; a browser opening an external link asks about it
unless that CA is imported into it.
Sign in with the demo account:
  账号 admin      密码 admin123   (administrator)
  账号 zhangsan   密码 123456
  账号 lisi       密码 123456
EOF

cd "$build/bin"
status=0
./folvane "$@" || status=$?
exit "$status"
