#!/usr/bin/env bash
# Unpacks the client's .deb into a temporary root and checks what a
# distribution checks: the desktop entry, the metainfo, every icon size, the
# man pages, the pictures, the programs answering --help and --version with
# no display, the versions agreeing, and lintian finding no error.
# Usage: validate_deb.sh PACKAGE_DIR RES_DIR APP_ID   (exit 77: no package)
set -euo pipefail

package_dir=$1 res_dir=$2 app_id=$3
shopt -s nullglob
debs=("$package_dir"/lumivex_*.deb)
if [ ${#debs[@]} -eq 0 ]; then
  echo "SKIP: no lumivex_*.deb in $package_dir (scripts/package.sh builds it)"
  exit 77
fi
deb=${debs[0]}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
echo "checking $deb"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# check NAME COMMAND...: runs the command, its output into the log.
check() {
  local name=$1; shift
  if "$@"; then echo "ok: $name"; else fail "$name"; fi
}

share=$root/usr/share
check "desktop entry valid" desktop-file-validate "$share/applications/$app_id.desktop"
check "metainfo valid" appstreamcli validate --no-net "$share/metainfo/$app_id.metainfo.xml"

# A PNG: the 8-byte signature, then IHDR with big-endian width and height.
png_size() {
  local sig
  sig=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
  [ "$sig" = 89504e470d0a1a0a ] || { echo "not a PNG"; return; }
  [ "$(dd if="$1" bs=1 skip=12 count=4 status=none)" = IHDR ] || { echo "no IHDR"; return; }
  local b
  read -ra b < <(od -An -tu1 -j16 -N8 "$1")
  echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}
for n in 16 22 24 32 48 64 128 256; do
  icon=$share/icons/hicolor/${n}x${n}/apps/$app_id.png
  if [ ! -f "$icon" ]; then fail "icon ${n}x${n} missing"; continue; fi
  got=$(png_size "$icon")
  [ "$got" = "${n}x${n}" ] && echo "ok: icon ${n}x${n}" || fail "icon ${n}x${n} is $got"
done
check "scalable icon" grep -q '<svg' "$share/icons/hicolor/scalable/apps/$app_id.svg"

for program in "$root"/usr/bin/*; do
  name=$(basename "$program")
  page=$share/man/man1/$name.1.gz
  if gzip -t "$page" 2>/dev/null && zcat "$page" | grep -q '^\.TH '; then
    echo "ok: man page of $name"
  else
    fail "man page of $name missing or not a man page"
  fi
done
for name in lumivex lumivexctl lumivex-update; do
  [ -x "$root/usr/bin/$name" ] || fail "usr/bin/$name missing"
done
[ ! -e "$root/usr/bin/lumivex-sim" ] || fail "the client package carries lumivex-sim"

# Every picture the build drew, byte for byte, where the installed client looks.
for picture in "$res_dir"/*; do
  cmp -s "$picture" "$share/lumivex/res/$(basename "$picture")" ||
    fail "picture $(basename "$picture") missing or different in usr/share/lumivex/res"
done
echo "ok: $(find "$share/lumivex/res" -type f | wc -l) pictures in usr/share/lumivex/res"

# One version everywhere: the package, the metainfo's newest release, the
# changelog and the programs.
version=$(dpkg-deb -f "$deb" Version)
release=$(grep -o '<release version="[^"]*"' "$share/metainfo/$app_id.metainfo.xml" | head -1 | cut -d'"' -f2)
[ "$release" = "$version" ] || fail "metainfo release $release, package $version"
logged=$(zcat "$share/doc/lumivex/changelog.gz" | head -1 | sed -n 's/^lumivex (\([^)]*\)).*/\1/p')
[ "$logged" = "$version" ] || fail "changelog $logged, package $version"
[ -f "$share/doc/lumivex/copyright" ] || fail "usr/share/doc/lumivex/copyright missing"
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libqt6* ]] || fail "Depends not computed from the programs: '$depends'"

for option in --version --help; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/lumivex" "$option" 2>&1) &&
    [ -n "$out" ] && echo "ok: lumivex $option" || fail "lumivex $option: rc $? '$out'"
done
[[ $(env -u DISPLAY "$root/usr/bin/lumivex" --version) == *"$version"* ]] ||
  fail "lumivex --version does not name $version"

echo "== lintian =="
lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1) || true
echo "${lintian_out:-(nothing)}"
if grep -q '^E:' <<<"$lintian_out"; then fail "lintian reports errors"; fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all package checks passed"
