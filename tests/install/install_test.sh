#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop and an
# administrator get: the list of files, the desktop entry and the AppStream
# metadata as their validators see them, the service unit as systemd reads it,
# the installed client finding its translations from another working folder,
# both versions, the server's configuration file, and, where dpkg-deb exists,
# the two Debian packages.
#   install_test.sh BUILD_DIR PROJECT_VERSION
set -euo pipefail
build="$1"
version="$2"
id=org.folvane.Folvane

tmp="$(realpath "$(mktemp -d)")"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
root="$tmp/root"

echo "== install into $root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >"$tmp/install.log" ||
  { cat "$tmp/install.log"; fail "cmake --install"; }

sizes=(16 22 24 32 48 64 128 256)
expected=(
  usr/bin/folvane
  usr/bin/folvane-server
  usr/share/folvane/translations/widgets.qm
  usr/share/folvane/translations/qt_zh_CN.qm
  "usr/share/applications/$id.desktop"
  "usr/share/metainfo/$id.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$id.svg"
  usr/lib/systemd/system/folvane-server.service
  etc/folvane/server.conf
)
for size in "${sizes[@]}"; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
printf '%s\n' "${expected[@]}" | sort >"$tmp/expected"
(cd "$root" && find . -type f -printf '%P\n' | sort) >"$tmp/installed"
diff -u "$tmp/expected" "$tmp/installed" || fail "the installed files are not the expected ones"
cat "$tmp/installed"
# Each bitmap is as large as its folder says.
for size in "${sizes[@]}"; do
  got="$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "not a PNG")' \
    "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png")"
  [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
done

echo "== desktop entry"
desktop="$root/usr/share/applications/$id.desktop"
# Debian 12's validator (desktop-file-utils 0.26) knows desktop entries up to
# format 1.4; SingleMainWindow and Version=1.5 came with 1.5. It refuses only
# those two; any other complaint, error or hint, fails here.
complaints="$(desktop-file-validate "$desktop" 2>&1 |
  grep -v -e 'value "1.5" for key "Version" in group "Desktop Entry" is not a known version' \
    -e 'file contains key "SingleMainWindow" in group "Desktop Entry", but keys extending' || true)"
[ -z "$complaints" ] || fail "desktop-file-validate: $complaints"
for line in "Exec=folvane" "Icon=$id" "SingleMainWindow=true" "StartupWMClass=folvane"; do
  grep -qx "$line" "$desktop" || fail "the desktop entry lacks $line"
done
grep -q '^Name\[zh_CN\]=' "$desktop" || fail "the desktop entry has no Chinese name"

echo "== AppStream metadata"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "appstreamcli validate"
# The metadata, its desktop entry and its icons together, as a software centre reads them.
appstreamcli validate-tree --no-net "$root/usr" || fail "appstreamcli validate-tree"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the metadata does not list version $version"

echo "== service unit"
unit="$root/usr/lib/systemd/system/folvane-server.service"
grep -qx 'ExecStart=/usr/bin/folvane-server --config /etc/folvane/server.conf' "$unit" ||
  fail "the unit starts something else: $(grep ExecStart "$unit")"
if command -v systemd-analyze >/dev/null 2>&1; then
  # The unit as installed, its program looked up in the DESTDIR (verify
  # checks that it can be executed).
  mkdir "$tmp/unit"
  sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$tmp/unit/folvane-server.service"
  out="$(systemd-analyze verify "$tmp/unit/folvane-server.service" 2>&1)" ||
    fail "systemd-analyze verify: $out"
  [ -z "$out" ] || fail "systemd-analyze verify: $out"
else
  echo "SKIP: no systemd-analyze here, the unit is not verified"
fi

echo "== versions"
# Neither needs a display for it.
got="$(env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/folvane" --version)"
[ "$got" = "folvane $version" ] || fail "folvane --version printed '$got'"
got="$("$root/usr/bin/folvane-server" --version)"
[ "$got" = "folvane-server $version" ] || fail "folvane-server --version printed '$got'"

echo "== translations of the installed client, started from another folder"
mkdir -p "$tmp/elsewhere" "$tmp/home"
check_translations() {
  (cd "$tmp/elsewhere" && HOME="$tmp/home" QT_QPA_PLATFORM=offscreen \
    "$root/usr/bin/folvane" --check-translations) 2>"$tmp/client.err" ||
    { cat "$tmp/client.err" >&2; fail "folvane --check-translations"; }
}
expect_line() {
  printf '%s\n' "$1" | grep -qxF "$2" || fail "expected the line '$2' in: $1"
}
share="$root/usr/share/folvane/translations"
out="$(check_translations)"
echo "$out"
expect_line "$out" "catalogue $share/widgets.qm"
expect_line "$out" "catalogue $share/qt_zh_CN.qm"
expect_line "$out" "button 确定"
# A catalogue in the working folder is found when the installation has none;
# Qt's own Chinese catalogue when the client has no copy of its own, and its
# buttons are then Chinese by Qt's catalogue alone.
mv "$share/widgets.qm" "$tmp/elsewhere/widgets.qm"
rm "$share/qt_zh_CN.qm"
out="$(check_translations)"
echo "$out"
expect_line "$out" "catalogue $tmp/elsewhere/widgets.qm"
rm "$tmp/elsewhere/widgets.qm"
out="$(check_translations)"
echo "$out"
qt_catalogue="$(printf '%s\n' "$out" | sed -n 's/^catalogue //p')"
case "$qt_catalogue" in
  "$root"/* | "") fail "Qt's own catalogue was not loaded: $out" ;;
  */qt_zh_CN.qm) ;;
  *) fail "unexpected catalogue $qt_catalogue" ;;
esac
expect_line "$out" "button 确定"

echo "== server configuration file"
# Starts the installed server with the arguments given, waits for its
# "listening on" line and stops it.
run_server() {
  "$root/usr/bin/folvane-server" "$@" >"$tmp/server.out" 2>"$tmp/server.err" &
  server_pid=$!
  for _ in $(seq 200); do
    if grep -q '^listening on 127\.0\.0\.1:[0-9]' "$tmp/server.out"; then
      kill "$server_pid"
      wait "$server_pid" || fail "the server did not stop cleanly: $(cat "$tmp/server.err")"
      server_pid=""
      return 0
    fi
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "the server did not listen: $(cat "$tmp/server.err")"
}
cat >"$tmp/server.conf" <<EOF
# a comment, and blanks around the keys and values

  listen =  127.0.0.1:0
data=$tmp/data-from-config
EOF
run_server --config "$tmp/server.conf"
[ -f "$tmp/data-from-config/folvane.db" ] || fail "the server did not use the configured data folder"
# The installed configuration, with the command line winning over it.
run_server --config "$root/etc/folvane/server.conf" --listen 127.0.0.1:0 --data "$tmp/data-from-options"
[ -f "$tmp/data-from-options/folvane.db" ] || fail "the command line did not win over the configuration"
printf 'listen = 127.0.0.1:0\nport = 8080\n' >"$tmp/bad.conf"
if "$root/usr/bin/folvane-server" --config "$tmp/bad.conf" >/dev/null 2>"$tmp/server.err"; then
  fail "a configuration with an unknown key was accepted"
fi
grep -qF "bad.conf:2: unknown key port" "$tmp/server.err" || fail "unclear complaint: $(cat "$tmp/server.err")"

echo "== Debian packages"
if ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "SKIP: no dpkg-deb here, no packages are built"
  exit 0
fi
# A stuck step fails here with its log rather than at the test's time-out.
timeout 420 cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack failed or took more than 7 minutes"; }
client_deb="$(ls "$tmp/pkg"/folvane_"$version"_*.deb)"
server_deb="$(ls "$tmp/pkg"/folvane-server_"$version"_*.deb)"
contents() { dpkg-deb -c "$1" | awk '{print $NF}' | sed 's|^\./||'; }
contents "$client_deb" >"$tmp/client.list"
contents "$server_deb" >"$tmp/server.list"
for f in "${expected[@]}"; do
  case "$f" in
    usr/bin/folvane-server | usr/lib/systemd/* | etc/*) list="$tmp/server.list" ;;
    *) list="$tmp/client.list" ;;
  esac
  grep -qxF "$f" "$list" || fail "$f is not in $(basename "$list" .list)'s package"
done

dpkg-deb --info "$client_deb"
dpkg-deb --info "$server_deb"
client_depends="$(dpkg-deb --field "$client_deb" Depends)"
server_depends="$(dpkg-deb --field "$server_deb" Depends)"
# Worked out by dpkg-shlibdeps from the programs' libraries.
for lib in libqt5core5a libqt5widgets5 libqt5network5 libcurl4; do
  printf '%s\n' "$client_depends" | grep -q "\b$lib\b" || fail "the client package does not depend on $lib"
done
for lib in adduser libsqlite3-0 libsodium23; do
  printf '%s\n' "$server_depends" | grep -q "\b$lib\b" || fail "the server package does not depend on $lib"
done
printf '%s\n' "$server_depends" | grep -q libqt5 && fail "the server package depends on Qt"

mkdir "$tmp/control"
dpkg-deb -e "$server_deb" "$tmp/control"
grep -q 'adduser --system' "$tmp/control/postinst" || fail "the server package creates no system user"
grep -qx /etc/folvane/server.conf "$tmp/control/conffiles" || fail "server.conf is no configuration file"
dpkg-deb -x "$server_deb" "$tmp/server-files"
grep -qx 'ExecStart=/usr/bin/folvane-server --config /etc/folvane/server.conf' \
  "$tmp/server-files/usr/lib/systemd/system/folvane-server.service" ||
  fail "the packaged unit starts something else"
echo "PASS"
