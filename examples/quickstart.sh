#!/bin/sh
# Builds the two programs, packs the example BK program with Sokol, unpacks
# it and compares, and converts the example text to an Edasp file. Run it
# from the repository's top folder; everything it writes goes to build/.
set -ex
cmake -S . -B build
cmake --build build -j2 --target korvid morva
build/korvid/korvid -t sokol examples/hello.bin build/hello.skl
build/korvid/korvid -u -t sokol build/hello.skl build/hello.bkfile
cmp examples/hello.bin build/hello.bkfile
cp examples/privet.txt build/privet.txt
build/morva/morva -o e build/privet.txt
