#!/bin/sh
# make's shell while the package tests run cpack (MAKEFLAGS="SHELL=..."):
# every command make runs, its own recursions included, is noted in
# $KORVID_MAKE_LOG before it runs, so that the tests see which targets
# cpack had built.
printf '%s\n' "$*" >>"$KORVID_MAKE_LOG"
exec /bin/sh "$@"
