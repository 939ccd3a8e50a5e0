#!/usr/bin/env bash
# Packs the kit a plug-in developer downloads, and its program's debug
# information beside it:
#   make_kit.sh OUT_DIR NAME linux|windows PROGRAM GUIDE SOURCE_DIR OBJCOPY
# writes OUT_DIR/NAME.tar.gz and OUT_DIR/NAME-debug.tar.gz (linux), or
# OUT_DIR/NAME.zip and OUT_DIR/NAME-debug.zip (windows). The kit's entries lie
# in the folder NAME/ (the list below); its program is stripped and names its
# debug file (gdb's debug link), which the debug archive holds at the same
# place, so that both unpacked into one folder lie side by side.
#
# Reproducible as make_package.sh: the same inputs give the same bytes in
# any folder, at any time. Entries in a fixed order, mode 0644 (0755 for the
# program), owner 0, the time SOURCE_DATE_EPOCH (by default that of the
# source tree's last commit); gzip without name or time.
set -euo pipefail

(($# == 7)) || {
  echo "usage: $0 OUT_DIR NAME linux|windows PROGRAM GUIDE SOURCE_DIR OBJCOPY" >&2
  exit 2
}
out=$1
name=$2
kind=$3
program=$4
guide=$5
source=$6
objcopy=$7

readonly earliest=315532800 # a zip's time cannot be before 1980
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source" log -1 --format=%ct 2>/dev/null || true)}
epoch=${epoch:-$earliest}
((epoch >= earliest)) || epoch=$earliest

case "$kind" in
  linux) program_name=melvara-sim ;;
  windows) program_name=MELVARA.EXE ;;
  *) echo "make_kit.sh: no such kind: $kind" >&2; exit 2 ;;
esac

mkdir -p "$out"
stage=$(mktemp -d "$out/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
root=$stage/kit/$name
debug=$stage/debug/$name
mkdir -p "$root" "$debug"

# What the kit holds: from the source tree, folder by folder.
ship() { # ship DESTINATION FILE...: into the kit's folder DESTINATION
  local destination=$root/$1
  shift
  mkdir -p "$destination"
  cp "$@" "$destination/"
}
cp "$guide" "$root/README.txt"
cp "$source/LICENSE" "$root/LICENSE.txt"
ship contract "$source"/contract/*.h "$source/contract/CHANGELOG.md"
ship examples/count-tuplets "$source"/examples/count-tuplets/*
ship examples/template "$source"/examples/template/*
ship examples/template/.github/workflows "$source"/examples/template/.github/workflows/*
ship samples "$source"/samples/*.json

# The program without its debug information, which goes beside it. objcopy
# stamps a PE file with the time of SOURCE_DATE_EPOCH, else of now: 0, as
# the linker left it (--no-insert-timestamp).
SOURCE_DATE_EPOCH=0 "$objcopy" --only-keep-debug "$program" "$debug/$program_name.debug"
(cd "$debug" && SOURCE_DATE_EPOCH=0 "$objcopy" --strip-all \
  --add-gnu-debuglink="$program_name.debug" "$program" "$root/$program_name")

# Every file's checksum, so that an unpacked kit can be checked with
# "sha256sum -c SHA256SUMS" in its folder.
(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
  xargs -d '\n' sha256sum >"$stage/SHA256SUMS")
mv "$stage/SHA256SUMS" "$root/SHA256SUMS"

find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$root/$program_name"
find "$stage" -exec touch -h -d "@$epoch" {} +

# pack FOLDER ARCHIVE_BASE: the folder's NAME/ as ARCHIVE_BASE.tar.gz or .zip.
pack() {
  local folder=$1 base=$2 archive
  case "$kind" in
    linux)
      archive=$base.tar.gz
      (cd "$folder" && tar --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner \
        --format=gnu -cf - "$name" | gzip -9n >"$archive")
      ;;
    windows)
      archive=$base.zip
      (cd "$folder" && find "$name" -type f | LC_ALL=C sort |
        TZ=UTC zip -q -X -D "$archive" -@)
      ;;
  esac
  mv "$folder/$archive" "$out/$archive"
  echo "kit: $out/$archive"
}
pack "$stage/kit" "$name"
pack "$stage/debug" "$name-debug"
