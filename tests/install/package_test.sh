#!/usr/bin/env bash
# The packages hold the whole install tree and work: cpack builds the
# Debian package and the tarball (and of the build, only the programs), the
# package's control fields are checked, and both programs run from the
# unpacked package on the shipped examples, giving the same bytes as the
# programs of the build.
#
# Usage: package_test.sh CPACK BUILD_DIR VERSION
# Exits with 77 (skipped) where the Debian tools, or the file utility that
# cpack needs to find the package's dependencies, are missing.
set -u
(($# == 3)) || { echo "usage: $0 CPACK BUILD_DIR VERSION" >&2; exit 2; }
cpack=$1 build=$2 version=$3

for tool in dpkg dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped" >&2; exit 77; }
done

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every command make runs for cpack goes through make_shell.sh into a log.
for generator in DEB TGZ; do
  MAKEFLAGS="SHELL=$(dirname "$(readlink -f "$0")")/make_shell.sh" KORVID_MAKE_LOG=$work/make.log \
    "$cpack" -G "$generator" -B "$work/out" --config "$build/CPackConfig.cmake" \
    >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; echo "FAIL: cpack -G $generator" >&2; exit 1; }
done

# --- what cpack built: the targets whose build.make make read -----------
targets=$(grep -o '[A-Za-z0-9_]*\.dir/build\.make' "$work/make.log" | sed 's|\.dir/build\.make$||' |
          sort -u)
[[ $(grep -cx 'korvid\|morva' <<<"$targets") == 2 ]] || fail "cpack built no programs: $targets"
others=$(grep -E 'test|bench' <<<"$targets")
[[ -z $others ]] || fail "cpack built more than the programs:" $others

arch=$(dpkg --print-architecture)
deb=$work/out/korvid_${version}_$arch.deb
tgz=$work/out/korvid-$version-Linux.tar.gz
[[ -f $deb ]] || { ls "$work/out" >&2; echo "FAIL: no $(basename "$deb")" >&2; exit 1; }
[[ -f $tgz ]] || fail "no $(basename "$tgz")"

# --- control fields ------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == korvid ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version)"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture)"
[[ $(field Section) == utils ]] || fail "Section: $(field Section)"
[[ $(field Priority) == optional ]] || fail "Priority: $(field Priority)"
maintainer='^[^<>]+ [<][^@<> ]+@[^@<> ]+[>]$'
[[ $(field Maintainer) =~ $maintainer ]] ||
  fail "Maintainer is not 'Name <address>': $(field Maintainer)"
description=$(field Description)
[[ $(head -n 1 <<<"$description") == *BK-0010* ]] || fail "Description's first line: $description"
(($(wc -l <<<"$description") > 2)) || fail "Description has no long text: $description"
# dpkg-shlibdeps found the shared libraries the programs use.
depends=$(field Depends)
for library in libc6 libstdc++6; do
  pattern="(^|, )${library//+/[+]} [(][>]= [^)]+[)]"
  [[ $depends =~ $pattern ]] || fail "Depends lacks $library: $depends"
done

# --- contents: the install tree under /usr, owned by root ----------------
tree="bin/korvid
bin/morva
share/doc/korvid/LICENSE
share/doc/korvid/README.md
share/doc/korvid/docs/changes.md
share/doc/korvid/docs/development.md
share/doc/korvid/docs/formats.md
share/doc/korvid/docs/install.md
share/doc/korvid/docs/korvid-page.png
share/doc/korvid/docs/korvid.md
share/doc/korvid/docs/morva.md
share/doc/korvid/docs/page.md
share/doc/korvid/docs/reliability.md
share/doc/korvid/docs/windows.md
share/doc/korvid/examples/README.md
share/doc/korvid/examples/hello.bin
share/doc/korvid/examples/privet.txt
share/man/man1/korvid.1
share/man/man1/morva.1
share/man/ru/man1/korvid.1
share/man/ru/man1/morva.1"
deb_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort)
[[ $deb_files == "$(sed 's|^|./usr/|' <<<"$tree")" ]] ||
  { fail "files of the .deb"; diff <(sed 's|^|./usr/|' <<<"$tree") <(echo "$deb_files") >&2; }
owners=$(dpkg-deb -c "$deb" | awk '{ print $2 }' | sort -u)
[[ $owners == root/root ]] || fail "owners in the .deb: $owners"
tgz_files=$(tar -tzf "$tgz" | grep -v '/$' | LC_ALL=C sort)
[[ $tgz_files == "$(sed "s|^|korvid-$version-Linux/|" <<<"$tree")" ]] ||
  { fail "files of the tarball"; diff <(sed "s|^|korvid-$version-Linux/|" <<<"$tree") <(echo "$tgz_files") >&2; }

# --- the unpacked package runs ------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x" >&2; exit 1; }
for program in korvid morva; do
  out=$("$root/usr/bin/$program" --version 2>&1)
  [[ $out == "$program $version" ]] || fail "packaged $program --version printed '$out'"
done

# The same runs with the packaged programs and with those of the build: the
# console lines, exit statuses and files must agree byte for byte.
examples=$root/usr/share/doc/korvid/examples
run_all() {  # $1: folder of korvid, $2: folder of morva, $3: where to work
  local korvid=$1/korvid morva=$2/morva dir=$3
  mkdir -p "$dir" && cp "$examples/hello.bin" "$examples/privet.txt" "$dir/" || return 1
  (
    cd "$dir" || exit 1
    for method in dorvik bkgranol; do
      "$korvid" -t "$method" hello.bin "packed-$method"
      echo "exit $?"
    done
    "$korvid" -u -t dorvik packed-dorvik.dvk back-dorvik
    echo "exit $?"
    "$korvid" -u -t bkgranol packed-bkgranol.grl back-bkgranol
    echo "exit $?"
    "$morva" -o e privet.txt
    echo "exit $?"
  ) >"$dir.console" 2>&1
}
run_all "$root/usr/bin" "$root/usr/bin" "$work/packaged"
run_all "$build/korvid" "$build/morva" "$work/built"

grep -q "^Пакуем 'hello.bin' :: .* OK" "$work/packaged.console" ||
  fail "packaged korvid did not pack: $(cat "$work/packaged.console")"
[[ $(grep -c '^exit 0$' "$work/packaged.console") == 5 ]] ||
  fail "packaged runs failed: $(cat "$work/packaged.console")"
cmp -s "$work/packaged.console" "$work/built.console" ||
  { fail "console of the packaged programs"; diff "$work/built.console" "$work/packaged.console" >&2; }
for method in dorvik bkgranol; do
  cmp -s "$examples/hello.bin" "$work/packaged/back-$method.bkfile" ||
    fail "$method: unpacking the packed example does not give it back"
done
for file in packed-dorvik.dvk packed-bkgranol.grl privet.edp; do
  [[ -s $work/packaged/$file ]] || fail "packaged programs wrote no $file"
  cmp -s "$work/packaged/$file" "$work/built/$file" || fail "$file differs from the build's"
done

((status == 0)) && echo "$(basename "$deb") and $(basename "$tgz"): contents, fields and runs as expected"
exit "$status"
