#!/usr/bin/env bash
# The Windows release zip of a MinGW build: cpack -G ZIP builds the two
# programs and nothing else (no unit tests, no GoogleTest) and packs them
# with the README, the licence, the documents and the examples; each
# program carries its version resource (the project's version, a
# description in English and in Russian) and its manifest (long-path aware,
# run with the user's own rights), as windres reads them back from the .exe.
#
# Usage: windows_package_test.sh CPACK BUILD_DIR SOURCE_DIR VERSION WINDRES
# Exits with 77 (skipped) without unzip.
set -u
(($# == 5)) || { echo "usage: $0 CPACK BUILD_DIR SOURCE_DIR VERSION WINDRES" >&2; exit 2; }
cpack=$1 build=$2 source=$3 version=$4 windres=$5
export LC_ALL=C.UTF-8

command -v unzip >/dev/null || { echo "unzip is not installed: skipped" >&2; exit 77; }

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

MAKEFLAGS="SHELL=$(dirname "$(readlink -f "$0")")/make_shell.sh" KORVID_MAKE_LOG=$work/make.log \
  "$cpack" -G ZIP -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack -G ZIP" >&2; exit 1; }

# --- what cpack built: the targets whose build.make make read -----------
targets=$(grep -o '[A-Za-z0-9_]*\.dir/build\.make' "$work/make.log" | sed 's|\.dir/build\.make$||' |
          sort -u)
[[ $(grep -cx 'korvid\|morva' <<<"$targets") == 2 ]] || fail "cpack built no programs: $targets"
others=$(grep -E 'test|bench' <<<"$targets")
[[ -z $others ]] || fail "cpack built more than the programs:" $others

# --- contents -------------------------------------------------------------
folder=korvid-$version-win64
zip=$work/out/$folder.zip
[[ -f $zip ]] || { ls "$work/out" >&2; echo "FAIL: no $(basename "$zip")" >&2; exit 1; }
tree="LICENSE
README.md
docs/changes.md
docs/development.md
docs/formats.md
docs/install.md
docs/korvid-page.png
docs/korvid.md
docs/morva.md
docs/page.md
docs/reliability.md
docs/windows.md
examples/README.md
examples/hello.bin
examples/privet.txt
korvid.exe
morva.exe"
listing=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort)
[[ $listing == "$(sed "s|^|$folder/|" <<<"$tree")" ]] ||
  { fail "files of the zip"; diff <(sed "s|^|$folder/|" <<<"$tree") <(echo "$listing") >&2; }
unzip -q "$zip" -d "$work/unpacked" || { echo "FAIL: unzip" >&2; exit 1; }
for file in LICENSE README.md; do
  cmp -s "$source/$file" "$work/unpacked/$folder/$file" || fail "$file of the zip is not the source's"
done

# --- the resources of each program ---------------------------------------
IFS=. read -r major minor patch <<<"$version"
for program in korvid morva; do
  rc=$("$windres" -J coff -O rc -i "$work/unpacked/$folder/$program.exe" 2>&1) ||
    { fail "$program.exe: windres cannot read its resources: $rc"; continue; }
  grep -qF "FILEVERSION $major, $minor, $patch, 0" <<<"$rc" || fail "$program.exe: file version"
  [[ $(grep -cF "VALUE \"ProductVersion\", \"$version\"" <<<"$rc") == 2 ]] ||
    fail "$program.exe: the version is not in both languages"
  # The descriptions; windres writes the Russian one as \xNNNN escapes.
  english=$(sed -n '/BLOCK "040904B0"/,/END/s/^ *VALUE "FileDescription", "\(.*\)"$/\1/p' <<<"$rc")
  russian=$(sed -n '/BLOCK "041904B0"/,/END/s/^ *VALUE "FileDescription", L"\(.*\)"$/\1/p' <<<"$rc")
  russian=$(printf '%b' "${russian//\\x/\\u}")
  [[ $english == *BK-0010* ]] || fail "$program.exe: English description '$english'"
  [[ $russian == *БК-0010* ]] || fail "$program.exe: Russian description '$russian'"
  # The manifest, resource 1 of type 24, as windres quotes it.
  for element in '<assemblyIdentity type=""win32"" name=""korvid.'"$program"'"" version=""'"$version"'.0""' \
                 '<requestedExecutionLevel level=""asInvoker"" uiAccess=""false""/>' \
                 '<longPathAware xmlns=""http://schemas.microsoft.com/SMI/2016/WindowsSettings"">true</longPathAware>'; do
    sed -n '/^1 24 /,/^END/p' <<<"$rc" | grep -qF "$element" || fail "$program.exe: manifest lacks $element"
  done
done

((status == 0)) && echo "$(basename "$zip"): built alone, contents and resources as expected"
exit "$status"
