#!/usr/bin/env bash
# Checks the package an engraver downloads:
#   check_package.sh DIST_DIR [MODULE]
# DIST_DIR holds one qvzevedovuvedoza64-VERSION-windows-x64.zip and
# SHA256SUMS. Checks: the checksums; the zip's entries, in order, intact;
# the module's version resource (fixed part and strings) equal to the zip's
# VERSION; the guide names VERSION; the texts have Windows line ends; the
# module passes check_module.sh mxt (exports, imports, resources, PE flags);
# and, given MODULE, the packed module is exactly that file.
set -euo pipefail

(($# == 1 || $# == 2)) || { echo "usage: $0 DIST_DIR [MODULE]" >&2; exit 2; }
dist=$1
built=${2:-}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

shopt -s nullglob
zips=("$dist"/qvzevedovuvedoza64-*-windows-x64.zip)
((${#zips[@]} == 1)) || { echo "FAIL: not one package in $dist: ${zips[*]:-none}"; exit 1; }
zip=${zips[0]}
name=$(basename "$zip")
version=${name#qvzevedovuvedoza64-}
version=${version%-windows-x64.zip}
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "FAIL: no version in $name"; exit 1; }
echo "package: $name"

sums=$(cat "$dist/SHA256SUMS")
[[ $(awk '{print $2}' <<< "$sums") == "$name" ]] && ok "SHA256SUMS lists the zip alone" ||
  fail "SHA256SUMS lists: $(awk '{print $2}' <<< "$sums" | xargs)"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) && ok "the checksum matches" ||
  fail "the checksum does not match"

expected="qvzevedovuvedoza64.mxt README.txt CHANGELOG.txt LICENSE.txt"
entries=$(unzip -Z1 "$zip" | xargs)
[[ "$entries" == "$expected" ]] && ok "entries: $entries" ||
  fail "entries are \"$entries\", not \"$expected\""
unzip -tq "$zip" >/dev/null && ok "the zip is intact" || fail "the zip is damaged"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
module=$work/qvzevedovuvedoza64.mxt

# The fixed part of the version resource follows its signature 0xFEEF04BD:
# after the structure version come FILEVERSION and PRODUCTVERSION, each as
# two 32-bit halves of two 16-bit numbers, high number second.
resource=${version//./,},0
offset=$(LC_ALL=C grep -obUaP '\xBD\x04\xEF\xFE' "$module" | head -1 | cut -d: -f1)
if [[ -n "$offset" ]]; then
  read -r -a w <<< "$(od -An -tu2 -j $((offset + 8)) -N 16 "$module")"
  fixed="${w[1]},${w[0]},${w[3]},${w[2]} ${w[5]},${w[4]},${w[7]},${w[6]}"
  [[ "$fixed" == "$resource $resource" ]] && ok "FILEVERSION and PRODUCTVERSION are $resource" ||
    fail "FILEVERSION and PRODUCTVERSION are $fixed, the zip says $resource"
else
  fail "no fixed version information in the module"
fi
for key in FileVersion ProductVersion; do
  value=$(strings -a -el "$module" | sed -n "/^$key\$/{n;p;q}")
  [[ "$value" == "$resource" ]] && ok "$key is \"$resource\"" ||
    fail "$key is \"$value\", the zip says \"$resource\""
done

head -1 "$work/README.txt" | grep -q "^QV Zevedov Uvedoza $version"$'\r'"\$" &&
  ok "the guide is that of $version" || fail "the guide's first line does not name $version"
for text in README.txt CHANGELOG.txt LICENSE.txt; do
  if grep -q $'[^\r]$' "$work/$text" || grep -q '^$' "$work/$text"; then
    fail "$text has lines without Windows line ends"
  else
    ok "$text has Windows line ends"
  fi
done
grep -q "^## $version"$'\r'"\$" "$work/CHANGELOG.txt" && ok "the change log has $version" ||
  fail "the change log has no section for $version"

"$(dirname "$0")/../module/check_module.sh" mxt "$module" ${built:+"$(dirname "$built")/.."} ||
  failures=$((failures + 1))

if [[ -n "$built" ]]; then
  cmp -s "$module" "$built" && ok "the packed module is $built" ||
    fail "the packed module differs from $built"
fi

exit $((failures > 0))
