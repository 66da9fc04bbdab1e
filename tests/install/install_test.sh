#!/usr/bin/env bash
# The installed program, run as a user who cannot write where it is installed.
#
#   install_test.sh BUILD_DIR SAMPLE_SERVICE VERSION
#
# Installs BUILD_DIR into a temporary prefix and checks the installed files (the list, the icon
# sizes, the desktop entry, the AppStream metainfo, the man page), then makes the prefix read-only
# and, as an unprivileged user (made when absent; the current user when not run as root) with
# HOME and the XDG folders in a folder of that user's own:
#   - starts the program on the X display, against the sample service named by a service.ini in
#     the user's $XDG_CONFIG_HOME/zupictrove/, waits for its window and ends it with SIGTERM;
#     config.ini must then be in that user's $XDG_CONFIG_HOME/zupictrove/;
#   - runs `zupictrove --backup UIN --out DIR` without a display; the photos must land in
#     DIR/UIN/<album>/, the working folder in $XDG_CACHE_HOME/zupictrove/work/;
#   - checks the exit status of a backup whose album cannot be read (1) and of bad arguments (2).
# Needs an X display (CTest runs it under xvfb-run).
set -euo pipefail

if (($# != 3)); then
  echo "usage: $0 BUILD_DIR SAMPLE_SERVICE VERSION" >&2
  exit 2
fi
build=$1
service_bin=$2
version=$3

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
ok() {
  echo "ok: $*"
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zp-install.XXXXXX")
chmod 755 "$tmp"
service_pid=
program_pid=
cleanup() {
  local pid
  for pid in $program_pid $service_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# --- The installed files ---------------------------------------------------------------------

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log"; fail "cmake --install"; }

expected_files=(
  bin/zupictrove
  share/applications/zupictrove.desktop
  share/icons/hicolor/128x128/apps/zupictrove.png
  share/icons/hicolor/256x256/apps/zupictrove.png
  share/icons/hicolor/48x48/apps/zupictrove.png
  share/icons/hicolor/scalable/apps/zupictrove.svg
  share/man/man1/zupictrove.1.gz
  share/metainfo/zupictrove.metainfo.xml
  share/zupictrove/service.ini
  share/zupictrove/skin.dll
)
installed=$(cd "$prefix" && find . ! -type d | sed 's#^\./##' | LC_ALL=C sort)
diff -u <(printf '%s\n' "${expected_files[@]}" | LC_ALL=C sort) <(printf '%s\n' "$installed") ||
  fail "the installed files are not the expected ones"
ok "installed files"

[[ -x $prefix/bin/zupictrove ]] || fail "bin/zupictrove is not executable"
if readelf -d "$prefix/bin/zupictrove" | grep -qE 'R(UN)?PATH'; then
  fail "bin/zupictrove keeps a run path"
fi
cmp -s "$prefix/share/zupictrove/skin.dll" "$build/bin/skin.dll" ||
  fail "the installed skin.dll is not the built one"
ok "program and skin file"

for size in 48 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/zupictrove.png
  [[ $(od -An -tx1 -N8 "$png" | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "$png is not a PNG"
  read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$png")
  [[ $width == "$size" && $height == "$size" ]] || fail "$png is ${width}x${height}"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/zupictrove.svg" ||
  fail "the scalable icon is no SVG"
ok "icons at 48, 128, 256 px and scalable"

desktop=$prefix/share/applications/zupictrove.desktop
desktop-file-validate "$desktop" >"$tmp/desktop.log" 2>&1 ||
  { cat "$tmp/desktop.log"; fail "desktop-file-validate"; }
# The entry sits in two main categories on purpose (Network for the transfer, Graphics for the
# photos), which the validator mentions as a hint; anything else it says fails the test.
if grep -v ': hint: value "Network;FileTransfer;Graphics;" for key "Categories"' \
  "$tmp/desktop.log" | grep -q .; then
  cat "$tmp/desktop.log"
  fail "desktop-file-validate has remarks"
fi
grep -qx 'Exec=zupictrove' "$desktop" || fail "the desktop entry does not start zupictrove"
grep -qx 'Icon=zupictrove' "$desktop" || fail "the desktop entry does not name the icon"
ok "desktop entry"

metainfo=$prefix/share/metainfo/zupictrove.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" >"$tmp/metainfo.log" 2>&1 ||
  { cat "$tmp/metainfo.log"; fail "appstreamcli validate"; }
if grep -qE '^[EWIP]:' "$tmp/metainfo.log"; then
  cat "$tmp/metainfo.log"
  fail "appstreamcli validate has remarks"
fi
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo names no release $version"
grep -q '<launchable type="desktop-id">zupictrove.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not launch zupictrove.desktop"
ok "AppStream metainfo"

man_page=$prefix/share/man/man1/zupictrove.1.gz
gzip -t "$man_page" || fail "the man page is no gzip file"
gzip -dc "$man_page" >"$tmp/zupictrove.1"
man_warnings=$(preconv -e UTF-8 "$tmp/zupictrove.1" | groff -man -ww -z -Tutf8 2>&1) ||
  fail "groff cannot read the man page: $man_warnings"
[[ -z $man_warnings ]] || fail "groff warns about the man page: $man_warnings"
# Options are written with roff's \- in the page's source.
for word in '\-\-help' '\-\-version' '\-\-backup' '\-\-albums' '\-\-out' '\-\-connections' \
  config.ini service.ini XDG_CONFIG_HOME XDG_CACHE_HOME 'EXIT STATUS' "zupictrove $version"; do
  grep -qF -- "$word" "$tmp/zupictrove.1" || fail "the man page does not mention $word"
done
ok "man page"

# --- A user who cannot write the installed folder ----------------------------------------------

chmod -R a-w "$prefix"

if (($(id -u) == 0)); then
  user=zpinstalltest
  if ! id -u "$user" >/dev/null 2>&1; then
    useradd --system --user-group --no-create-home --home-dir /nonexistent \
      --shell /usr/sbin/nologin "$user" 2>"$tmp/useradd.log" ||
      id -u "$user" >/dev/null 2>&1 || { cat "$tmp/useradd.log"; fail "useradd $user"; }
  fi
  as_user=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups)
else
  user=$(id -un)
  as_user=()
fi

home=$tmp/home
mkdir -m 700 "$home"
chown "$user:" "$home"
config=$home/config
cache=$home/cache
user_env=(HOME="$home" XDG_CONFIG_HOME="$config" XDG_CACHE_HOME="$cache"
  XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" PATH=/usr/bin:/bin
  LANG="${LANG:-C.UTF-8}")
# A sanitizer build's options go along, with their suppression files copied where the user can
# read them.
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS G_SLICE G_DEBUG; do
  value=${!name:-}
  [[ -n $value ]] || continue
  if [[ $value =~ suppressions=([^:]+) && -r ${BASH_REMATCH[1]} ]]; then
    cp "${BASH_REMATCH[1]}" "$tmp/$name.supp"
    chmod 644 "$tmp/$name.supp"
    value=${value/"${BASH_REMATCH[1]}"/"$tmp/$name.supp"}
  fi
  user_env+=("$name=$value")
done
# Runs a command as the user, in the user's home, with the user's environment only (an array
# rather than a function, so that a background run's $! is the command's own process).
as_user+=(env -i -C "$home" "${user_env[@]}")

"${as_user[@]}" mkdir -p "$config/zupictrove" "$cache" "$home/data"
"${as_user[@]}" mkdir -m 700 "$home/runtime"
[[ $(stat -c %U "$config") == "$user" ]] || fail "the user's folders are not the user's"
if "${as_user[@]}" touch "$prefix/bin/probe" 2>/dev/null; then
  fail "$user can write the installed folder"
fi
ok "installed folder read-only for $user"

# --- The sample service ------------------------------------------------------------------------

fixtures=$tmp/fixtures
mkdir -p "$fixtures"/alist{1,2,3,4}
"$service_bin" --fixtures "$fixtures" --port 0 --exit-with-parent >"$tmp/service.log" 2>&1 &
service_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on \([0-9]*\)$/\1/p' "$tmp/service.log")
  [[ -n $port ]] && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1
done
[[ -n $port ]] || { cat "$tmp/service.log"; fail "the sample service did not start"; }

# serve_user UIN "ID NAME PHOTOS BYTES" ...: album list on server 1, photo lists on host p1. An
# album with BYTES "missing" has no photo list.
serve_user() {
  local uin=$1 list="" album id name photos bytes pics i
  shift
  mkdir -p "$fixtures/p1/photos/$uin"
  for album in "$@"; do
    read -r id name photos bytes <<<"$album"
    list+="<album><id>$id</id><name>$name</name><total>$photos</total></album>"
    [[ $bytes == missing ]] && continue
    pics=""
    for ((i = 0; i < photos; i++)); do
      pics+="<pic><name>photo$i</name><origin_url>http://img.photo.localhost:$port/img/$bytes/$i.jpg</origin_url></pic>"
    done
    printf '<?xml version="1.0"?><data>%s</data>' "$pics" >"$fixtures/p1/photos/$uin/$id.xml"
  done
  printf '<?xml version="1.0" encoding="UTF-8"?><data>%s</data>' "$list" \
    >"$fixtures/alist1/$uin.xml"
}
uin=30001
serve_user "$uin" "a1 Spring 3 1500" "a2 Beach 2 2500"
serve_user 30002 "b1 Lost 2 missing"

{
  echo "[service]"
  for i in 1 2 3 4; do
    echo "album_list_host_$i = alist$i.photo.localhost:$port"
  done
  echo "photo_list_domain = photo.localhost:$port"
  echo "user_page_host = user.photo.localhost:$port"
  echo "web_page_1 = http://www.photo.localhost:$port/static/help.html"
  echo "web_page_2 = http://www.photo.localhost:$port/static/about.html"
} >"$tmp/service.ini"
"${as_user[@]}" cp "$tmp/service.ini" "$config/zupictrove/service.ini"
ok "sample service on port $port"

# --- The window ----------------------------------------------------------------------------------

[[ -n ${DISPLAY:-} ]] || fail "no X display"
display_env=(DISPLAY="$DISPLAY")
if [[ -n ${XAUTHORITY:-} && -r $XAUTHORITY ]]; then
  cp "$XAUTHORITY" "$home/.Xauthority"
  chown "$user:" "$home/.Xauthority"
  display_env+=(XAUTHORITY="$home/.Xauthority")
fi
"${as_user[@]}" "${display_env[@]}" "$prefix/bin/zupictrove" >"$tmp/window.log" 2>&1 &
program_pid=$!
shown=
for _ in $(seq 600); do
  if xdotool search --name '^DuRavuv$' >/dev/null 2>&1; then
    shown=1
    break
  fi
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
[[ -n $shown ]] || { cat "$tmp/window.log"; fail "the installed program showed no window"; }
ok "the installed program shows its window"

settings=$config/zupictrove/config.ini
for _ in $(seq 100); do
  [[ -s $settings ]] && break
  sleep 0.1
done
kill -TERM "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=
((status == 0)) || { cat "$tmp/window.log"; fail "the program ended with status $status"; }
[[ -s $settings ]] || fail "no config.ini in \$XDG_CONFIG_HOME/zupictrove after the window run"
grep -qiE "^photo_dir=$home/" "$settings" ||
  { cat "$settings"; fail "config.ini's download root is not in the user's home"; }
[[ $(stat -c %U "$settings") == "$user" ]] || fail "config.ini is not the user's"
[[ ! -e $home/Res ]] || fail "a working folder Res appeared in the current folder"
ok "the window run keeps config.ini in \$XDG_CONFIG_HOME/zupictrove"

# --- The command line ----------------------------------------------------------------------------

out=$home/out
status=0
"${as_user[@]}" "$prefix/bin/zupictrove" --backup "$uin" --out "$out" >"$tmp/backup.log" 2>&1 ||
  status=$?
((status == 0)) || { cat "$tmp/backup.log"; fail "--backup ended with status $status"; }
check_album() {
  local album=$1 photos=$2 bytes=$3 i file
  for ((i = 0; i < photos; i++)); do
    file=$out/$uin/$album/photo$i.jpg
    [[ -f $file ]] || { cat "$tmp/backup.log"; fail "$file is missing"; }
    [[ $(stat -c %s "$file") == "$bytes" ]] || fail "$file is not $bytes bytes"
    [[ $(stat -c %U "$file") == "$user" ]] || fail "$file is not the user's"
  done
  [[ $(find "$out/$uin/$album" -type f | wc -l) == "$photos" ]] ||
    fail "$out/$uin/$album holds other files"
}
check_album Spring 3 1500
check_album Beach 2 2500
[[ $(find "$out/$uin" -mindepth 1 -maxdepth 1 | wc -l) == 2 ]] ||
  fail "$out/$uin holds more than the two albums"
[[ -d $cache/zupictrove/work ]] || fail "no working folder in \$XDG_CACHE_HOME/zupictrove/work"
ok "--backup $uin --out DIR puts the photos in DIR/$uin/<album>/"

status=0
"${as_user[@]}" "$prefix/bin/zupictrove" --backup 30002 --out "$out" >"$tmp/incomplete.log" 2>&1 ||
  status=$?
((status == 1)) || { cat "$tmp/incomplete.log"; fail "a backup of an unreadable album: $status"; }
status=0
"${as_user[@]}" "$prefix/bin/zupictrove" --backup "$uin" --connections 0 >/dev/null 2>&1 || status=$?
((status == 2)) || fail "--connections 0 ended with status $status"
[[ $("${as_user[@]}" "$prefix/bin/zupictrove" --version) == "zupictrove $version" ]] ||
  fail "--version does not print zupictrove $version"
ok "exit status 1 for an incomplete backup, 2 for bad arguments; --version"

echo "install test passed"
