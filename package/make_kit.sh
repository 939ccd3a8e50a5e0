#!/usr/bin/env bash
# Packs the kit a plug-in developer downloads:
#   make_kit.sh OUT_DIR NAME linux|windows PROGRAM GUIDE SOURCE_DIR
# writes OUT_DIR/NAME.tar.gz (linux) or OUT_DIR/NAME.zip (windows). Its
# entries lie in the folder NAME/: README.txt (the guide), LICENSE.txt, the
# program (melvara-sim or MELVARA.EXE), contract/*.h and the files of
# examples/count-tuplets/, from SOURCE_DIR.
#
# Reproducible as make_package.sh: the same inputs give the same bytes in
# any folder, at any time. Entries in a fixed order, mode 0644 (0755 for the
# program), owner 0, the time SOURCE_DATE_EPOCH (by default that of the
# source tree's last commit); gzip without name or time.
set -euo pipefail

(($# == 6)) || {
  echo "usage: $0 OUT_DIR NAME linux|windows PROGRAM GUIDE SOURCE_DIR" >&2
  exit 2
}
out=$1
name=$2
kind=$3
program=$4
guide=$5
source=$6

readonly earliest=315532800 # a zip's time cannot be before 1980
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source" log -1 --format=%ct 2>/dev/null || true)}
epoch=${epoch:-$earliest}
((epoch >= earliest)) || epoch=$earliest

mkdir -p "$out"
stage=$(mktemp -d "$out/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
root=$stage/$name
mkdir -p "$root/contract" "$root/examples/count-tuplets"

cp "$guide" "$root/README.txt"
cp "$source/LICENSE" "$root/LICENSE.txt"
cp "$source"/contract/*.h "$root/contract/"
cp "$source"/examples/count-tuplets/* "$root/examples/count-tuplets/"
case "$kind" in
  linux) cp "$program" "$root/melvara-sim" ;;
  windows) cp "$program" "$root/MELVARA.EXE" ;;
  *) echo "make_kit.sh: no such kind: $kind" >&2; exit 2 ;;
esac
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$root/melvara-sim" "$root/MELVARA.EXE" 2>/dev/null || true
find "$root" -exec touch -h -d "@$epoch" {} +

case "$kind" in
  linux)
    archive=$name.tar.gz
    (cd "$stage" && tar --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner \
      --format=gnu -cf - "$name" | gzip -9n >"$archive")
    ;;
  windows)
    archive=$name.zip
    (cd "$stage" && find "$name" -type f | LC_ALL=C sort |
      TZ=UTC zip -q -X -D "$archive" -@)
    ;;
esac
mv "$stage/$archive" "$out/$archive"
echo "kit: $out/$archive"
