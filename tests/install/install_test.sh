#!/usr/bin/env bash
# cmake --install into a new prefix gives exactly the programs, the manual
# pages and the documentation, with the right modes, and the installed
# programs run from there.
#
# Usage: install_test.sh CMAKE BUILD_DIR SOURCE_DIR VERSION
set -u
(($# == 4)) || { echo "usage: $0 CMAKE BUILD_DIR SOURCE_DIR VERSION" >&2; exit 2; }
cmake=$1 build=$2 source=$3 version=$4

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" >"$work/log" 2>&1 ||
  { cat "$work/log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }

# Every entry under the prefix, with its type and mode.
expected="d755 bin
f755 bin/korvid
f755 bin/morva
d755 share
d755 share/doc
d755 share/doc/korvid
f644 share/doc/korvid/LICENSE
f644 share/doc/korvid/README.md
d755 share/doc/korvid/docs
f644 share/doc/korvid/docs/changes.md
f644 share/doc/korvid/docs/development.md
f644 share/doc/korvid/docs/formats.md
f644 share/doc/korvid/docs/install.md
f644 share/doc/korvid/docs/korvid-page.png
f644 share/doc/korvid/docs/korvid.md
f644 share/doc/korvid/docs/morva.md
f644 share/doc/korvid/docs/page.md
f644 share/doc/korvid/docs/reliability.md
f644 share/doc/korvid/docs/windows.md
d755 share/doc/korvid/examples
f644 share/doc/korvid/examples/README.md
f644 share/doc/korvid/examples/hello.bin
f644 share/doc/korvid/examples/privet.txt
d755 share/man
d755 share/man/man1
f644 share/man/man1/korvid.1
f644 share/man/man1/morva.1
d755 share/man/ru
d755 share/man/ru/man1
f644 share/man/ru/man1/korvid.1
f644 share/man/ru/man1/morva.1"
actual=$(cd "$prefix" && find . -mindepth 1 -printf '%y%m %P\n' | LC_ALL=C sort -k2)
if [[ $actual != "$expected" ]]; then
  fail "installed tree differs from the expected one"
  diff <(echo "$expected") <(echo "$actual") >&2
fi

# The pages and documents are the source's own files.
for pair in man/korvid.1:share/man/man1/korvid.1 man/morva.1:share/man/man1/morva.1 \
            man/ru/korvid.1:share/man/ru/man1/korvid.1 man/ru/morva.1:share/man/ru/man1/morva.1 \
            README.md:share/doc/korvid/README.md LICENSE:share/doc/korvid/LICENSE \
            docs/changes.md:share/doc/korvid/docs/changes.md \
            docs/development.md:share/doc/korvid/docs/development.md \
            docs/formats.md:share/doc/korvid/docs/formats.md \
            docs/install.md:share/doc/korvid/docs/install.md \
            docs/korvid-page.png:share/doc/korvid/docs/korvid-page.png \
            docs/korvid.md:share/doc/korvid/docs/korvid.md \
            docs/morva.md:share/doc/korvid/docs/morva.md \
            docs/page.md:share/doc/korvid/docs/page.md \
            docs/reliability.md:share/doc/korvid/docs/reliability.md \
            docs/windows.md:share/doc/korvid/docs/windows.md \
            examples/README.md:share/doc/korvid/examples/README.md \
            examples/hello.bin:share/doc/korvid/examples/hello.bin \
            examples/privet.txt:share/doc/korvid/examples/privet.txt; do
  cmp -s "$source/${pair%%:*}" "$prefix/${pair#*:}" || fail "${pair#*:} is not ${pair%%:*}"
done

for program in korvid morva; do
  out=$("$prefix/bin/$program" --version 2>&1)
  [[ $out == "$program $version" ]] || fail "$program --version printed '$out'"
done

((status == 0)) && echo "install tree: $(echo "$expected" | wc -l) entries as expected"
exit "$status"
