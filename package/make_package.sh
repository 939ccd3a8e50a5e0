#!/usr/bin/env bash
# Packs the zip an engraver downloads, and its checksum file:
#   make_package.sh OUT_DIR NAME MODULE GUIDE CHANGELOG LICENSE
# writes OUT_DIR/NAME.zip and OUT_DIR/SHA256SUMS. The zip holds, in this
# order, qvzevedovuvedoza64.mxt, README.txt (the guide), CHANGELOG.txt and
# LICENSE.txt, the texts with Windows line ends.
#
# The same inputs give the same bytes on any machine, in any folder, at any
# time: every entry has mode 0644 and the time SOURCE_DATE_EPOCH (by default
# the time of the source tree's last commit), kept in UTC, and no owner or
# extra time fields.
set -euo pipefail

(($# == 6)) || {
  echo "usage: $0 OUT_DIR NAME MODULE GUIDE CHANGELOG LICENSE" >&2
  exit 2
}
out=$1
name=$2
module=$3
guide=$4
changelog=$5
license=$6

# A zip's time cannot be before 1980.
readonly earliest=315532800
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$(dirname "$license")" log -1 --format=%ct 2>/dev/null || true)}
epoch=${epoch:-$earliest}
((epoch >= earliest)) || epoch=$earliest

mkdir -p "$out"
stage=$(mktemp -d "$out/stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT

cp "$module" "$stage/qvzevedovuvedoza64.mxt"
sed 's/\r*$/\r/' "$guide" >"$stage/README.txt"
sed 's/\r*$/\r/' "$changelog" >"$stage/CHANGELOG.txt"
sed 's/\r*$/\r/' "$license" >"$stage/LICENSE.txt"
entries=(qvzevedovuvedoza64.mxt README.txt CHANGELOG.txt LICENSE.txt)
for entry in "${entries[@]}"; do
  chmod 0644 "$stage/$entry"
  touch -d "@$epoch" "$stage/$entry"
done

(cd "$stage" && TZ=UTC zip -q -X -D "$name.zip" "${entries[@]}")
mv "$stage/$name.zip" "$out/$name.zip"
(cd "$out" && sha256sum "$name.zip" >SHA256SUMS)
echo "package: $out/$name.zip"
